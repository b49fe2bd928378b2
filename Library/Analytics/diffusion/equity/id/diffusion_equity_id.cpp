#include "Analytics/diffusion/equity/id/diffusion_equity_id.h"

#include <memory>
#include <utility>

#include "Core/check.h"
#include "Serialization/serialization_impl.h"

namespace qavrek {

namespace {
constexpr const char* source_file = "Library/Analytics/diffusion/equity/id/diffusion_equity_id";
constexpr int validate_line = 74;
}  // namespace

diffusion_equity_id::diffusion_equity_id(const ptr_const<discount_id>& domestic_ir_id, key name)
    : domestic_(std::make_shared<const diffusion_ir_id>(domestic_ir_id)), name_(std::move(name)) {
  validate();
}

diffusion_equity_id::~diffusion_equity_id() = default;

const ptr_const<diffusion_ir_id>& diffusion_equity_id::diffusion_ir_id_domestic() const {
  usable_domestic("diffusion_ir_id_domestic");
  return domestic_;
}

std::string diffusion_equity_id::to_string() const {
  return name_.to_string() + "_" + usable_domestic("to_string").to_string();
}

size_t diffusion_equity_id::hash() const {
  return static_cast<size_t>(key::hash(name_, usable_domestic("hash").hash()));
}

void diffusion_equity_id::discovery(const ptr_const<diffusion_id>&, const ptr_const<any_container>&,
                                    std::unordered_set<ptr_const<diffusion_id>>& needed) const {
  usable_domestic("discovery");
  needed.insert(domestic_);
}

bool diffusion_equity_id::equals(const data_id& other) const {
  const auto& that = static_cast<const diffusion_equity_id&>(other);
  return name_ == that.name_ && same_value(domestic_, that.domestic_);
}

void diffusion_equity_id::initialize() const { validate(); }

void diffusion_equity_id::validate() const {
  if (!domestic_) details::check_fail("validate", source_file, validate_line, "invalide domestic id!");
}

const diffusion_ir_id& diffusion_equity_id::usable_domestic(const char* function) const {
  if (!domestic_)
    details::check_fail(function, source_file, __LINE__,
                        "invalide domestic id!  This diffusion_equity_id was loaded from a null object and has no "
                        "interest-rate id");
  return *domestic_;
}

template class serialization::persistable<diffusion_equity_id>;

QAVREK_REGISTER_PERSISTABLE(diffusion_equity_id, diffusion_id);

}  // namespace qavrek
