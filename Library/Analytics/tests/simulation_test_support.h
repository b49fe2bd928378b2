#pragma once

// Shared pieces of the simulation tests: ids, random configurations, refusal checks, a small market for
// diffusions queried on known states, and two stand-in diffusions that record the correlated increments
// they are handed, so that tests can see how a simulation slices them.

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <functional>
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
#include "monte_carlo_test_support.h"

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

// A call that must throw an Error whose message holds `expected`.
struct refusal {
  const char* label;
  std::function<void()> action;
  const char* expected;  // a part of the message
};

inline void expect_refusals(const std::vector<refusal>& refusals) {
  for (const auto& r : refusals) {
    SCOPED_TRACE(r.label);
    const std::string message = error_message(r.action);
    EXPECT_NE(message.find(r.expected), std::string::npos) << message;
  }
}

// The message of a query whose output has 3 entries for 5 paths.
inline const std::string three_outputs_for_five_paths =
    "Expected expr.size() == rhs.size() to be true, but got false.  expression has diferrent size 5 than destination 3";

// Equal dates give zeros without looking at the states, even an empty block: an output of `paths` entries,
// 3 on entry, holds zeros.
inline void expect_zeros_over_no_time(const diffusion_ir& rate, const datetime& date, size_t paths) {
  vector<double> output(paths, 3.0);
  rate.log_df(output, matrix<double>(), date, date);
  for (double value : output) EXPECT_EQ(value, 0.0);
}
inline void expect_zeros_over_no_time(const diffusion_credit& intensity, const datetime& date, size_t paths) {
  vector<double> output(paths, 3.0);
  intensity.log_conditional_survival_probability(output, matrix<double>(), date, date);
  for (double value : output) EXPECT_EQ(value, 0.0);
}

// Four monthly simulation dates from 15 January 2024 and market curves with two pillars each, for the
// tests that query rate and credit diffusions on known states.
struct four_month_market {
  const std::vector<datetime> dates = monthly_dates(datetime(2024, 1, 15), 4);
  const ptr_const<discount_curve> rates = std::make_shared<const discount_curve>(
      dates[0], std::vector{datetime(2025, 1, 15), datetime(2029, 1, 15)}, std::vector{0.97, 0.85});
  const ptr_const<survival_curve> defaults = std::make_shared<const survival_curve>(
      dates[0], std::vector{datetime(2025, 1, 15), datetime(2029, 1, 15)}, std::vector{0.99, 0.93});
};

// A query that a class does not offer: it throws NotImplementedError with this message and location.
struct not_implemented_case {
  const char* label;
  std::function<void()> action;
  SourceLocation location;
  const char* message;
};

inline void expect_not_implemented(const std::vector<not_implemented_case>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    try {
      c.action();
      ADD_FAILURE() << "nothing thrown";
    } catch (const NotImplementedError& e) {
      EXPECT_EQ(e.message(), c.message);
      EXPECT_EQ(e.location().function, c.location.function);
      EXPECT_EQ(e.location().file, c.location.file);
      EXPECT_EQ(e.location().line, c.location.line);
    }
  }
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
