#include "Analytics/diffusion/common/diffusion.h"

#include <algorithm>
#include <memory>

#include "Core/check.h"
#include "Core/error.h"

namespace qavrek {

diffusion::diffusion(const std::vector<datetime>& dates) : dates_(dates) {
  QAVREK_CHECK(!dates_.empty(), "a diffusion needs its simulation dates, the first being the start of the simulation");
  for (size_t i = 0; i < dates_.size(); ++i) {
    QAVREK_CHECK(dates_[i].is_valid(), "simulation date ", i, " is not set");
    QAVREK_CHECK(i == 0 || dates_[i - 1] < dates_[i], "simulation date ", i, " (", dates_[i],
                 ") is not after the one before it (", dates_[i - 1], ")");
  }
}

diffusion::~diffusion() = default;

void diffusion::coefficients(std::span<const std::shared_ptr<pde_model_coefficients>>, const datetime&,
                             const datetime&) const {
  throw NotImplementedError(SourceLocation{"coefficients", "Library/Analytics/diffusion/common/diffusion", 52},
                            "coefficients function not implemented!");
}

ptr_const<discount_curve> diffusion::diffusion_discount_curve(const ptr_const<market_data>& data) {
  return std::dynamic_pointer_cast<const discount_curve>(data);
}

ptr_const<survival_curve> diffusion::diffusion_survival_curve(const ptr_const<market_data>& data) {
  return std::dynamic_pointer_cast<const survival_curve>(data);
}

ptr_const<equity_spot> diffusion::diffusion_equity_spot(const ptr_const<market_data>& data) {
  return std::dynamic_pointer_cast<const equity_spot>(data);
}

ptr_const<fx_spot> diffusion::diffusion_fx_spot(const ptr_const<market_data>& data) {
  return std::dynamic_pointer_cast<const fx_spot>(data);
}

void diffusion::check_is_this(const ptr_const<diffusion>& asset) const {
  QAVREK_CHECK(asset.get() == this,
               "create_market_data must be given the shared pointer that holds this diffusion, whose view reads "
               "its states through it");
}

ptr_const<discount_curve> diffusion::discount_curve_at(const std::vector<ptr_const<market_data>>& data,
                                                       size_t position) {
  QAVREK_CHECK(position < data.size(), "the view needs the discount curve simulated at position ", position,
               ", but only ", data.size(), " views come before it: the rates it reads come first in the simulation");
  ptr_const<discount_curve> curve = diffusion_discount_curve(data[position]);
  QAVREK_CHECK(curve != nullptr, "the market data at position ", position,
               " is not a discount curve: the rates that a view reads come first in the simulation");
  return curve;
}

void diffusion::check_simulation_date(const datetime& date, const char* query) const {
  // Equality, not equivalence: an unset date is equivalent to every date under <.
  const auto found = std::lower_bound(dates_.begin(), dates_.end(), date);
  QAVREK_CHECK(found != dates_.end() && *found == date, query, " is asked from ", date,
               ", which is not a simulation date of the diffusion: simulated states belong to their date");
}

void diffusion::exp_of_shifted_row(vector<double>& output, const matrix<double>& states, size_t row, double shift) {
  QAVREK_CHECK(row < states.rows(), "the states have ", states.rows(), " rows, but the row asked for is ", row);
  output = expressions::exp(shift - states.row(row));
}

}  // namespace qavrek
