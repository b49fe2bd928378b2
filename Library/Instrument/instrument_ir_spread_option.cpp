#include "Instrument/instrument_ir_spread_option.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "Core/check.h"
#include "Instrument/path_valuation.h"
#include "Util/datetime_helper.h"

namespace qavrek {

instrument_ir_spread_option::instrument_ir_spread_option(bool is_call, const ptr_const<discount_curve>& curve,
                                                         const datetime& expiry, const datetime& short_maturity,
                                                         const datetime& long_maturity, const tenor& frequency,
                                                         const ptr_const<day_count_convention>& convention,
                                                         const std::vector<double>& strikes)
    : is_call_(is_call),
      spread_(std::make_shared<const interest_rate_spread>(curve, expiry, long_maturity, short_maturity, frequency,
                                                           convention)),
      strikes_(strikes) {
  for (size_t k = 0; k < strikes_.size(); ++k)
    QAVREK_CHECK(std::isfinite(strikes_[k]), "strike ", strikes_[k], " at ", k, " is not finite");
}

void instrument_ir_spread_option::value(const datetime& date, const std::vector<ptr_const<market_data>>& mkt_data,
                                        tensor<double>& output) const {
  QAVREK_CHECK(date == spread_->expiry(), "a spread option is valued at its expiry ", spread_->expiry(), ", not at ",
               date);
  const auto& curve = market_data_at<discount_curve>(mkt_data, 0, "discount curve");
  const size_t paths = output_paths(output, size());
  matrix<double> dfs;
  path_discount_factors(dfs, curve, date, spread_->all_dates(), paths);
  vector<double> spreads;
  spread_->path_values(dfs, spreads);
  const double sign = is_call_ ? 1.0 : -1.0;
  for (size_t k = 0; k < strikes_.size(); ++k)
    for (size_t j = 0; j < paths; ++j) output[k * paths + j] = std::max(sign * (spreads[j] - strikes_[k]), 0.0);
}

void instrument_ir_spread_option::update_event_dates(std::vector<datetime>& dates) const {
  datetime_helper::merge_dates(dates, {spread_->expiry()}, dates);
}

}  // namespace qavrek
