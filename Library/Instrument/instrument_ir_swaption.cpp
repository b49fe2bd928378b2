#include "Instrument/instrument_ir_swaption.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "Core/check.h"
#include "Instrument/path_valuation.h"
#include "Util/datetime_helper.h"
#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek {

instrument_ir_swaption::instrument_ir_swaption(bool is_call, const ptr_const<discount_curve>& curve,
                                               const datetime& expiry, const datetime& maturity, const tenor& frequency,
                                               const ptr_const<day_count_convention>& convention,
                                               const std::vector<double>& strikes, bool is_ratios)
    : is_call_(is_call),
      is_ratios_(is_ratios),
      swap_(std::make_shared<const interest_rate_swap>(curve, expiry, maturity, frequency, convention)),
      strikes_(strikes) {
  for (size_t k = 0; k < strikes_.size(); ++k) {
    QAVREK_CHECK(std::isfinite(strikes_[k]), "strike ", strikes_[k], " at ", k, " is not finite");
    if (is_ratios_) strikes_[k] *= swap_->swap_rate();
  }
}

void instrument_ir_swaption::value(const datetime& date, const std::vector<ptr_const<market_data>>& mkt_data,
                                   tensor<double>& output) const {
  QAVREK_CHECK(date == swap_->expiry(), "a swaption is valued at its expiry ", swap_->expiry(), ", not at ", date);
  const auto& curve = market_data_at<discount_curve>(mkt_data, 0, "discount curve");
  const size_t paths = output_paths(output, size());

  // Discount factors from the expiry, one row per date, one column per path.
  matrix<double> dfs;
  path_discount_factors(dfs, curve, date, swap_->all_dates(), paths);
  vector<double> floating, annuity;
  swap_->path_values(dfs, floating, annuity);

  const double sign = is_call_ ? 1.0 : -1.0;
  for (size_t k = 0; k < strikes_.size(); ++k)
    for (size_t j = 0; j < paths; ++j)
      output[k * paths + j] = std::max(sign * (floating[j] - strikes_[k] * annuity[j]), 0.0);
}

void instrument_ir_swaption::update_event_dates(std::vector<datetime>& dates) const {
  datetime_helper::merge_dates(dates, {swap_->expiry()}, dates);
}

}  // namespace qavrek
