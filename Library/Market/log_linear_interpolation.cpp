#include "Market/log_linear_interpolation.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "Core/check.h"

namespace qavrek {

log_linear_interpolation::log_linear_interpolation(const std::vector<double>& times, const std::vector<double>& logs) {
  QAVREK_CHECK(!times.empty(), "a curve needs at least one node");
  QAVREK_CHECK(times.size() == logs.size(), "times size ", times.size(), " is different from values size ", logs.size());
  times_.reserve(times.size() + 1);
  logs_.reserve(times.size() + 1);
  times_.push_back(0.0);
  logs_.push_back(0.0);
  for (size_t i = 0; i < times.size(); ++i) {
    QAVREK_CHECK(std::isfinite(times[i]) && times[i] > times_.back(), "node time ", times[i], " at ", i,
                 " is not finite and after the previous one ", times_.back());
    QAVREK_CHECK(std::isfinite(logs[i]), "node value at ", i, " is not finite");
    times_.push_back(times[i]);
    logs_.push_back(logs[i]);
  }
  slopes_.resize(times.size());
  for (size_t k = 0; k < slopes_.size(); ++k) slopes_[k] = (logs_[k + 1] - logs_[k]) / (times_[k + 1] - times_[k]);
}

double log_linear_interpolation::operator()(double t) const {
  QAVREK_CHECK(!times_.empty(), "the curve has no nodes");
  QAVREK_CHECK(!std::isnan(t), "the time is not a number");
  // From the last node onwards: anchored at the node, so that it is reproduced exactly.
  if (t >= times_.back()) return logs_.back() + (t - times_.back()) * slopes_.back();
  const auto after = std::upper_bound(times_.begin(), times_.end(), t);
  const size_t k = after == times_.begin() ? 0 : static_cast<size_t>(std::distance(times_.begin(), after)) - 1;
  return logs_[k] + (t - times_[k]) * slopes_[k];
}

}  // namespace qavrek
