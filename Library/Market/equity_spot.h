#pragma once

#include "Core/pointers.h"
#include "Market/discount_curve.h"
#include "Market/market_data.h"
#include "Util/datetime.h"
#include "Vectorization/vector.h"

namespace qavrek {

// The spot price of an equity at the valuation date and, through the domestic discount curve, its
// forward prices (no dividends: F(to) = S / P(valuation, to)).
//
// Simulated views derive from this class and answer path by path; the order of the virtual queries is
// part of that contract. A view has no single spot: its scalar query throws.
class equity_spot : public market_data {
 public:
  // A positive, finite spot; the curve is needed only by forward().
  equity_spot(const datetime& valuation_date, double spot, ptr_const<discount_curve> curve = nullptr);
  ~equity_spot() override;

  virtual double spot() const;
  // The spot per path. A deterministic spot is the same on every path and returns it once.
  virtual vector<double> spots() const;
  // The forward price for delivery at `to` as seen from `from`, on every path of `output`. With
  // deterministic rates no news arrives between the valuation date and `from`, so the forward is
  // S / P(valuation, to) whatever `from`.
  virtual void forward(vector<double>& output, const datetime& from, const datetime& to) const;

  // Empty when the spot was built without a curve, and for views.
  const ptr_const<discount_curve>& curve() const noexcept { return curve_; }

 protected:
  // For simulated views, which answer every query themselves.
  equity_spot();
  equity_spot(const equity_spot&) = default;
  equity_spot& operator=(const equity_spot&) = default;

 private:
  double spot_;
  ptr_const<discount_curve> curve_;
};

}  // namespace qavrek
