#include "Market/equity_spot.h"

#include <cmath>
#include <limits>
#include <utility>

#include "Core/check.h"

namespace qavrek {

equity_spot::equity_spot(const datetime& valuation_date, double spot, ptr_const<discount_curve> curve)
    : market_data(valuation_date), spot_(spot), curve_(std::move(curve)) {
  QAVREK_CHECK(valuation_date.is_valid(), "the valuation date is not set");
  QAVREK_CHECK(std::isfinite(spot) && spot > 0.0, "equity spot ", spot, " is not positive and finite");
}

equity_spot::equity_spot() : spot_(std::numeric_limits<double>::quiet_NaN()) {}

equity_spot::~equity_spot() = default;

double equity_spot::spot() const { return spot_; }

vector<double> equity_spot::spots() const { return vector<double>{spot_}; }

void equity_spot::forward(vector<double>& output, const datetime& from, const datetime& to) const {
  QAVREK_CHECK(curve_ != nullptr, "the forward of an equity spot needs its discount curve");
  QAVREK_CHECK(from.is_valid(), "the date the forward is seen from is not set");
  output.fill(spot_ / curve_->df(valuation_date(), to));
}

}  // namespace qavrek
