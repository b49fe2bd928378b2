#include "Core/interruption.h"

namespace qavrek {
namespace {

thread_local interruption::check* installed_check = nullptr;

}  // namespace

interruption::scope::scope(check& installed) noexcept : replaced_(installed_check) { installed_check = &installed; }

interruption::scope::~scope() { installed_check = replaced_; }

void interruption::point() {
  if (installed_check != nullptr) (*installed_check)();
}

}  // namespace qavrek
