// Sensitivities of the HJM swaption target: one call of implied_volatility_aad, carried to the parameter
// set by the model's fill_aad and the finalizers, must give the derivative of implied_volatility with
// respect to every decay, volatility and correlation, as central finite differences that re-solve the
// root under each bumped model measure it. Degenerate targets and seeds add nothing.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "Analytics/tests/hjm_swaption_test_support.h"
#include "Core/logger.h"

namespace qavrek {
namespace {

using namespace hjm_swaption_test;
using hjm_type = parameter_markovian_hjm_type;

// The search run to its fixed point rather than to the calibration's tolerance: with a tolerance of zero
// it takes all its iterations, and each Newton step with its projection also shrinks the distance to
// the line of the gradient (linearly), which a tolerance on |V| alone does not watch. So both the
// adjoint's root and every bumped root are the boundary point the derivative is taken along.
constexpr size_t fixed_point_iterations = 100;
constexpr double fixed_point_tolerance = 0.0;

// The search's " pv:" line, which a zero tolerance always writes, is silenced while it lives.
class quiet_log {
 public:
  quiet_log() : cutoff_(logger::GetCurrentVerbosityCutoff()) { logger::SetCurrentVerbosityCutoff(-1); }
  ~quiet_log() { logger::SetCurrentVerbosityCutoff(cutoff_); }
  quiet_log(const quiet_log&) = delete;
  quiet_log& operator=(const quiet_log&) = delete;

 private:
  logger::Verbosity cutoff_;
};

struct gradient_case {
  hjm_type type;
  bool full_covariance;
  size_t factors;
  // A first-factor decay of 1e-9: every mean reversion under HULL_WHITE (the divided differences on their
  // series); the second period's decay under PICEWISE_CONSTANT, since on the first one the square root
  // of the G-weighted variance has a kink at zero that a difference across it does not see.
  bool near_zero_decay;
};

std::string describe(const gradient_case& c) {
  return std::string(c.type == hjm_type::HULL_WHITE ? "HullWhite" : "PiecewiseConstant") +
         (c.full_covariance ? "FullCovariance" : "Simulation") + std::to_string(c.factors) + "Factors" +
         (c.near_zero_decay ? "NearZeroDecay" : "");
}

void PrintTo(const gradient_case& c, std::ostream* out) { *out << describe(c); }

std::vector<gradient_case> gradient_cases() {
  std::vector<gradient_case> cases;
  for (const hjm_type type : {hjm_type::HULL_WHITE, hjm_type::PICEWISE_CONSTANT})
    for (const bool full : {true, false})
      for (const size_t factors : {1, 2, 3})
        for (const bool near_zero : {false, true}) cases.push_back({type, full, factors, near_zero});
  return cases;
}

parameter_markovian_hjm case_parameter(const gradient_case& c) {
  return hjm_test::varying_parameter(c.type, c.factors, c.near_zero_decay);
}

// Without the full-covariance flag the model has covariances at its simulation dates only, so the
// targets' expiries are simulation dates.
model_markovian_hjm make_model(const gradient_case& c, const parameter_markovian_hjm& parameter) {
  if (c.full_covariance) return model_markovian_hjm(parameter, valuation(), {}, true);
  const std::vector<datetime> simulation_dates{valuation(), day(91), after(valuation(), "1Y"),
                                               after(valuation(), "2Y"), after(valuation(), "3Y")};
  return model_markovian_hjm(parameter, valuation(), simulation_dates, false);
}

struct target_case {
  std::string name;
  calibration_ir_hjm_swaption target;
  // Strike = swap rate + offset: off the money, so that the boundary point lies away from the origin and
  // its dependence on the model counts.
  double strike_offset;
};

std::vector<target_case> targets() {
  return {{"2Y x 5Y annual swaption, out of the money", target("2Y", "5Y", "1Y"), 0.005},
          {"1Y x 3Y semiannual swaption, in the money", target("1Y", "3Y", "6M"), -0.004},
          {"3Y x 6M caplet", target("3Y", "6M", "6M"), 0.002}};
}

class HjmSwaptionGradient : public ::testing::TestWithParam<gradient_case> {
 protected:
  HjmSwaptionGradient() : parameter_(case_parameter(GetParam())), model_(make_model(GetParam(), parameter_)) {
    parameter_.register_at(0);
    model_.register_at(parameter_.state_parameters_size());
  }

  double volatility(const calibration_ir_hjm_swaption& target, double strike, vector<double>& root) const {
    return target.implied_volatility(strike, model_, root, fixed_point_iterations, fixed_point_tolerance);
  }

  // d(volatility)/d(state parameters) as the calibration's Jacobian takes it.
  std::vector<double> adjoint_gradient(const calibration_ir_hjm_swaption& target, double strike, double volatility,
                                       vector<double>& root) const {
    std::vector<double> adjoints(parameter_.state_parameters_size() + model_.state_parameters_size(), 0.0);
    target.implied_volatility_aad(1.0, volatility, strike, model_, root, adjoints.data());
    model_.fill_aad(adjoints.data());
    model_.finalize_aad(adjoints.data());
    parameter_.finalize_aad(adjoints.data());
    adjoints.resize(parameter_.state_parameters_size());
    return adjoints;
  }

  parameter_markovian_hjm parameter_;
  model_markovian_hjm model_;
  quiet_log quiet_;
};

// Central differences with a step of 1e-4 of each parameter's size, floored by the size of its kind
// (decays 1e-2, volatilities 1e-3, correlations 1e-1; a near-zero decay is stepped across zero): the
// truncation error, step^2 times the third derivative, is ~1e-8 relative, and the noise of a volatility
// (the inversion of Black's formula and the search's fixed point, near 1e-13 relative) over the step
// ~1e-9. Derivatives that are (nearly) zero are compared to 1e-3 of the largest one, where only the
// differences' absolute noise remains.
TEST_P(HjmSwaptionGradient, MatchesCentralFiniteDifferencesOfTheImpliedVolatility) {
  const size_t parameters = parameter_.state_parameters_size();
  const size_t decays = parameter_.decays().size();
  const size_t volatilities = parameter_.volatilities().size();
  std::vector<double> state(parameters);
  parameter_.get_state_parameters(state.data());

  for (const target_case& t : targets()) {
    SCOPED_TRACE(t.name);
    const double strike = t.target.swap_rate() + t.strike_offset;
    vector<double> root(GetParam().factors, 0.0);
    t.target.initial_root(root, strike, model_);
    const double sigma = volatility(t.target, strike, root);
    ASSERT_GT(sigma, 0.0);
    const std::vector<double> adjoints = adjoint_gradient(t.target, strike, sigma, root);

    std::vector<double> differences(parameters);
    for (size_t j = 0; j < parameters; ++j) {
      const double floor = j < decays ? 1e-2 : j < decays + volatilities ? 1e-3 : 1e-1;
      const double step = 1e-4 * std::max(std::abs(state[j]), floor);
      const auto bumped_volatility = [&](double shift) {
        std::vector<double> bumped = state;
        bumped[j] += shift;
        parameter_.set_state_parameters(bumped.data());
        model_.fill();
        vector<double> bumped_root = root;
        return volatility(t.target, strike, bumped_root);
      };
      differences[j] = (bumped_volatility(step) - bumped_volatility(-step)) / (2.0 * step);
    }
    parameter_.set_state_parameters(state.data());
    model_.fill();

    double largest = 0.0;
    for (double value : differences) largest = std::max(largest, std::abs(value));
    ASSERT_GT(largest, 0.0);
    for (size_t j = 0; j < parameters; ++j) {
      const double denominator = std::max(std::abs(differences[j]), 1e-3 * largest);
      EXPECT_LE(std::abs(adjoints[j] - differences[j]) / denominator, 1e-6)
          << "state parameter " << j << " (" << decays << " decays, " << volatilities
          << " volatilities, then correlations): adjoint " << adjoints[j] << ", finite difference "
          << differences[j];
    }
  }
}

INSTANTIATE_TEST_SUITE_P(CalibrationIrHjmSwaption, HjmSwaptionGradient, ::testing::ValuesIn(gradient_cases()),
                         [](const ::testing::TestParamInfo<gradient_case>& info) { return describe(info.param); });

// A parameter set and its model laid out in one adjoint array, as the calibration lays them out.
struct adjoint_setup {
  explicit adjoint_setup(parameter_markovian_hjm p) : parameter(std::move(p)), model(parameter, valuation(), {}, true) {
    parameter.register_at(0);
    model.register_at(parameter.state_parameters_size());
  }
  adjoint_setup(const adjoint_setup&) = delete;
  adjoint_setup& operator=(const adjoint_setup&) = delete;

  std::vector<double> zero_adjoints() const {
    return std::vector<double>(parameter.state_parameters_size() + model.state_parameters_size(), 0.0);
  }

  parameter_markovian_hjm parameter;
  model_markovian_hjm model;
};

bool all_zero(const std::vector<double>& values) {
  return std::all_of(values.begin(), values.end(), [](double value) { return value == 0.0; });
}

// The driver hands every target its stored model volatility and the seed of its residual; a volatility
// the pricing mapped (0.0), one that is negative, infinite or NaN, or a seed below DBL_EPSILON adds nothing.
TEST(HjmSwaptionAdjointContract, VolatilitiesWithoutDerivativeAndNegligibleSeedsAddNothing) {
  const quiet_log quiet;
  const adjoint_setup setup(case_parameter({hjm_type::HULL_WHITE, true, 2, false}));
  const double epsilon = std::numeric_limits<double>::epsilon();
  struct call {
    double seed;
    double volatility;
  };
  const std::vector<call> calls{{-1e6, 0.0},
                                {-1e6, -0.2},
                                {-1e6, std::numeric_limits<double>::infinity()},
                                {-1e6, std::numeric_limits<double>::quiet_NaN()},
                                {0.0, 0.2},
                                {0.5 * epsilon, 0.2},
                                {-0.5 * epsilon, 0.2}};
  for (const target_case& t : targets()) {
    SCOPED_TRACE(t.name);
    const double strike = t.target.swap_rate() + t.strike_offset;
    vector<double> root(2, 0.0);
    t.target.initial_root(root, strike, setup.model);
    const double sigma = t.target.implied_volatility(strike, setup.model, root, fixed_point_iterations,
                                                     fixed_point_tolerance);
    for (const call& c : calls) {
      std::vector<double> adjoints = setup.zero_adjoints();
      EXPECT_EQ(t.target.implied_volatility_aad(c.seed, c.volatility, strike, setup.model, root, adjoints.data()), 0.0)
          << "seed " << c.seed << ", volatility " << c.volatility;
      EXPECT_TRUE(all_zero(adjoints)) << "seed " << c.seed << ", volatility " << c.volatility;
    }
    // The same target with a usable volatility does add: what the contract skips is the call, not the target.
    std::vector<double> adjoints = setup.zero_adjoints();
    t.target.implied_volatility_aad(-1e6, sigma, strike, setup.model, root, adjoints.data());
    EXPECT_FALSE(all_zero(adjoints));
  }
}

// Without volatility the loadings, the swap's gradient in the state and the caplet's variance are all
// zero, and an option expiring today has no time: the prices have no derivative there and the adjoints
// must stay exact zeros (no 0/0 from the unit normal, sqrt(variance) or a vanishing vega), even for the
// positive volatility a calibration may hold from an earlier model.
TEST(HjmSwaptionAdjointContract, DegenerateTargetsAddZeros) {
  const quiet_log quiet;
  const adjoint_setup still(hjm_test::make_parameter(hjm_type::HULL_WHITE, {{0.05, 0.3}}, days({3650}),
                                                     {{0.0, 0.0}}, days({3650}), {{1.0, 0.3}, {0.3, 1.0}}));
  const adjoint_setup moving(case_parameter({hjm_type::HULL_WHITE, true, 2, false}));
  struct degenerate_case {
    std::string name;
    const adjoint_setup& setup;
    calibration_ir_hjm_swaption target;
  };
  const std::vector<degenerate_case> cases{
      {"2Y x 5Y swaption, no volatility", still, target("2Y", "5Y", "1Y")},
      {"3Y x 6M caplet, no volatility", still, target("3Y", "6M", "6M")},
      {"0D x 5Y swaption", moving, target("0D", "5Y", "1Y")},
      {"0D x 6M caplet", moving, target("0D", "6M", "6M")}};
  for (const degenerate_case& c : cases) {
    SCOPED_TRACE(c.name);
    const double strike = c.target.swap_rate();
    vector<double> root(2, 0.0);
    c.target.initial_root(root, strike, c.setup.model);
    c.target.implied_volatility(strike, c.setup.model, root, fixed_point_iterations, fixed_point_tolerance);
    std::vector<double> adjoints = c.setup.zero_adjoints();
    c.target.implied_volatility_aad(-1e6, 0.2, strike, c.setup.model, root, adjoints.data());
    c.setup.model.fill_aad(adjoints.data());
    c.setup.model.finalize_aad(adjoints.data());
    c.setup.parameter.finalize_aad(adjoints.data());
    EXPECT_TRUE(all_zero(adjoints));
  }
}

}  // namespace
}  // namespace qavrek
