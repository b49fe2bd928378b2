#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Core/error.h"
#include "PDE/scheme/pde_scheme_alternating_direction_implicit.h"
#include "PDE/scheme/pde_scheme_one_dimension.h"
#include "scheme_test_support.h"

namespace qavrek {
namespace {

using namespace test;
using type = pde_scheme_type;

constexpr double sqrt2 = 1.4142135623730951;

struct problem {
  std::vector<ptr_const<space_grid>> grids;
  std::vector<std::shared_ptr<pde_model_coefficients>> coefficients;
  std::vector<ptr_const<pde_model_coefficients>> shared;

  explicit problem(std::vector<ptr_const<space_grid>> g) : grids(std::move(g)) {
    std::vector<size_t> shape;
    for (const auto& grid : grids) shape.push_back(grid->size());
    for (size_t d = 0; d < grids.size(); ++d) {
      coefficients.push_back(std::make_shared<pde_model_coefficients>(shape, grids.size() > 1));
      shared.push_back(coefficients.back());
    }
  }

  std::shared_ptr<pde_scheme> scheme(type t, const ptr_const<time_grid>& grid, size_t width = 3, bool rescale = false,
                                     const matrix<double>& correlation = {}) const {
    return pde_scheme::create_scheme(grid, grids, shared, std::vector<size_t>(grids.size(), width),
                                     std::vector<bool>(grids.size(), false), t, rescale, correlation);
  }

  boundary_coefficients ends() const { return {{shared[0], shared[0]}}; }
};

void expect_error_at(const std::function<void()>& call, const std::string& function, const std::string& file,
                     int line) {
  try {
    call();
    ADD_FAILURE() << function << " did not throw";
  } catch (const Error& error) {
    EXPECT_EQ(error.location().function, function);
    EXPECT_EQ(error.location().file, file);
    EXPECT_EQ(error.location().line, line);
    EXPECT_STREQ(error.what(), "");
  }
}

TEST(SchemeFactory, UnknownTypesFailAtTheFactory) {
  const problem p({uniform_axis(5, 0.0, 1.0)});
  for (int t : {7, 8, -1, 1000}) {
    expect_error_at([&] { p.scheme(type(t), equal_steps(1.0, 2)); }, "create_scheme", "Library/PDE/scheme/pde_scheme",
                    40);
  }
}

TEST(SchemeFactory, RefusesMissingOrMismatchedArguments) {
  const auto grid = equal_steps(1.0, 2);
  const problem one({uniform_axis(6, 0.0, 1.0)});
  const problem two({uniform_axis(6, 0.0, 1.0), uniform_axis(4, 0.0, 1.0)});
  const problem uncovered({uniform_axis(7, 0.0, 1.0)});  // its coefficients cover 7 points, not 6
  struct refusal {
    std::string name;
    std::function<void()> create;
  };
  const std::vector<refusal> refusals{
      {"one_dimension_without_grids",
       [&] { pde_scheme::create_scheme(grid, {}, one.shared, {3}, {false}, type::IMPLICIT, false, {}); }},
      {"one_dimension_without_coefficients",
       [&] { pde_scheme::create_scheme(grid, one.grids, {}, {3}, {false}, type::IMPLICIT, false, {}); }},
      {"one_dimension_without_widths",
       [&] { pde_scheme::create_scheme(grid, one.grids, one.shared, {}, {}, type::CRANK_NICOLSON, false, {}); }},
      {"one_dimension_of_width_4", [&] { one.scheme(type::TWO_STAGE_IMPLICIT, grid, 4); }},
      {"one_dimension_of_width_0", [&] { one.scheme(type::IMPLICIT, grid, 0); }},
      {"split_of_width_4", [&] { two.scheme(type::DOUGLAS, grid, 4); }},
      {"split_with_fewer_coefficient_sets",
       [&] { pde_scheme::create_scheme(grid, two.grids, one.shared, {3, 3}, {false, false}, type::DOUGLAS, false, {}); }},
      {"split_with_fewer_flags",
       [&] { pde_scheme::create_scheme(grid, two.grids, two.shared, {3, 3}, {false}, type::CRAIG_SNEYD, false, {}); }},
      {"split_with_more_widths",
       [&] { pde_scheme::create_scheme(grid, two.grids, two.shared, {3, 3, 3}, {false, false}, type::DOUGLAS, false, {}); }},
      {"correlation_smaller_than_the_dimensions",
       [&] { two.scheme(type::HUNDSDORFER_VERWER, grid, 3, false, matrix<double>{{1.0}}); }},
      {"coefficients_of_another_grid",
       [&] { pde_scheme::create_scheme(grid, one.grids, uncovered.shared, {3}, {false}, type::IMPLICIT, false, {}); }},
      {"split_coefficients_of_another_grid",
       [&] { pde_scheme::create_scheme(grid, one.grids, uncovered.shared, {3}, {false}, type::DOUGLAS, false, {}); }},
      {"grid_of_two_points", [&] { problem({uniform_axis(2, 0.0, 1.0)}).scheme(type::IMPLICIT, grid); }},
      {"descending_grid", [&] { problem({given_axis({0.0, 2.0, 1.0, 3.0})}).scheme(type::DOUGLAS, grid); }},
      {"no_time_grid", [&] { one.scheme(type::IMPLICIT, nullptr); }},
      // 2^16 points on each of four grids: 2^64 nodes, which a size counts as none.
      {"split_grids_of_more_nodes_than_a_size_counts",
       [&] {
         std::vector<double> points(size_t(1) << 16);
         for (size_t i = 0; i < points.size(); ++i) points[i] = double(i);
         const auto wide = given_axis(points);
         const auto none = std::make_shared<const pde_model_coefficients>(std::vector<size_t>{0}, false);
         pde_scheme::create_scheme(grid, {wide, wide, wide, wide}, {none, none, none, none}, {3, 3, 3, 3},
                                   {false, false, false, false}, type::DOUGLAS, false, {});
       }},
  };
  for (const refusal& r : refusals) EXPECT_THROW(r.create(), Error) << r.name;
}

TEST(SchemeFactory, OneDimensionalTypesTakeTheFirstGridOnly) {
  // Three grids of different sizes; the scheme diffuses values over the first, with the first coefficient set.
  problem p({uniform_axis(9, 0.0, 1.0), uniform_axis(4, 0.0, 1.0), uniform_axis(5, 0.0, 1.0)});
  p.coefficients[0] = std::make_shared<pde_model_coefficients>(std::vector<size_t>{9}, false);
  p.shared[0] = p.coefficients[0];
  fill_step(*p.coefficients[0], {0.0, 0.0, -0.5}, 1.0);
  const auto scheme = pde_scheme::create_scheme(equal_steps(1.0, 1), p.grids, p.shared, {3, 7, 0}, {}, type::IMPLICIT,
                                                false, {});
  pde_storage storage(1, 1, {9});
  storage.result().fill(3.0);
  scheme->initialize(1);
  scheme->diffuse(storage, p.ends(), 1.0);
  for (double v : storage.result()) EXPECT_DOUBLE_EQ(v, 3.0 / 1.5);
}

TEST(SchemeDates, NoDateBeforeTheFirstStepThenTheStepsEnds) {
  const problem p({uniform_axis(5, 0.0, 1.0)});
  for (type t : {type::HUNDSDORFER_VERWER, type::CRANK_NICOLSON}) {
    for (bool forward : {false, true}) {
      const auto grid = equal_steps(6.0, 6, forward);
      const auto scheme = p.scheme(t, grid);
      EXPECT_TRUE(std::isnan(scheme->from().serial()));
      EXPECT_TRUE(std::isnan(scheme->to().serial()));
      scheme->initialize(3);
      EXPECT_EQ(scheme->from(), grid->date(3));
      EXPECT_EQ(scheme->to(), grid->date(forward ? 4 : 2));
      // A step that would leave the grid.
      EXPECT_THROW(scheme->initialize(forward ? 6 : 0), Error);
      EXPECT_THROW(scheme->initialize(7), Error);
    }
  }
}

TEST(SchemeTheta, TwoCorrectorThetaSolvesItsEquation) {
  EXPECT_NEAR(details::find_theta(2), 1.0 - 1.0 / sqrt2, 1e-16);
  // theta = d r / 2 with 2 r ((d - r) / (d - 1))^(d - 1) = 1, checked on the defining equation.
  for (size_t d : {3, 4, 6}) {
    const double n = double(d), r = 2.0 * details::find_theta(d) / n;
    EXPECT_GT(r, 0.0);
    EXPECT_LT(r, 0.5);
    EXPECT_NEAR(2.0 * r * std::pow((n - r) / (n - 1.0), n - 1.0), 1.0, 1e-14) << d;
  }
  EXPECT_THROW(details::find_theta(1), Error);
}

TEST(SchemeTheta, ThetaOfEveryVariantAndDimension) {
  struct theta_case {
    type t;
    size_t d;
    double theta;
  };
  const std::vector<theta_case> cases{
      {type::HUNDSDORFER_VERWER, 1, 0.5},
      {type::HUNDSDORFER_VERWER, 2, 0.29289321881345254},
      {type::HUNDSDORFER_VERWER, 3, details::find_theta(3)},
      {type::DOUGLAS, 1, 0.5},
      {type::DOUGLAS, 3, 0.5},
      {type::CRAIG_SNEYD, 2, 0.5},
      {type::MODIFIED_CRAIG_SNEYD, 1, 0.25},
      {type::MODIFIED_CRAIG_SNEYD, 2, 1.0 / 3.0},
      {type::MODIFIED_CRAIG_SNEYD, 3, 0.46153846153846156},
      {type::MODIFIED_CRAIG_SNEYD, 4, 2.0 / (64.0 / 27.0 + 1.0)},
  };
  for (const theta_case& c : cases) {
    const problem p(std::vector<ptr_const<space_grid>>(c.d, uniform_axis(3, 0.0, 1.0)));
    const auto scheme = p.scheme(c.t, equal_steps(1.0, 1));
    const auto* adi = dynamic_cast<const pde_scheme_alternating_direction_implicit*>(scheme.get());
    ASSERT_NE(adi, nullptr);
    // A few ulps: the expected values are written in other orders of operations than the scheme's.
    EXPECT_NEAR(adi->theta(), c.theta, 4e-16) << int(c.t) << " in " << c.d << " dimensions";
  }
}

// With reaction alone every node evolves on its own, by the scheme's amplification of z = R:
// the split schemes take the reaction explicitly with a trapezoidal correction, 1 + z + z^2 / 2; the
// one-dimensional ones their rational functions.
TEST(SchemeReaction, AmplificationPerStepIsTheClosedForm) {
  const double gamma = 1.0 - 1.0 / sqrt2;
  struct amplification_case {
    type t;
    std::function<double(double, bool)> factor;  // of z and the Rannacher flag
  };
  const std::vector<amplification_case> cases{
      {type::HUNDSDORFER_VERWER, [](double z, bool) { return 1.0 + z + 0.5 * z * z; }},
      {type::DOUGLAS, [](double z, bool) { return 1.0 + z + 0.5 * z * z; }},
      {type::CRAIG_SNEYD, [](double z, bool) { return 1.0 + z + 0.5 * z * z; }},
      {type::MODIFIED_CRAIG_SNEYD, [](double z, bool) { return 1.0 + z + 0.5 * z * z; }},
      {type::CRANK_NICOLSON,
       [](double z, bool implicit) { return implicit ? 1.0 / (1.0 - z) : (1.0 + 0.5 * z) / (1.0 - 0.5 * z); }},
      {type::TWO_STAGE_IMPLICIT,
       [gamma](double z, bool) { return ((1.0 + sqrt2) / (1.0 - gamma * z) - sqrt2) / (1.0 - gamma * z); }},
      {type::IMPLICIT, [](double z, bool) { return 1.0 / (1.0 - z); }},
  };
  // Four steps of one day, the last two before day 4 fully implicit.
  const auto grid = rannacher_steps(4.0, 1.0, 2);
  ASSERT_EQ(grid->size(), 6u);  // 0, 1, 2, 3, 3.5, 4
  for (const amplification_case& c : cases) {
    const bool split = int(c.t) <= 3;
    problem p = split ? problem({uniform_axis(6, 0.0, 1.0), uniform_axis(5, 0.0, 1.0)})
                      : problem({uniform_axis(7, 0.0, 1.0)});
    for (bool rescale : {false, true}) {
      const double factor = 0.75;
      const auto scheme = p.scheme(c.t, grid, 3, rescale, split ? matrix<double>{{1.0, 0.3}, {0.3, 1.0}} : matrix<double>{});
      // A reaction per node and dimension, summed over the dimensions.
      auto rate = [](size_t d, size_t node) { return -0.08 * double(d + 1) - 0.01 * double(node % 5); };
      std::vector<double> z(p.coefficients[0]->reaction().size(), 0.0);
      for (size_t d = 0; d < p.coefficients.size(); ++d) {
        for (size_t node = 0; node < z.size(); ++node) z[node] += rate(d, node);
      }
      pde_storage storage(1, 1, p.coefficients[0]->reaction().shape());
      for (size_t node = 0; node < z.size(); ++node) storage.result()[node] = 1.0 + 0.1 * double(node);
      for (size_t step = grid->size() - 1; step > 0; --step) {
        scheme->initialize(step);
        const double dt = scheme->from().serial() - scheme->to().serial();
        for (size_t d = 0; d < p.coefficients.size(); ++d) {
          fill_step(*p.coefficients[d], {}, 1.0);
          for (size_t node = 0; node < z.size(); ++node) p.coefficients[d]->reaction()[node] = rate(d, node) * dt;
        }
        const std::vector<double> before(storage.result().begin(), storage.result().end());
        scheme->diffuse(storage, p.ends(), factor);
        const bool implicit = grid->is_rannacher(step);
        for (size_t node = 0; node < z.size(); ++node) {
          const double expected = before[node] * c.factor(z[node] * dt, implicit) * (rescale ? factor : 1.0);
          EXPECT_NEAR(storage.result()[node], expected, 1e-14 * std::abs(expected))
              << "type " << int(c.t) << " step " << step << " node " << node;
        }
      }
    }
  }
}

TEST(SchemeStorage, ResultsDiffuseIndependentlyAndZeroResultsStayPut) {
  for (type t : {type::MODIFIED_CRAIG_SNEYD, type::TWO_STAGE_IMPLICIT}) {
    const bool split = t == type::MODIFIED_CRAIG_SNEYD;
    problem p = split ? problem({uniform_axis(8, -1.0, 1.0), uniform_axis(6, -1.0, 1.0)})
                      : problem({uniform_axis(11, -1.0, 1.0)});
    const auto grid = equal_steps(1.0, 3);
    const auto scheme = p.scheme(t, grid, 3, true, split ? matrix<double>{{1.0, -0.5}, {-0.5, 1.0}} : matrix<double>{});
    auto fill = [&](double, double) {
      for (size_t d = 0; d < p.coefficients.size(); ++d) fill_step(*p.coefficients[d], {0.02, 0.01, -0.01}, 1.0);
    };
    const size_t nodes = p.coefficients[0]->diffusion().size();
    std::vector<size_t> shape = p.coefficients[0]->diffusion().shape();
    auto start = [&](size_t result, size_t node) { return std::cos(0.3 * double(node) + double(result)); };

    // Three results side by side equal three runs of one result each.
    shape.insert(shape.begin(), 3);
    pde_storage together(1, 3, shape);
    for (size_t r = 0; r < 3; ++r) {
      for (size_t node = 0; node < nodes; ++node) together.result()[r * nodes + node] = start(r, node);
    }
    roll(*scheme, *grid, together, p.ends(), fill, 0.9);
    for (size_t r = 0; r < 3; ++r) {
      pde_storage alone(1, 1, p.coefficients[0]->diffusion().shape());
      for (size_t node = 0; node < nodes; ++node) alone.result()[node] = start(r, node);
      roll(*scheme, *grid, alone, p.ends(), fill, 0.9);
      for (size_t node = 0; node < nodes; ++node) {
        EXPECT_EQ(together.result()[r * nodes + node], alone.result()[node]) << int(t) << " result " << r;
      }
    }

    // No result, or no boundary group: nothing moves, not even by the rescaling.
    for (auto [entries, results] : {std::pair<size_t, size_t>{1, 0}, {0, 1}}) {
      pde_storage idle(entries, results, p.coefficients[0]->diffusion().shape());
      idle.result().fill(2.0);
      roll(*scheme, *grid, idle, p.ends(), fill, 0.5);
      for (double v : idle.result()) EXPECT_EQ(v, 2.0) << int(t);
    }

    // Stored values that do not match the grid.
    pde_storage wrong(1, 2, {nodes + 1});
    scheme->initialize(1);
    EXPECT_THROW(scheme->diffuse(wrong, p.ends(), 1.0), Error) << int(t);
  }
}

TEST(SchemeOneDimension, RefusesFewerBoundaryPairsThanGroups) {
  problem p({uniform_axis(9, 0.0, 1.0)});
  fill_step(*p.coefficients[0], {0.1, 0.0, 0.0}, 1.0);
  const auto scheme = p.scheme(type::IMPLICIT, equal_steps(1.0, 1));
  pde_storage storage(1, 1, {9});
  storage.result().fill(1.0);
  scheme->initialize(1);
  EXPECT_THROW(scheme->diffuse(storage, {}, 1.0), Error);
  EXPECT_THROW(scheme->diffuse(storage, {{nullptr, nullptr}}, 1.0), Error);
  for (double v : storage.result()) EXPECT_EQ(v, 1.0);
}

// Walking forward turns the sign of the convection only: a forward roll with drift c is the backward roll with
// drift -c, diffusion and reaction alike.
TEST(SchemeOneDimension, ForwardGridTurnsTheConvectionOnly) {
  for (type t : {type::CRANK_NICOLSON, type::TWO_STAGE_IMPLICIT, type::IMPLICIT}) {
    for (size_t width : {3, 5}) {
      std::vector<double> results[2];
      for (bool forward : {false, true}) {
        problem p({given_axis({-2.0, -1.4, -1.0, -0.5, -0.2, 0.0, 0.3, 0.7, 1.0, 1.6, 2.0})});
        const auto grid = equal_steps(1.0, 4, forward);
        const auto scheme = p.scheme(t, grid, width);
        pde_storage storage(1, 1, {11});
        for (size_t i = 0; i < 11; ++i) storage.result()[i] = std::exp(-p.grids[0]->axis()[i] * p.grids[0]->axis()[i]);
        const constant_rates rates{0.3, forward ? 0.8 : -0.8, -0.05};
        roll(*scheme, *grid, storage, p.ends(), [&](double from, double to) {
          fill_step(*p.coefficients[0], rates, std::abs(to - from));
        });
        results[forward].assign(storage.result().begin(), storage.result().end());
      }
      for (size_t i = 0; i < 11; ++i) EXPECT_NEAR(results[1][i], results[0][i], 1e-15) << int(t) << " " << width;
    }
  }
}

// Reflecting the second axis turns rho into -rho: the cross stencil mirrors with it, so the solution from the
// reflected start is the reflected solution, for every split scheme and at steps long enough to need it.
TEST(SchemeCrossTerm, ReflectingAnAxisMirrorsTheSolution) {
  for (type t : {type::HUNDSDORFER_VERWER, type::DOUGLAS, type::CRAIG_SNEYD, type::MODIFIED_CRAIG_SNEYD}) {
    std::vector<double> results[2];
    for (bool reflected : {false, true}) {
      problem p({uniform_axis(21, -3.0, 3.0), uniform_axis(17, -2.0, 2.0)});
      const double rho = reflected ? -0.6 : 0.6;
      const auto grid = equal_steps(1.0, 2);
      const auto scheme = p.scheme(t, grid, 3, false, matrix<double>{{1.0, rho}, {rho, 1.0}});
      pde_storage storage(1, 1, {21, 17});
      const std::vector<double> start = on_nodes(p.grids, [&](const std::vector<double>& x) {
        const double y = reflected ? -x[1] : x[1];
        return std::exp(-x[0] * x[0] - 2.0 * y * y + x[0] * y) * (1.0 + 0.3 * y);
      });
      std::copy(start.begin(), start.end(), storage.result().begin());
      roll(*scheme, *grid, storage, p.ends(), [&](double from, double to) {
        const double dt = std::abs(to - from);
        fill_step(*p.coefficients[0], {0.4, 0.1, -0.02}, dt);
        fill_step(*p.coefficients[1], {0.3, 0.0, -0.01}, dt);
      });
      results[reflected].assign(storage.result().begin(), storage.result().end());
    }
    for (size_t i = 0; i < 21; ++i) {
      for (size_t j = 0; j < 17; ++j) {
        // The same sums in another order: rounding apart.
        EXPECT_NEAR(results[1][i * 17 + 16 - j], results[0][i * 17 + j], 1e-15) << int(t) << " " << i << " " << j;
      }
    }
  }
}

// ----- What a model hands over between steps is checked at every step.

// One scheme of every kind on a small problem, stepped once with sound coefficients; `spoil` then changes what the
// model left for the next step.
struct spoiled_case {
  std::string name;
  type t;
  size_t dimensions;
  std::function<void(pde_model_coefficients&)> spoil;
};

// Steps once, spoils the first coefficient set, steps again: the second step is refused with its step named and
// before any value moves.
void expect_second_step_refused(const spoiled_case& c, const std::string& message_part) {
  problem p = c.dimensions == 1 ? problem({uniform_axis(9, -1.0, 1.0)})
                                : problem({uniform_axis(9, -1.0, 1.0), uniform_axis(7, -1.0, 1.0)});
  const auto grid = equal_steps(3.0, 3);
  const auto scheme = p.scheme(c.t, grid, 3, false, c.dimensions == 1 ? matrix<double>{}
                                                                       : matrix<double>{{1.0, 0.4}, {0.4, 1.0}});
  for (auto& coefficients : p.coefficients) fill_step(*coefficients, {0.2, 0.1, -0.05}, 1.0);
  pde_storage storage(1, 1, p.coefficients[0]->diffusion().shape());
  for (size_t i = 0; i < storage.result().size(); ++i) storage.result()[i] = 1.0 + 0.01 * double(i);
  scheme->initialize(3);
  scheme->diffuse(storage, p.ends(), 1.0);
  const std::vector<double> before(storage.result().begin(), storage.result().end());
  c.spoil(*p.coefficients[0]);
  scheme->initialize(2);
  try {
    scheme->diffuse(storage, p.ends(), 1.0);
    ADD_FAILURE() << c.name << ": the step was taken";
  } catch (const Error& error) {
    const std::string what = error.what();
    EXPECT_NE(what.find("step 2 of the time grid"), std::string::npos) << c.name << ": " << what;
    EXPECT_NE(what.find(message_part), std::string::npos) << c.name << ": " << what;
  }
  for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(storage.result()[i], before[i]) << c.name << " node " << i;
}

std::function<void(pde_model_coefficients&)> reshape(tensor<double>& (pde_model_coefficients::*which)(), size_t size) {
  return [which, size](pde_model_coefficients& c) { (c.*which)() = tensor<double>(std::vector<size_t>{size}); };
}

std::function<void(pde_model_coefficients&)> set_at(tensor<double>& (pde_model_coefficients::*which)(), size_t node,
                                                    double value) {
  return [which, node, value](pde_model_coefficients& c) { (c.*which)()[node] = value; };
}

using set = pde_model_coefficients;
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// A model that replaces a tensor by a shorter one would have the rows read past its end.
TEST(SchemeCoefficients, ReshapedBetweenStepsAreRefused) {
  const std::vector<spoiled_case> cases{
      {"crank_nicolson_shorter_diffusion", type::CRANK_NICOLSON, 1, reshape(&set::diffusion, 4)},
      {"two_stage_shorter_convection", type::TWO_STAGE_IMPLICIT, 1, reshape(&set::convection, 8)},
      {"implicit_shorter_reaction", type::IMPLICIT, 1, reshape(&set::reaction, 1)},
      {"implicit_longer_diffusion", type::IMPLICIT, 1, reshape(&set::diffusion, 10)},
      {"douglas_one_dimension_shorter_diffusion", type::DOUGLAS, 1, reshape(&set::diffusion, 3)},
      {"craig_sneyd_shorter_convection", type::CRAIG_SNEYD, 2, reshape(&set::convection, 9)},
      {"hundsdorfer_verwer_shorter_reaction", type::HUNDSDORFER_VERWER, 2, reshape(&set::reaction, 62)},
  };
  for (const spoiled_case& c : cases) expect_second_step_refused(c, "values for");
}

// A coefficient that is not finite would roll the values back to NaN: it is refused, naming the step and the
// coefficient.
TEST(SchemeCoefficients, NonFiniteCoefficientsAreRefusedNamingTheStep) {
  const std::vector<spoiled_case> cases{
      {"hundsdorfer_verwer_one_dimension_infinite_reaction", type::HUNDSDORFER_VERWER, 1,
       set_at(&set::reaction, 4, inf)},
      {"douglas_one_dimension_nan_diffusion", type::DOUGLAS, 1, set_at(&set::diffusion, 3, nan)},
      {"modified_craig_sneyd_nan_convection", type::MODIFIED_CRAIG_SNEYD, 2, set_at(&set::convection, 30, nan)},
      {"craig_sneyd_negative_infinite_diffusion", type::CRAIG_SNEYD, 2, set_at(&set::diffusion, 62, -inf)},
      // The cross term of a negative diffusion would be the root of a negative number.
      {"douglas_negative_diffusion", type::DOUGLAS, 2, set_at(&set::diffusion, 31, -0.2)},
      {"crank_nicolson_infinite_reaction", type::CRANK_NICOLSON, 1, set_at(&set::reaction, 4, inf)},
      {"two_stage_nan_convection", type::TWO_STAGE_IMPLICIT, 1, set_at(&set::convection, 7, nan)},
      {"implicit_infinite_diffusion", type::IMPLICIT, 1, set_at(&set::diffusion, 1, inf)},
      // The end rows read the boundary sets' convection and reaction.
      {"crank_nicolson_infinite_convection_at_the_lower_end", type::CRANK_NICOLSON, 1,
       set_at(&set::convection, 0, inf)},
      {"implicit_nan_reaction_at_the_upper_end", type::IMPLICIT, 1, set_at(&set::reaction, 8, nan)},
  };
  for (const spoiled_case& c : cases) expect_second_step_refused(c, "coefficient at node");
}

// The split operators leave out a convection of 1e6 or more at the ends of the grid, an infinite one too: no row
// reads it, and it is not refused.
TEST(SchemeCoefficients, UnboundedConvectionAtTheEndsIsTaken) {
  problem p({uniform_axis(9, -1.0, 1.0), uniform_axis(7, -1.0, 1.0)});
  for (auto& c : p.coefficients) fill_step(*c, {0.2, 0.1, -0.05}, 1.0);
  for (size_t j = 0; j < 7; ++j) p.coefficients[0]->convection()[8 * 7 + j] = inf;  // the last row of axis 0
  const auto scheme = p.scheme(type::DOUGLAS, equal_steps(1.0, 1));
  pde_storage storage(1, 1, {9, 7});
  storage.result().fill(1.0);
  scheme->initialize(1);
  scheme->diffuse(storage, p.ends(), 1.0);
  for (double v : storage.result()) EXPECT_TRUE(std::isfinite(v));
}

// The cross terms take a correlation matrix: its leading block must be one.
TEST(SchemeCorrelation, OnlyCorrelationMatricesAreTaken) {
  struct correlation_case {
    std::string name;
    size_t dimensions;
    matrix<double> correlation;
  };
  const std::vector<correlation_case> refused{
      {"beyond_one", 2, matrix<double>{{1.0, 5.0}, {5.0, 1.0}}},
      {"nan", 3, matrix<double>{{1.0, 0.2, nan}, {0.2, 1.0, 0.1}, {nan, 0.1, 1.0}}},
      {"asymmetric", 2, matrix<double>{{1.0, 0.3}, {-0.3, 1.0}}},
      {"diagonal_of_one_half", 2, matrix<double>{{0.5, 0.1}, {0.1, 0.5}}},
      {"pairwise_sound_jointly_impossible", 3, matrix<double>{{1.0, 0.9, 0.9}, {0.9, 1.0, -0.9}, {0.9, -0.9, 1.0}}},
      {"larger_with_a_bad_leading_block", 2, matrix<double>{{1.0, 1.5, 0.0}, {1.5, 1.0, 0.0}, {0.0, 0.0, 1.0}}},
  };
  const std::vector<correlation_case> taken{
      {"none", 3, matrix<double>{}},
      {"perfectly_correlated", 2, matrix<double>{{1.0, 1.0}, {1.0, 1.0}}},
      {"opposite", 2, matrix<double>{{1.0, -1.0}, {-1.0, 1.0}}},
      // Only the leading block couples the dimensions.
      {"larger_with_a_sound_leading_block", 2, matrix<double>{{1.0, 0.5, 9.0}, {0.5, 1.0, 9.0}, {7.0, 7.0, 7.0}}},
  };
  for (type t : {type::HUNDSDORFER_VERWER, type::MODIFIED_CRAIG_SNEYD}) {
    for (const correlation_case& c : refused) {
      const problem p(std::vector<ptr_const<space_grid>>(c.dimensions, uniform_axis(4, 0.0, 1.0)));
      EXPECT_THROW(p.scheme(t, equal_steps(1.0, 1), 3, false, c.correlation), Error) << c.name;
    }
    for (const correlation_case& c : taken) {
      const problem p(std::vector<ptr_const<space_grid>>(c.dimensions, uniform_axis(4, 0.0, 1.0)));
      EXPECT_NO_THROW(p.scheme(t, equal_steps(1.0, 1), 3, false, c.correlation)) << c.name;
    }
  }
}

// ----- The one-dimensional scheme keeps its factorised matrix while nothing it is built from changes.

// What a model does to the coefficient sets before step k (counted from the first step walked), and whether the
// boundary sets are a set of their own.
struct refactor_case {
  std::string name;
  std::function<void(pde_model_coefficients& coefficients, pde_model_coefficients& ends, size_t k, double dt)> fill;
  bool rannacher = false;
};

// Every step of a roll gives the bits of a scheme made afresh for that step, which factorises the matrix it builds:
// a factorisation kept across steps is the one a rebuild would give, and one is never kept when it would not be.
TEST(SchemeOneDimension, KeptFactorisationGivesTheBitsOfARebuild) {
  const constant_rates rates{0.04, 0.3, -0.05};
  const std::vector<refactor_case> cases{
      {"constant_coefficients_on_equal_steps",
       [&](pde_model_coefficients& c, pde_model_coefficients& e, size_t, double) {
         fill_step(c, rates, 0.25);
         fill_step(e, rates, 0.25);
       }},
      // Steps of one length with Rannacher steps between: the weights change, the coefficients do not.
      {"rannacher_steps_between_crank_nicolson_steps",
       [&](pde_model_coefficients& c, pde_model_coefficients& e, size_t, double) {
         fill_step(c, rates, 0.25);
         fill_step(e, rates, 0.25);
       },
       true},
      // The coefficients carry the step's length.
      {"unequal_steps", [&](pde_model_coefficients& c, pde_model_coefficients& e, size_t, double dt) {
         fill_step(c, rates, dt);
         fill_step(e, rates, dt);
       }},
      {"one_diffusion_changes_for_one_step",
       [&](pde_model_coefficients& c, pde_model_coefficients& e, size_t k, double) {
         fill_step(c, rates, 0.25);
         fill_step(e, rates, 0.25);
         if (k == 2) c.diffusion()[6] = std::nextafter(c.diffusion()[6], 1.0);
       }},
      {"one_convection_changes_and_stays",
       [&](pde_model_coefficients& c, pde_model_coefficients& e, size_t k, double) {
         fill_step(c, rates, 0.25);
         fill_step(e, rates, 0.25);
         if (k >= 3) c.convection()[3] = -0.5;
       }},
      {"reaction_alternates", [&](pde_model_coefficients& c, pde_model_coefficients& e, size_t k, double) {
         fill_step(c, {0.04, 0.3, k % 2 == 0 ? -0.05 : -0.06}, 0.25);
         fill_step(e, rates, 0.25);
       }},
      // The end rows read the boundary sets alone.
      {"boundary_set_changes_at_the_upper_end",
       [&](pde_model_coefficients& c, pde_model_coefficients& e, size_t k, double) {
         fill_step(c, rates, 0.25);
         fill_step(e, rates, 0.25);
         if (k == 4) e.convection()[e.convection().size() - 1] = 0.9;
       }},
      {"boundary_set_changes_next_to_the_lower_end",
       [&](pde_model_coefficients& c, pde_model_coefficients& e, size_t k, double) {
         fill_step(c, rates, 0.25);
         fill_step(e, rates, 0.25);
         if (k == 1) e.reaction()[1] = -0.3;
       }},
  };
  for (const refactor_case& c : cases) {
    for (type t : {type::CRANK_NICOLSON, type::TWO_STAGE_IMPLICIT, type::IMPLICIT}) {
      for (size_t width : {3, 5}) {
        for (bool uniform : {true, false}) {
          const auto axis = uniform ? uniform_axis(11, -1.0, 1.0)
                                    : given_axis({-1.0, -0.8, -0.55, -0.4, -0.1, 0.0, 0.15, 0.3, 0.6, 0.75, 1.0});
          const auto grid = c.rannacher ? rannacher_steps(2.0, 0.25, 2)
                            : c.name == "unequal_steps"
                                ? given_dates({0.0, 0.1, 0.35, 0.6, 0.7, 1.0, 1.5})
                                : equal_steps(1.5, 6);
          problem kept({axis}), fresh({axis});
          auto kept_ends = std::make_shared<pde_model_coefficients>(std::vector<size_t>{11}, false);
          auto fresh_ends = std::make_shared<pde_model_coefficients>(std::vector<size_t>{11}, false);
          const auto scheme = kept.scheme(t, grid, width);
          pde_storage rolled(1, 2, {2, 11}), reference(1, 2, {2, 11});
          for (size_t i = 0; i < 22; ++i) rolled.result()[i] = reference.result()[i] = std::cos(0.4 * double(i));
          const size_t last = grid->size() - 1;
          for (size_t k = 0; k < last; ++k) {
            const size_t step = last - k;
            const double dt = grid->date(step).serial() - grid->date(step - 1).serial();
            c.fill(*kept.coefficients[0], *kept_ends, k, dt);
            c.fill(*fresh.coefficients[0], *fresh_ends, k, dt);
            scheme->initialize(step);
            scheme->diffuse(rolled, {{kept_ends, kept_ends}}, 1.0);
            const auto afresh = fresh.scheme(t, grid, width);
            afresh->initialize(step);
            afresh->diffuse(reference, {{fresh_ends, fresh_ends}}, 1.0);
            for (size_t i = 0; i < 22; ++i) {
              ASSERT_EQ(rolled.result()[i], reference.result()[i])
                  << c.name << ", type " << int(t) << ", width " << width << (uniform ? " uniform" : " uneven")
                  << ", step " << step << ", value " << i;
            }
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace qavrek
