#pragma once

#include "Core/pointers.h"
#include "Market/discount_curve.h"
#include "Market/market_data.h"
#include "Util/datetime.h"
#include "Vectorization/vector.h"

namespace qavrek {

// An exchange rate at the valuation date, in domestic units per foreign unit, and, through the two
// currencies' discount curves, its forward rates (covered interest parity: F(to) = X P_f(valuation, to)
// / P_d(valuation, to)).
//
// Simulated views derive from this class and answer path by path; the order of the virtual queries is
// part of that contract. A view has no single spot: its scalar query throws.
class fx_spot : public market_data {
 public:
  // A positive, finite rate; the curves are needed only by forward().
  fx_spot(const datetime& valuation_date, double spot, ptr_const<discount_curve> domestic_curve = nullptr,
          ptr_const<discount_curve> foreign_curve = nullptr);
  ~fx_spot() override;

  virtual double spot() const;
  // The rate per path. A deterministic rate is the same on every path and returns it once.
  virtual vector<double> spots() const;
  // The forward rate for delivery at `to` as seen from `from`, on every path of `output`. With
  // deterministic rates no news arrives between the valuation date and `from`, so the forward is
  // X P_f(valuation, to) / P_d(valuation, to) whatever `from`.
  virtual void forward(vector<double>& output, const datetime& from, const datetime& to) const;

  // Empty when the rate was built without them, and for views.
  const ptr_const<discount_curve>& domestic_curve() const noexcept { return domestic_curve_; }
  const ptr_const<discount_curve>& foreign_curve() const noexcept { return foreign_curve_; }

 protected:
  // For simulated views, which answer every query themselves.
  fx_spot();
  fx_spot(const fx_spot&) = default;
  fx_spot& operator=(const fx_spot&) = default;

 private:
  double spot_;
  ptr_const<discount_curve> domestic_curve_;
  ptr_const<discount_curve> foreign_curve_;
};

}  // namespace qavrek
