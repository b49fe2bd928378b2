#pragma once

#include <cstddef>
#include <vector>

#include "Core/pointers.h"
#include "Instrument/instrument.h"
#include "Instrument/interest_rate_swap.h"
#include "Market/discount_curve.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Util/tenor.h"

namespace qavrek {

// A European option, exercised at the swap's expiry, to enter the `interest_rate_swap` from expiry to
// maturity at one of several strikes: a payer swaption (a call on the swap rate) when `is_call`, else
// a receiver. With `is_ratios` the given strikes are multiples of the market swap rate and `strikes`
// returns the absolute strikes they make; otherwise they are absolute already.
class instrument_ir_swaption : public instrument {
 public:
  instrument_ir_swaption(bool is_call, const ptr_const<discount_curve>& curve, const datetime& expiry,
                         const datetime& maturity, const tenor& frequency,
                         const ptr_const<day_count_convention>& convention, const std::vector<double>& strikes = {},
                         bool is_ratios = true);

  // At the swap's expiry (another date is an error), per strike k and path j:
  // output(k, j) = max(w (S_j - K_k), 0) A_j with w = +1 for a payer and -1 for a receiver, S_j and A_j
  // the swap rate and annuity on the discount factors from the expiry that mkt_data[0], a discount
  // curve, gives on path j (its vectorised `log_df`). `output` is size() x paths; the values are in
  // money at the expiry, for the caller to discount.
  void value(const datetime& date, const std::vector<ptr_const<market_data>>& mkt_data,
             tensor<double>& output) const override;
  // Adds the expiry, the one exercise date.
  void update_event_dates(std::vector<datetime>& dates) const override;
  // One value per strike.
  size_t size() const override { return strikes_.size(); }

  bool is_call() const noexcept { return is_call_; }
  bool is_ratios() const noexcept { return is_ratios_; }
  const ptr_const<interest_rate_swap>& swap() const noexcept { return swap_; }
  // Absolute strikes.
  const std::vector<double>& strikes() const noexcept { return strikes_; }

 private:
  bool is_call_;
  bool is_ratios_;
  ptr_const<interest_rate_swap> swap_;
  std::vector<double> strikes_;
};

}  // namespace qavrek
