#pragma once

#include <vector>

#include "Core/pointers.h"
#include "Market/market_data.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Util/tenor.h"
#include "Vectorization/tensor.h"

namespace qavrek {

// Black (lognormal) volatilities of swaptions by option expiry, swap tenor and strike.
//
// The axes are tenors and strikes. An option expiry e lies at the time fraction(valuation, valuation + e);
// for a swap that starts on date s, a tenor t has the length fraction(s, s + t), so a swap built from
// the axis tenors lands on the nodes exactly. A lookup interpolates linearly in expiry time and in swap
// length (bilinearly between the four nodes around it) and linearly in strike, and extrapolates flat
// beyond each axis. The strike axis holds absolute strikes in increasing order, or is empty for a single
// at-the-money column that every strike reads. Time fractions use the surface's day count (ACT/365F
// unless given).
class ir_volatility_surface : public market_data {
 public:
  // `volatilities` has the shape {expiries, tenors, strikes} (one strike column when `strikes` is
  // empty) and any finite, non-negative values. Expiries and tenors must be strictly increasing in
  // time from the valuation date, strikes finite and strictly increasing.
  ir_volatility_surface(const datetime& valuation_date, const std::vector<tenor>& expiries,
                        const std::vector<tenor>& tenors, const std::vector<double>& strikes,
                        const tensor<double>& volatilities, ptr_const<day_count_convention> convention = nullptr);
  ~ir_volatility_surface() override;

  // The quotes belong to their valuation date, so finalizing keeps it.
  void finalize(const datetime& date) const override;

  // The volatility of the option expiring at `expiry` on the swap from `expiry` to `maturity`. The
  // expiry must not precede the valuation date and the maturity must follow the expiry.
  double volatility(const datetime& expiry, const datetime& maturity, double strike) const;
  // The same for the swap that starts `expiry` after the valuation date and runs for `swap_tenor`.
  double volatility(const tenor& expiry, const tenor& swap_tenor, double strike) const;

  const std::vector<tenor>& expiries() const noexcept { return expiries_; }
  const std::vector<tenor>& tenors() const noexcept { return tenors_; }
  // Empty for a single at-the-money column.
  const std::vector<double>& strikes() const noexcept { return strikes_; }
  const tensor<double>& volatilities() const noexcept { return volatilities_; }
  const ptr_const<day_count_convention>& convention() const noexcept { return convention_; }

 private:
  std::vector<tenor> expiries_;
  std::vector<tenor> tenors_;
  std::vector<double> strikes_;
  tensor<double> volatilities_;
  ptr_const<day_count_convention> convention_;
  // Year fractions from the valuation date to each expiry.
  std::vector<double> expiry_times_;
};

}  // namespace qavrek
