#include "Analytics/diffusion/ir/diffusion_ir.h"

#include <memory>
#include <utility>

#include "Analytics/diffusion/ir/discount_curve_diffusion.h"
#include "Core/check.h"

namespace qavrek {

diffusion_ir::diffusion_ir(const std::vector<datetime>& dates, const ptr_const<discount_curve>& curve)
    : diffusion(dates), curve_(curve) {
  QAVREK_CHECK(curve_ != nullptr, "an interest-rate diffusion needs its market discount curve");
}

diffusion_ir::~diffusion_ir() = default;

ptr_const<market_data> diffusion_ir::create_market_data(const ptr_const<diffusion>& asset, matrix<double>&& next,
                                                        matrix<double>&& current,
                                                        const std::vector<ptr_const<market_data>>&,
                                                        const ptr_const<states_variables>& storage) const {
  check_is_this(asset);
  return std::make_shared<const discount_curve_diffusion>(std::static_pointer_cast<const diffusion_ir>(asset),
                                                          std::move(next), std::move(current), storage);
}

vector<double> diffusion_ir::log_normalized_discounting(const matrix<double>& states) const {
  const size_t row = discounting_state_index();
  QAVREK_CHECK(row < states.rows(), "the states have ", states.rows(), " rows, but the discounting row is ", row);
  // A view over the caller's states, as documented; the const is the caller's to keep.
  return vector<double>::view(const_cast<double*>(states[row]), states.columns());
}

}  // namespace qavrek
