#include "Analytics/diffusion/fx/id/diffusion_fx_id.h"

#include <cstdint>
#include <memory>

#include "Core/check.h"
#include "Serialization/serialization_impl.h"

namespace qavrek {

namespace {
constexpr const char* source_file = "Library/Analytics/diffusion/fx/id/diffusion_fx_id";
constexpr int domestic_line = 91;
constexpr int foreign_line = 92;
}  // namespace

diffusion_fx_id::diffusion_fx_id(const ptr_const<discount_id>& diffusion_ir_id_domestic,
                                 const ptr_const<discount_id>& diffusion_ir_id_foreign)
    : domestic_(std::make_shared<const diffusion_ir_id>(diffusion_ir_id_domestic)),
      foreign_(std::make_shared<const diffusion_ir_id>(diffusion_ir_id_foreign)) {
  validate();
}

diffusion_fx_id::~diffusion_fx_id() = default;

const ptr_const<diffusion_ir_id>& diffusion_fx_id::diffusion_ir_id_domestic() const {
  require_usable("diffusion_ir_id_domestic");
  return domestic_;
}

const ptr_const<diffusion_ir_id>& diffusion_fx_id::diffusion_ir_id_foreign() const {
  require_usable("diffusion_ir_id_foreign");
  return foreign_;
}

std::string diffusion_fx_id::to_string() const {
  require_usable("to_string");
  return domestic_->to_string() + "_" + foreign_->to_string();
}

size_t diffusion_fx_id::hash() const {
  require_usable("hash");
  const std::uint64_t domestic = domestic_->hash();
  const std::uint64_t foreign = foreign_->hash();
  return static_cast<size_t>(domestic ^ (foreign * 2));
}

void diffusion_fx_id::discovery(const ptr_const<diffusion_id>&, const ptr_const<any_container>&,
                                std::unordered_set<ptr_const<diffusion_id>>& needed) const {
  require_usable("discovery");
  needed.insert(domestic_);
  needed.insert(foreign_);
}

bool diffusion_fx_id::equals(const data_id& other) const {
  const auto& that = static_cast<const diffusion_fx_id&>(other);
  return same_value(domestic_, that.domestic_) && same_value(foreign_, that.foreign_);
}

void diffusion_fx_id::initialize() const { validate(); }

void diffusion_fx_id::validate() const {
  if (!domestic_) details::check_fail("validate", source_file, domestic_line, "invalide domestic id!");
  if (!foreign_) details::check_fail("validate", source_file, foreign_line, "invalide foreign id!");
}

void diffusion_fx_id::require_usable(const char* function) const {
  if (!domestic_ || !foreign_)
    details::check_fail(function, source_file, __LINE__,
                        "This diffusion_fx_id was loaded from a null object and has no interest-rate ids");
}

template class serialization::persistable<diffusion_fx_id>;

QAVREK_REGISTER_PERSISTABLE(diffusion_fx_id, diffusion_id);

}  // namespace qavrek
