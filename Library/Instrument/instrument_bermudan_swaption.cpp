#include "Instrument/instrument_bermudan_swaption.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "Instrument/path_valuation.h"
#include "Util/datetime_helper.h"
#include "Vectorization/matrix.h"

namespace qavrek {

instrument_bermudan_swaption::instrument_bermudan_swaption(bool is_call, const double strike,
                                                           const std::vector<datetime>& event_dates,
                                                           const ptr_const<discount_curve>& curve,
                                                           const std::vector<datetime>& expiries,
                                                           const datetime& maturity, const tenor& frequency,
                                                           const ptr_const<day_count_convention>& convention)
    : is_call_(is_call), strike_(strike), event_dates_(event_dates.empty() ? expiries : event_dates) {
  QAVREK_CHECK(std::isfinite(strike), "strike ", strike, " is not finite");
  QAVREK_CHECK(event_dates_.size() == expiries.size(), event_dates_.size(), " exercise dates for ", expiries.size(),
               " expiries");
  for (size_t i = 0; i < expiries.size(); ++i) {
    QAVREK_CHECK(event_dates_[i].is_valid() && event_dates_[i] <= expiries[i], "exercise date ", event_dates_[i],
                 " at ", i, " is not on or before its expiry ", expiries[i]);
    QAVREK_CHECK(i == 0 || (event_dates_[i - 1] < event_dates_[i] && expiries[i - 1] < expiries[i]),
                 "exercise date ", event_dates_[i], " or expiry ", expiries[i], " at ", i,
                 " is not after the previous one");
    swaptions_.push_back(std::make_shared<const instrument_ir_swaption>(
        is_call, curve, expiries[i], maturity, frequency, convention, std::vector<double>{strike}, false));
  }
}

size_t instrument_bermudan_swaption::event_at(const datetime& date) const {
  const auto found = std::find(event_dates_.begin(), event_dates_.end(), date);
  return static_cast<size_t>(found - event_dates_.begin());
}

void instrument_bermudan_swaption::exercise(size_t event, const discount_curve& curve, size_t paths,
                                            vector<double>& values, vector<double>& rates) const {
  const interest_rate_swap& swap = *swaptions_[event]->swap();
  matrix<double> dfs;
  path_discount_factors(dfs, curve, event_dates_[event], swap.all_dates(), paths);
  vector<double> floating, annuity;
  swap.path_values(dfs, floating, annuity);
  const double sign = is_call_ ? 1.0 : -1.0;
  values.resize(paths);
  rates.resize(paths);
  for (size_t j = 0; j < paths; ++j) {
    values[j] = std::max(sign * (floating[j] - strike_ * annuity[j]), 0.0);
    rates[j] = floating[j] / annuity[j];
  }
}

void instrument_bermudan_swaption::value(const datetime& date, const std::vector<ptr_const<market_data>>& mkt_data,
                                         tensor<double>& output) const {
  const size_t paths = output_paths(output, size());
  const size_t event = event_at(date);
  if (event == event_dates_.size()) {
    output.fill(0.0);
    return;
  }
  vector<double> values, rates;
  exercise(event, market_data_at<discount_curve>(mkt_data, 0, "discount curve"), paths, values, rates);
  std::copy(values.begin(), values.end(), output.data());
}

void instrument_bermudan_swaption::value_american_events(const datetime& date,
                                                         const std::vector<ptr_const<market_data>>& mkt_data,
                                                         life_cycle_data* life, tensor<double>& output) const {
  const size_t paths = output_paths(output, size());
  const size_t event = event_at(date);
  if (event == event_dates_.size()) return;
  auto* strikes = dynamic_cast<bermudan_strikes_life_cycle*>(life);
  QAVREK_CHECK(life == nullptr || (strikes != nullptr && strikes->excution_boundary_strikes().size() == event_dates_.size()),
               "the life-cycle state is not one of the ", event_dates_.size(), " exercise boundaries");
  vector<double> values, rates;
  exercise(event, market_data_at<discount_curve>(mkt_data, 0, "discount curve"), paths, values, rates);

  bool exercised = false;
  double boundary = 0.0;
  double* held = output.data();
  for (size_t j = 0; j < paths; ++j) {
    if (!(values[j] > held[j] && values[j] > 0.0)) continue;
    held[j] = values[j];
    boundary = !exercised ? rates[j] : is_call_ ? std::min(boundary, rates[j]) : std::max(boundary, rates[j]);
    exercised = true;
  }
  if (strikes != nullptr && exercised) strikes->excution_boundary_strikes(event) = boundary;
}

void instrument_bermudan_swaption::update_event_dates(std::vector<datetime>& dates) const {
  datetime_helper::merge_dates(dates, event_dates_, dates);
}

ptr_mutable<life_cycle_data> instrument_bermudan_swaption::make_life_cycle_data() const {
  return std::make_shared<bermudan_strikes_life_cycle>(event_dates_.size(), strike_);
}

}  // namespace qavrek
