// Valuations of HJM swaption targets allocate nothing on the heap once their workspace has grown, nor do the
// calibration's residual and Jacobian callbacks once their buffers have.
//
// The heap allocations are those of the calling thread, counted by thread_allocations.cpp.

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "Analytics/calibration/ir/hjm/calibration_ir_hjm.h"
#include "Core/smp_tools_api.h"
#include "Math/lm_parameters.h"
#include "hjm_swaption_test_support.h"
#include "thread_allocations.h"

namespace qavrek {

// The driver's run state, reached as its own tests reach it.
struct calibration_ir_hjm_access {
  using problem = calibration_ir_hjm::problem;
};

namespace {

using namespace hjm_swaption_test;

// One and three factors, with a term structure of decays and volatilities.
parameter_markovian_hjm three_factors() {
  return make_parameter(parameter_markovian_hjm_type::HULL_WHITE, {{0.03, 0.4, 1.2}, {0.05, 0.3, 1.0}},
                        days({1826, 7305}), {{0.008, 0.006, 0.004}, {0.007, 0.005, 0.004}, {0.006, 0.005, 0.003}},
                        days({365, 3652, 7305}), {{1.0, 0.4, -0.2}, {0.4, 1.0, 0.3}, {-0.2, 0.3, 1.0}});
}

TEST(HjmAllocations, ValuationsAndTheirAdjointsReuseTheirWorkspace) {
  if (!allocation_test::counts_allocations()) GTEST_SKIP() << "the sanitizer owns the allocation functions";
  hjm_setup one(hull_white_parameter(0.05, 0.01));
  hjm_setup three(three_factors());
  for (hjm_setup* setup : {&one, &three}) {
    setup->parameter.register_at(0);
    setup->model.register_at(setup->parameter.state_parameters_size());
  }
  // A caplet, a swaption, a long one; the workspace first serves the largest and then the others.
  const std::vector<calibration_ir_hjm_swaption> targets = {target("10Y", "20Y", "1Y"), target("2Y", "6M", "6M"),
                                                            target("5Y", "5Y", "1Y")};
  calibration_ir_hjm_swaption::workspace work;
  for (const hjm_setup* setup : {&three, &one}) {
    const model_markovian_hjm& model = setup->model;
    std::vector<double> adjoints(setup->parameter.state_parameters_size() + model.state_parameters_size(), 0.0);
    for (const calibration_ir_hjm_swaption& swaption : targets) {
      const double strike = swaption.swap_rate();
      vector<double> root(setup->factors()), fresh_root(setup->factors());
      swaption.initial_root(fresh_root, strike, model);
      const double fresh = swaption.implied_volatility(strike, model, fresh_root, calibration_iterations,
                                                       calibration_tolerance);
      std::vector<double> fresh_adjoints(adjoints.size(), 0.0);
      swaption.implied_volatility_aad(-1.0, fresh, strike, model, fresh_root, fresh_adjoints.data());

      double volatility = 0.0;
      const size_t count = allocation_test::allocations_of([&] {
        for (int round = 0; round < 3; ++round) {
          root = 0.0;
          std::fill(adjoints.begin(), adjoints.end(), 0.0);
          swaption.initial_root(root, strike, model, work);
          volatility =
              swaption.implied_volatility(strike, model, root, calibration_iterations, calibration_tolerance, work);
          swaption.implied_volatility_aad(-1.0, volatility, strike, model, root, adjoints.data(), work);
        }
      });
      // The first valuation of the largest swap under three factors grows the workspace; nothing after.
      if (setup != &three || &swaption != &targets.front()) {
        EXPECT_EQ(count, 0u) << setup->factors() << " factors, target " << &swaption - targets.data();
      }
      // A reused workspace gives what a fresh one gives, bit for bit.
      EXPECT_EQ(volatility, fresh);
      EXPECT_EQ(adjoints, fresh_adjoints);
      for (size_t k = 0; k < root.size(); ++k) EXPECT_EQ(root[k], fresh_root[k]);
    }
  }
}

TEST(HjmAllocations, CalibrationCallbacksAllocateNothingOnceTheirBuffersHaveGrown) {
  if (!allocation_test::counts_allocations()) GTEST_SKIP() << "the sanitizer owns the allocation functions";
  smp_tools_api::GetInstance().set_backend(smp_tools_api::SEQUENTIAL, 1);
  const std::vector<tenor> grid = {tenor("1Y"), tenor("2Y"), tenor("3Y")};
  const auto targets = std::make_shared<const calibration_ir_targets_configuration>(
      tenor("1Y"), std::vector<tenor>(grid), tenor("4Y"), std::vector<tenor>(grid), std::vector<std::vector<double>>{},
      true, true, true);
  const calibration_ir_hjm driver(valuation(), market_curve(), targets, act_365f());
  tensor<double> nodes({3, 3, 1});
  for (size_t i = 0; i < 9; ++i) nodes.data()[i] = 0.2 + 0.01 * static_cast<double>(i);
  const auto surface =
      std::make_shared<const ir_volatility_surface>(valuation(), grid, grid, std::vector<double>{}, nodes, act_365f());
  const matrix<double> correlation = {{1.0, 0.4, -0.2}, {0.4, 1.0, 0.3}, {-0.2, 0.3, 1.0}};
  for (bool calibrate_correlation : {false, true}) {
    const auto settings = std::make_shared<const calibration_hjm_settings>(
        3, std::vector<double>{0.001, 0.03}, std::vector<double>{0.001, 1.5}, parameter_markovian_hjm_type::HULL_WHITE,
        false, 200, true, calibrate_correlation, 1e-8, 0.5, true, true);
    calibration_ir_hjm_access::problem run(driver, surface, correlation, settings, {}, nullptr);
    vector<double> x = run.initial_unknowns();
    vector<double> r(run.number_of_residuals());
    matrix<double> J(run.number_of_residuals(), run.number_of_unknowns());
    const lm_parameters steps(run.number_of_residuals(), run.number_of_unknowns(), 0);
    run.residuals(x, r);
    run.jacobian(x, J);
    run.finite_difference_jacobian(x, J, steps);
    const size_t count = allocation_test::allocations_of([&] {
      for (int step = 0; step < 3; ++step) {
        x[0] += 0.01;
        run.residuals(x, r);
        run.jacobian(x, J);
        run.finite_difference_jacobian(x, J, steps);
      }
    });
    EXPECT_EQ(count, 0u) << (calibrate_correlation ? "with" : "without") << " the correlation";
  }
}

}  // namespace
}  // namespace qavrek
