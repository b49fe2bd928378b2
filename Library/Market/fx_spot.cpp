#include "Market/fx_spot.h"

#include <cmath>
#include <limits>
#include <utility>

#include "Core/check.h"

namespace qavrek {

fx_spot::fx_spot(const datetime& valuation_date, double spot, ptr_const<discount_curve> domestic_curve,
                 ptr_const<discount_curve> foreign_curve)
    : market_data(valuation_date),
      spot_(spot),
      domestic_curve_(std::move(domestic_curve)),
      foreign_curve_(std::move(foreign_curve)) {
  QAVREK_CHECK(valuation_date.is_valid(), "the valuation date is not set");
  QAVREK_CHECK(std::isfinite(spot) && spot > 0.0, "fx spot ", spot, " is not positive and finite");
}

fx_spot::fx_spot() : spot_(std::numeric_limits<double>::quiet_NaN()) {}

fx_spot::~fx_spot() = default;

double fx_spot::spot() const { return spot_; }

vector<double> fx_spot::spots() const { return vector<double>{spot_}; }

void fx_spot::forward(vector<double>& output, const datetime& from, const datetime& to) const {
  QAVREK_CHECK(domestic_curve_ != nullptr && foreign_curve_ != nullptr,
               "the forward of an fx spot needs the domestic and the foreign discount curves");
  QAVREK_CHECK(from.is_valid(), "the date the forward is seen from is not set");
  const datetime& today = valuation_date();
  output.fill(spot_ * std::exp(foreign_curve_->log_df(today, to) - domestic_curve_->log_df(today, to)));
}

}  // namespace qavrek
