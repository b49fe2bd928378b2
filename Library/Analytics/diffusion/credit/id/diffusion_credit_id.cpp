#include "Analytics/diffusion/credit/id/diffusion_credit_id.h"

#include "Core/check.h"
#include "Serialization/serialization_impl.h"
#include "Util/key.h"

namespace qavrek {

namespace {
constexpr const char* source_file = "Library/Analytics/diffusion/credit/id/diffusion_credit_id";
constexpr int validate_line = 59;
}  // namespace

diffusion_credit_id::diffusion_credit_id(const ptr_const<default_id>& id) : id_(id) { validate(); }

diffusion_credit_id::~diffusion_credit_id() = default;

const ptr_const<default_id>& diffusion_credit_id::id() const {
  usable_id("id");
  return id_;
}

std::string diffusion_credit_id::to_string() const { return usable_id("to_string").to_string(); }

size_t diffusion_credit_id::hash() const {
  static const key kind("diffusion_credit_id");
  return static_cast<size_t>(key::hash(kind, usable_id("hash").hash()));
}

void diffusion_credit_id::discovery(const ptr_const<diffusion_id>&, const ptr_const<any_container>&,
                                    std::unordered_set<ptr_const<diffusion_id>>&) const {}

bool diffusion_credit_id::equals(const data_id& other) const {
  return same_value(id_, static_cast<const diffusion_credit_id&>(other).id_);
}

void diffusion_credit_id::initialize() const { validate(); }

void diffusion_credit_id::validate() const {
  if (!id_) details::check_fail("validate", source_file, validate_line, "invalide default id!");
}

const default_id& diffusion_credit_id::usable_id(const char* function) const {
  if (!id_)
    details::check_fail(function, source_file, __LINE__,
                        "invalide default id!  This diffusion_credit_id was loaded from a null object and has no "
                        "default id");
  return *id_;
}

template class serialization::persistable<diffusion_credit_id>;

QAVREK_REGISTER_PERSISTABLE(diffusion_credit_id, diffusion_id);

}  // namespace qavrek
