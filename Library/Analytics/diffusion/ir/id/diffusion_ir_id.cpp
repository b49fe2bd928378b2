#include "Analytics/diffusion/ir/id/diffusion_ir_id.h"

#include <memory>

#include "Analytics/diffusion/fx/id/diffusion_fx_id.h"
#include "Core/check.h"
#include "Serialization/serialization_impl.h"
#include "Util/key.h"

namespace qavrek {

namespace {
constexpr const char* source_file = "Library/Analytics/diffusion/ir/id/diffusion_ir_id";
constexpr int validate_line = 89;

// The currency of a discount id, which one loaded from a null object lacks.
const currency& currency_of(const discount_id& id, const char* role) {
  if (!id.ccy())
    details::check_fail("discovery", source_file, __LINE__,
                        details::concat("the ", role, " discount_id ", id.to_string(),
                                        " has no currency: it was loaded from a null object"));
  return *id.ccy();
}
}  // namespace

diffusion_ir_id::diffusion_ir_id(const ptr_const<discount_id>& id) : id_(id) { validate(); }

diffusion_ir_id::~diffusion_ir_id() = default;

const ptr_const<discount_id>& diffusion_ir_id::id() const {
  usable_id("id");
  return id_;
}

std::string diffusion_ir_id::to_string() const { return usable_id("to_string").to_string(); }

size_t diffusion_ir_id::hash() const {
  static const key kind("diffusion_ir_id");
  return static_cast<size_t>(key::hash(kind, usable_id("hash").hash()));
}

void diffusion_ir_id::discovery(const ptr_const<diffusion_id>& domestic, const ptr_const<any_container>&,
                                std::unordered_set<ptr_const<diffusion_id>>& needed) const {
  const auto* domestic_ir = dynamic_cast<const diffusion_ir_id*>(domestic.get());
  if (domestic_ir == nullptr)
    details::check_fail("discovery", source_file, __LINE__,
                        "the domestic id of a discovery must be a diffusion_ir_id, but is " +
                            std::string(domestic ? "another diffusion id" : "null"));
  const discount_id& own_curve = usable_id("discovery");
  const discount_id& domestic_curve = domestic_ir->usable_id("discovery");
  // By value: curves loaded from files or built apart share no currency object.
  if (currency_of(own_curve, "foreign") == currency_of(domestic_curve, "domestic")) return;
  needed.insert(domestic);
  needed.insert(std::make_shared<const diffusion_fx_id>(domestic_ir->id_, id_));
}

bool diffusion_ir_id::equals(const data_id& other) const {
  return same_value(id_, static_cast<const diffusion_ir_id&>(other).id_);
}

void diffusion_ir_id::initialize() const { validate(); }

void diffusion_ir_id::validate() const {
  if (!id_) details::check_fail("validate", source_file, validate_line, "invalide discount_id!");
}

const discount_id& diffusion_ir_id::usable_id(const char* function) const {
  if (!id_)
    details::check_fail(function, source_file, __LINE__,
                        "invalide discount_id!  This diffusion_ir_id was loaded from a null object and has no "
                        "discount_id");
  return *id_;
}

template class serialization::persistable<diffusion_ir_id>;

QAVREK_REGISTER_PERSISTABLE(diffusion_ir_id, diffusion_id);

}  // namespace qavrek
