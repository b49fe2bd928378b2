#pragma once

#include <cstddef>
#include <vector>

#include "Core/pointers.h"
#include "Instrument/instrument.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"

namespace qavrek {

// A risky zero-coupon bond on one credit, from its expiry to its maturity, with no recovery: it pays 1
// at the maturity if the credit survives until then. With `is_adp` (an at-default payment) it pays 1 at
// the default instead, when the credit defaults after the expiry and by the maturity: the protection
// leg of a digital default swap. The day count is the bond's accrual convention, kept for its callers;
// the curves measure their own time.
class instrument_credit_bond : public instrument {
 public:
  // The expiry must be set and before the maturity; the day count is required.
  instrument_credit_bond(const datetime& expiry, const datetime& maturity,
                         const ptr_const<day_count_convention>& convention, bool is_adp = false);

  // At any date up to the maturity, on path j, with P from mkt_data[0] (a discount curve) and Q from
  // mkt_data[1] (a survival curve), both seen from `date`; `output` is 1 x paths, in money at `date`:
  //   at maturity     output(0, j) = P_j(date, T) Q_j(date, T)
  //   at default      output(0, j) = integral over u in (max(date, expiry), T] of P_j(date, u) (-dQ_j(date, u)),
  // the integral taken over monthly steps on each of which the short rate and the hazard rate are
  // constant: a step with P and Q at its start and integrated rate a and hazard b adds
  // P Q b (1 - exp(-(a + b))) / (a + b), exact for curves that are log-linear over the step.
  void value(const datetime& date, const std::vector<ptr_const<market_data>>& mkt_data,
             tensor<double>& output) const override;
  size_t size() const override { return 1; }

  const datetime& expiry() const noexcept { return expiry_; }
  const datetime& maturity() const noexcept { return maturity_; }
  const ptr_const<day_count_convention>& convention() const noexcept { return convention_; }
  bool is_adp() const noexcept { return is_adp_; }

 private:
  datetime expiry_;
  datetime maturity_;
  ptr_const<day_count_convention> convention_;
  bool is_adp_;
};

}  // namespace qavrek
