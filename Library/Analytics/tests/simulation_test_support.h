#pragma once

// Shared pieces of the simulation tests: ids, random configurations and two stand-in diffusions that
// record the correlated increments they are handed, so that tests can see how a simulation slices them.

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "Analytics/common/random_config.h"
#include "Analytics/diffusion/credit/diffusion_credit.h"
#include "Analytics/diffusion/ir/diffusion_ir.h"
#include "Core/error.h"
#include "Core/pointers.h"
#include "Market/currency.h"
#include "Market/default_id.h"
#include "Market/discount_curve.h"
#include "Market/discount_definition.h"
#include "Market/discount_id.h"
#include "Market/survival_curve.h"
#include "Util/datetime.h"
#include "Util/key.h"
#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek::simulation_test {

inline ptr_const<discount_id> discount(const char* definition, const char* ccy) {
  return std::make_shared<const discount_id>(std::make_shared<const discount_definition>(key(definition)),
                                             std::make_shared<const currency>(key(ccy)));
}

inline ptr_const<default_id> credit(const char* name, const char* ccy) {
  return std::make_shared<const default_id>(key(name), std::make_shared<const currency>(key(ccy)), key("SNRFOR"),
                                            key("XR14"), key("2014"));
}

// `count` dates a month apart from `start`, day clamped to 28 so every month has it.
inline std::vector<datetime> monthly_dates(const datetime& start, size_t count) {
  std::vector<datetime> dates;
  for (size_t i = 0; i < count; ++i) {
    const int months = start.month() - 1 + static_cast<int>(i);
    dates.emplace_back(start.year() + months / 12, months % 12 + 1, start.day() > 28 ? 28 : start.day());
  }
  return dates;
}

inline ptr_const<random_config> random_configuration(size_t paths, size_t dates, size_t brownians,
                                                     random_type type = random_type::MERSENNE_TWISTER,
                                                     size_t seed = 20240521, size_t batch_index = 0) {
  return std::make_shared<const random_config>(type, seed, paths, dates, brownians, batch_index);
}

// Running mean, variance and standard error of a Monte Carlo estimate.
struct sample {
  double sum = 0.0;
  double sum_of_squares = 0.0;
  size_t count = 0;

  void add(double x) {
    sum += x;
    sum_of_squares += x * x;
    ++count;
  }
  double mean() const { return sum / static_cast<double>(count); }
  double variance() const {
    const double n = static_cast<double>(count);
    return (sum_of_squares / n - mean() * mean()) * n / (n - 1.0);
  }
  double standard_error() const { return std::sqrt(variance() / static_cast<double>(count)); }
};

// The sample mean within 4 standard errors of `expected` (about 1 in 16000 for a correct model), plus an
// allowance for a known error of the expected value itself.
inline ::testing::AssertionResult within_four_standard_errors(const sample& s, double expected,
                                                             double allowance = 0.0) {
  const double distance = std::abs(s.mean() - expected);
  if (distance <= 4.0 * s.standard_error() + allowance) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "mean " << s.mean() << " is " << distance / s.standard_error()
                                       << " standard errors (" << s.standard_error() << ") away from " << expected;
}

// The message of what `action` throws as an Error; empty when it throws nothing.
template <class Action>
std::string error_message(Action&& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.what();
  }
  return {};
}

// Stand-in diffusions: each step writes the increments it is handed into its factor rows, so the view's
// `next` block shows them, and counts the step in its last row.
template <class Family>
class recording_diffusion : public Family {
 public:
  template <class Curve>
  recording_diffusion(const std::vector<datetime>& dates, const ptr_const<Curve>& curve, size_t factors)
      : Family(dates, curve), factors_(factors) {}

  void states_initialize(matrix<double>& states) const override { states.fill(0.0); }
  void propagate_state(matrix<double>& next, matrix<double>& current, size_t, const matrix<double>& gaussians,
                       const change_of_measure&) const override {
    current = next;
    for (size_t k = 0; k < factors_; ++k) next.row(k) = gaussians.row(k);
    next.row(factors_) += 1.0;
  }
  size_t number_of_states() const override { return factors_ + 1; }
  size_t number_of_factors() const override { return factors_; }

  // The discount factor of a view counts the steps: exp(-steps).
  void log_df(vector<double>& output, const matrix<double>&, const datetime&, const datetime&) const {
    output.fill(0.0);
  }
  void discounting(vector<double>& output, const matrix<double>& states, const datetime&) const {
    this->exp_of_shifted_row(output, states, factors_, 0.0);
  }
  size_t discounting_state_index() const { return factors_; }
  void log_conditional_survival_probability(vector<double>& output, const matrix<double>&, const datetime&,
                                            const datetime&) const {
    output.fill(0.0);
  }
  void survival_probability(vector<double>& output, const matrix<double>& states, const datetime&) const {
    this->exp_of_shifted_row(output, states, factors_, 0.0);
  }

 private:
  size_t factors_;
};

using recording_rate = recording_diffusion<diffusion_ir>;
using recording_credit = recording_diffusion<diffusion_credit>;

}  // namespace qavrek::simulation_test
