#pragma once

#include <cstddef>
#include <vector>

#include "Core/pointers.h"
#include "Instrument/instrument.h"
#include "Instrument/interest_rate_spread.h"
#include "Market/discount_curve.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Util/tenor.h"

namespace qavrek {

// A European option on the spread S_long - S_short of two swap rates fixed at the expiry (a CMS spread
// option, both weights 1), paid at the expiry, at one or more absolute strikes: a call on the spread when
// `is_call`, else a put. Its constructor takes the short maturity before the long one, the reverse of
// `interest_rate_spread`.
class instrument_ir_spread_option : public instrument {
 public:
  instrument_ir_spread_option(bool is_call, const ptr_const<discount_curve>& curve, const datetime& expiry,
                              const datetime& short_maturity, const datetime& long_maturity, const tenor& frequency,
                              const ptr_const<day_count_convention>& convention, const std::vector<double>& strikes);

  // At the expiry (another date is an error), per strike k and path j:
  // output(k, j) = max(w (S_long_j - S_short_j - K_k), 0) with w = +1 for a call and -1 for a put, the swap
  // rates on the discount factors from the expiry that mkt_data[0], a discount curve, gives on path j.
  // `output` is size() x paths, in money at the expiry.
  void value(const datetime& date, const std::vector<ptr_const<market_data>>& mkt_data,
             tensor<double>& output) const override;
  // Adds the expiry, the one exercise date.
  void update_event_dates(std::vector<datetime>& dates) const override;
  // One value per strike.
  size_t size() const override { return strikes_.size(); }

  bool is_call() const noexcept { return is_call_; }
  const ptr_const<interest_rate_spread>& spread() const noexcept { return spread_; }
  const std::vector<double>& strikes() const noexcept { return strikes_; }

 private:
  bool is_call_;
  ptr_const<interest_rate_spread> spread_;
  std::vector<double> strikes_;
};

}  // namespace qavrek
