#include "Instrument/instrument_ir_swaption.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "Core/check.h"
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
  QAVREK_CHECK(!mkt_data.empty(), "a swaption needs a discount curve");
  const auto curve = std::dynamic_pointer_cast<const discount_curve>(mkt_data.front());
  QAVREK_CHECK(curve != nullptr, "the first market data is not a discount curve");
  QAVREK_CHECK(output.dimension() == 2 && output.shape()[0] == size(), "output must be ", size(),
               " strikes x paths, it has ", output.dimension(), " dimensions");
  const size_t paths = output.shape()[1];
  const std::vector<datetime>& dates = swap_->all_dates();

  // Discount factors from the expiry, one row per date, one column per path.
  matrix<double> dfs(dates.size(), paths);
  dfs.row(0).fill(1.0);
  for (size_t i = 1; i < dates.size(); ++i) {
    vector<double> row = dfs.row(i);
    curve->log_df(row, date, dates[i]);
    for (double& value : row) value = std::exp(value);
  }

  const double sign = is_call_ ? 1.0 : -1.0;
  std::vector<double> path_dfs(dates.size());
  for (size_t j = 0; j < paths; ++j) {
    for (size_t i = 0; i < dates.size(); ++i) path_dfs[i] = dfs(i, j);
    const double floating = swap_->value(0.0, path_dfs);
    const double annuity = swap_->annuity(path_dfs);
    for (size_t k = 0; k < strikes_.size(); ++k)
      output[k * paths + j] = std::max(sign * (floating - strikes_[k] * annuity), 0.0);
  }
}

void instrument_ir_swaption::update_event_dates(std::vector<datetime>& dates) const {
  datetime_helper::merge_dates(dates, {swap_->expiry()}, dates);
}

}  // namespace qavrek
