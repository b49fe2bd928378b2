#pragma once

#include <cstddef>
#include <vector>

#include "Core/pointers.h"
#include "Instrument/instrument.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"

namespace qavrek {

// A zero-coupon bond from its expiry to its maturity, paying 1 at the maturity. The day count is the
// bond's accrual convention, kept for its callers; the curves measure their own time.
class instrument_ir_bond : public instrument {
 public:
  // The expiry must be set and before the maturity; the day count is required.
  instrument_ir_bond(const datetime& expiry, const datetime& maturity,
                     const ptr_const<day_count_convention>& convention);

  // At any date up to the maturity, on path j: output(0, j) = P_j(date, maturity) from mkt_data[0], a
  // discount curve. `output` is 1 x paths, in money at `date`.
  void value(const datetime& date, const std::vector<ptr_const<market_data>>& mkt_data,
             tensor<double>& output) const override;
  size_t size() const override { return 1; }

  const datetime& expiry() const noexcept { return expiry_; }
  const datetime& maturity() const noexcept { return maturity_; }
  const ptr_const<day_count_convention>& convention() const noexcept { return convention_; }

 private:
  datetime expiry_;
  datetime maturity_;
  ptr_const<day_count_convention> convention_;
};

}  // namespace qavrek
