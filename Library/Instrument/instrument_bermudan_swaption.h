#pragma once

#include <cstddef>
#include <vector>

#include "Core/check.h"
#include "Core/pointers.h"
#include "Instrument/instrument.h"
#include "Instrument/instrument_ir_swaption.h"
#include "Market/discount_curve.h"
#include "Market/life_cycle_data.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Util/tenor.h"
#include "Vectorization/vector.h"

namespace qavrek {

// The life-cycle state of a Bermudan swaption in a backward valuation: the exercise-boundary strike of
// each exercise event, the swap rate beyond which exercising is worth more than holding on.
class bermudan_strikes_life_cycle : public life_cycle_data {
 public:
  // n events, each boundary starting at `strike`.
  bermudan_strikes_life_cycle(size_t n, double strike) : strikes_(n, strike) {}
  bermudan_strikes_life_cycle(const bermudan_strikes_life_cycle&) = default;
  ~bermudan_strikes_life_cycle() override = default;

  // The boundary of one event; an index at or past the number of events is an error.
  double& excution_boundary_strikes(size_t index) {
    QAVREK_CHECK(index < strikes_.size(), "event ", index, " is out of range for ", strikes_.size(), " events");
    return strikes_[index];
  }
  const std::vector<double>& excution_boundary_strikes() const noexcept { return strikes_; }

 private:
  std::vector<double> strikes_;
};

// A Bermudan swaption: the right to enter, at one of its exercise dates, the swap that starts at the
// matching expiry and ends at the common maturity, paying (payer, `is_call`) or receiving the fixed
// `strike`. It is made of one European `instrument_ir_swaption` per expiry at that absolute strike.
// `event_dates` are the exercise dates, one per expiry and each on or before it; empty, the expiries are
// the exercise dates. A backward valuation starts from `value` at the last exercise date and applies
// `value_american_events` at every exercise date.
class instrument_bermudan_swaption : public instrument {
 public:
  // The dates in increasing order; the swaps as instrument_ir_swaption builds them.
  instrument_bermudan_swaption(bool is_call, const double strike, const std::vector<datetime>& event_dates,
                               const ptr_const<discount_curve>& curve, const std::vector<datetime>& expiries,
                               const datetime& maturity, const tenor& frequency,
                               const ptr_const<day_count_convention>& convention);

  // The value of exercising at `date`, on path j: at exercise date i, max(w V_ij, 0) with V_ij the value
  // at `date` of swap i on the discount factors from `date` that mkt_data[0], a discount curve, gives on
  // path j (w = +1 payer, -1 receiver); 0 at any other date. `output` is 1 x paths, in money at `date`.
  void value(const datetime& date, const std::vector<ptr_const<market_data>>& mkt_data,
             tensor<double>& output) const override;
  // At exercise date i: output = max(output, exercise value) path by path, `output` holding the values of
  // holding on. When `life` is given (a bermudan_strikes_life_cycle of one boundary per event), event i's
  // boundary becomes the lowest swap rate (payer; the highest for a receiver) among the paths that
  // exercise, and stays as it was when none does. Other dates leave everything as it is.
  void value_american_events(const datetime& date, const std::vector<ptr_const<market_data>>& mkt_data,
                             life_cycle_data* life, tensor<double>& output) const override;
  // Adds the exercise dates.
  void update_event_dates(std::vector<datetime>& dates) const override;
  size_t size() const override { return 1; }
  // A bermudan_strikes_life_cycle with one boundary per exercise date, each at the strike.
  ptr_mutable<life_cycle_data> make_life_cycle_data() const override;

  bool is_call() const noexcept { return is_call_; }
  double strike() const noexcept { return strike_; }
  // The exercise dates, one per swaption.
  const std::vector<datetime>& event_dates() const noexcept { return event_dates_; }
  const std::vector<ptr_const<instrument_ir_swaption>>& swaptoins() const noexcept { return swaptions_; }

 private:
  // The exercise date's position, or the number of events when `date` is none.
  size_t event_at(const datetime& date) const;
  // On every path of `curve` at exercise date `event`: the exercise values max(w V, 0) and the swap rates.
  void exercise(size_t event, const discount_curve& curve, size_t paths, vector<double>& values,
                vector<double>& rates) const;

  bool is_call_;
  double strike_;
  std::vector<datetime> event_dates_;
  std::vector<ptr_const<instrument_ir_swaption>> swaptions_;
};

}  // namespace qavrek
