#pragma once

// Simulated stand-ins for the instruments' path-by-path valuations: on path j the short rate (or the
// hazard rate) is levels[j] from any date, flat in ACT/365F time, so that each path is a flat curve
// whose closed forms the tests know.

#include <cstddef>
#include <utility>
#include <vector>

#include "Market/discount_curve.h"
#include "Market/survival_curve.h"
#include "Util/datetime.h"
#include "Vectorization/vector.h"

namespace qavrek::flat_paths {

inline double years(const datetime& from, const datetime& to) { return (to.serial() - from.serial()) / 365.0; }

class flat_rate_paths : public discount_curve {
 public:
  explicit flat_rate_paths(std::vector<double> levels) : levels_(std::move(levels)) {}
  void log_df(vector<double>& output, const datetime& from, const datetime& to) const override {
    for (size_t j = 0; j < output.size(); ++j) output[j] = -levels_[j] * years(from, to);
  }
  using discount_curve::log_df;

 private:
  std::vector<double> levels_;
};

class flat_hazard_paths : public survival_curve {
 public:
  explicit flat_hazard_paths(std::vector<double> levels) : levels_(std::move(levels)) {}
  void log_survival_probability(vector<double>& output, const datetime& from, const datetime& to) const override {
    for (size_t j = 0; j < output.size(); ++j) output[j] = -levels_[j] * years(from, to);
  }
  using survival_curve::log_survival_probability;

 private:
  std::vector<double> levels_;
};

}  // namespace qavrek::flat_paths
