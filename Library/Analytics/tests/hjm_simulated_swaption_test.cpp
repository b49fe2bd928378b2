// Swaptions valued by Monte Carlo from simulated Markovian HJM curves (interest_rate_swap::simulated_value)
// against the model's semi-analytic price (calibration_ir_hjm_swaption): exact with one factor
// (Jamshidian's decomposition), a first-order approximation of the exercise boundary with several, whose
// error is far below the Monte Carlo error here.
//
// Each path's payoff comes once more from the European swaption instrument on the same simulated curve,
// discounted by the path's discounting: its sample gives the standard error, and its mean must be the
// simulated value itself. The simulated value must lie within 4 standard errors of the model price, with
// and without moment matching.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Analytics/calibration/ir/hjm/calibration_ir_hjm_swaption.h"
#include "Analytics/diffusion/ir/diffusion_ir_markovian_hjm.h"
#include "Analytics/simulation/simulation_manager.h"
#include "Instrument/instrument_ir_swaption.h"
#include "Instrument/interest_rate_swap.h"
#include "Vectorization/tensor.h"
#include "hjm_swaption_test_support.h"
#include "monte_carlo_test_support.h"
#include "simulation_test_support.h"

namespace qavrek {
namespace {

using namespace hjm_swaption_test;
using simulation_test::sample;
using simulation_test::within_four_standard_errors;

struct hjm_case {
  const char* label;
  parameter_markovian_hjm parameter;
  random_type generator;
};

TEST(HjmSimulatedSwaption, MatchesTheModelPriceWithinFourStandardErrors) {
  const std::vector<hjm_case> cases{
      {"one factor", hull_white_parameter(0.04, 0.011), random_type::MERSENNE_TWISTER},
      {"three factors", three_factor_parameter(), random_type::WELL_19937},
  };
  constexpr size_t paths = 16384;
  const auto curve = market_curve();
  // Monthly simulation dates from the valuation date to the expiry two years on.
  const std::vector<datetime> dates = simulation_test::monthly_dates(valuation(), 25);
  const datetime expiry = dates.back();
  const datetime maturity = after(expiry, "5Y");
  const std::vector<double> moneyness{0.8, 1.0, 1.25};

  for (const hjm_case& c : cases) {
    SCOPED_TRACE(c.label);
    const auto parameter = std::make_shared<const parameter_markovian_hjm>(c.parameter);
    const auto rate = std::make_shared<const diffusion_ir_markovian_hjm>(dates, curve, parameter);
    const size_t factors = rate->number_of_factors();
    simulation_manager manager({rate}, {std::make_shared<const change_of_measure>()},
                               parameter->correlation(),
                               simulation_test::random_configuration(paths, dates.size(), factors, c.generator), dates);
    manager.states_initialize();
    for (size_t t = 1; t < dates.size(); ++t) manager.propagate(t);
    const auto simulated = diffusion::diffusion_discount_curve(manager.data(0));
    vector<double> mm(paths);
    simulated->discounting(mm, expiry);

    interest_rate_swap swap(curve, expiry, maturity, tenor("1Y"), act_365f());
    std::vector<double> strikes;
    for (double m : moneyness) strikes.push_back(m * swap.swap_rate());
    const auto values = swap.simulated_value(mm, simulated, strikes, true, false, false);
    const auto matched = swap.simulated_value(mm, simulated, strikes, true, true, false);

    const instrument_ir_swaption payoffs(true, curve, expiry, maturity, tenor("1Y"), act_365f(), strikes, false);
    tensor<double> at_expiry({strikes.size(), paths});
    payoffs.value(expiry, {simulated}, at_expiry);

    const hjm_setup model(c.parameter);
    const calibration_ir_hjm_swaption target(std::make_shared<const interest_rate_swap>(swap));
    for (size_t k = 0; k < strikes.size(); ++k) {
      SCOPED_TRACE("strike " + std::to_string(strikes[k]));
      sample discounted;
      for (size_t j = 0; j < paths; ++j) discounted.add(at_expiry[k * paths + j] * mm[j]);
      // The same sums in another order: rounding of 16384 terms of order 0.01.
      EXPECT_NEAR(values[k], discounted.mean(), 1e-14);

      vector<double> root, gradient;
      const double price =
          target.value(strikes[k], model.model, root, gradient, calibration_iterations, calibration_tolerance);
      EXPECT_TRUE(within_four_standard_errors(discounted, price));
      // Moment matching only lowers the error of the estimate, so the plain standard error bounds it too.
      EXPECT_NEAR(matched[k], price, 4.0 * discounted.standard_error());
    }
  }
}

}  // namespace
}  // namespace qavrek
