#include "Market/ir_volatility_surface.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>
#include <utility>

#include "Core/check.h"
#include "Util/datetime_helper.h"

namespace qavrek {

namespace {

// The two nodes around x on an increasing axis and the weight of the upper one; flat beyond the ends.
struct bracket {
  size_t lower = 0;
  size_t upper = 0;
  double weight = 0.0;
};

bracket locate(const std::vector<double>& axis, double x) {
  const size_t last = axis.size() - 1;
  if (x <= axis.front()) return {0, 0, 0.0};
  if (x >= axis.back()) return {last, last, 0.0};
  const size_t upper = static_cast<size_t>(std::distance(axis.begin(), std::upper_bound(axis.begin(), axis.end(), x)));
  const size_t lower = upper - 1;
  return {lower, upper, (x - axis[lower]) / (axis[upper] - axis[lower])};
}

// Swap lengths of the axis tenors for a swap starting on `start`.
std::vector<double> swap_lengths(const std::vector<tenor>& tenors, const datetime& start,
                                 const day_count_convention& convention) {
  std::vector<double> lengths(tenors.size());
  for (size_t j = 0; j < tenors.size(); ++j) {
    lengths[j] = convention.fraction(start, datetime_helper::add_tenor(start, tenors[j]));
    QAVREK_CHECK(j == 0 || lengths[j] > lengths[j - 1], "swap tenor ", tenors[j].to_string(),
                 " is not longer than ", tenors[j - 1].to_string(), " from ", start);
  }
  return lengths;
}

}  // namespace

ir_volatility_surface::ir_volatility_surface(const datetime& valuation_date, const std::vector<tenor>& expiries,
                                             const std::vector<tenor>& tenors, const std::vector<double>& strikes,
                                             const tensor<double>& volatilities,
                                             ptr_const<day_count_convention> convention)
    : market_data(valuation_date),
      expiries_(expiries),
      tenors_(tenors),
      strikes_(strikes),
      volatilities_(volatilities),
      convention_(convention ? std::move(convention) : std::make_shared<const day_count_convention>()) {
  QAVREK_CHECK(valuation_date.is_valid(), "the valuation date is not set");
  QAVREK_CHECK(!expiries.empty() && !tenors.empty(), "a volatility surface needs expiries and tenors");
  const size_t columns = strikes.empty() ? 1 : strikes.size();
  const std::vector<size_t> shape{expiries.size(), tenors.size(), columns};
  QAVREK_CHECK(volatilities.shape() == shape, "volatilities shape is not {", shape[0], ", ", shape[1], ", ",
               shape[2], "} (expiries, tenors, strikes)");
  for (size_t k = 0; k < strikes.size(); ++k) {
    QAVREK_CHECK(std::isfinite(strikes[k]) && (k == 0 || strikes[k] > strikes[k - 1]), "strike ", strikes[k],
                 " at ", k, " is not finite and above the previous one");
  }
  for (size_t i = 0; i < volatilities.size(); ++i) {
    QAVREK_CHECK(std::isfinite(volatilities[i]) && volatilities[i] >= 0.0, "volatility ", volatilities[i], " at ", i,
                 " is not finite and non-negative");
  }
  expiry_times_.resize(expiries.size());
  for (size_t i = 0; i < expiries.size(); ++i) {
    expiry_times_[i] = convention_->fraction(valuation_date, datetime_helper::add_tenor(valuation_date, expiries[i]));
    QAVREK_CHECK(i == 0 || expiry_times_[i] > expiry_times_[i - 1], "expiry ", expiries[i].to_string(),
                 " is not later than ", expiries[i - 1].to_string());
  }
  swap_lengths(tenors_, valuation_date, *convention_);
}

ir_volatility_surface::~ir_volatility_surface() = default;

void ir_volatility_surface::finalize(const datetime& date) const { check_finalize_date(date); }

double ir_volatility_surface::volatility(const datetime& expiry, const datetime& maturity, double strike) const {
  QAVREK_CHECK(expiry.is_valid() && expiry >= valuation_date(), "expiry ", expiry, " is not on or after ",
               valuation_date());
  QAVREK_CHECK(maturity.is_valid() && maturity > expiry, "maturity ", maturity, " is not after expiry ", expiry);
  QAVREK_CHECK(!std::isnan(strike), "the strike is not a number");

  const bracket e = locate(expiry_times_, convention_->fraction(valuation_date(), expiry));
  const bracket t = locate(swap_lengths(tenors_, expiry, *convention_), convention_->fraction(expiry, maturity));
  const bracket k = strikes_.empty() ? bracket{} : locate(strikes_, strike);

  const size_t columns = volatilities_.shape()[2];
  const auto node = [&](size_t i, size_t j, size_t l) { return volatilities_[(i * tenors_.size() + j) * columns + l]; };
  const auto along_strike = [&](size_t i, size_t j) {
    return (1.0 - k.weight) * node(i, j, k.lower) + k.weight * node(i, j, k.upper);
  };
  const auto along_tenor = [&](size_t i) {
    return (1.0 - t.weight) * along_strike(i, t.lower) + t.weight * along_strike(i, t.upper);
  };
  return (1.0 - e.weight) * along_tenor(e.lower) + e.weight * along_tenor(e.upper);
}

double ir_volatility_surface::volatility(const tenor& expiry, const tenor& swap_tenor, double strike) const {
  const datetime start = datetime_helper::add_tenor(valuation_date(), expiry);
  return volatility(start, datetime_helper::add_tenor(start, swap_tenor), strike);
}

}  // namespace qavrek
