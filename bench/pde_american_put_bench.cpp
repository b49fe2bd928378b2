// An American put through the one-dimensional scheme, side by side with QuantLib's FdBlackScholesVanillaEngine in
// one process, each refined until its price is within a relative 1e-5 of the exact one. Rates are prices per second;
// after the runs the program prints the grids each engine needed, their errors and the ratio of the rates.
//
// Spot and strike 100, rate 5%, no dividend, volatility 20%, one year. Both engines exercise after each step, which
// costs them an error of first order in the step (some 2e-4 at 3,200 steps): both are extrapolated in time the same
// way, twice the price with 2m steps less the price with m. The refinement is searched before the runs, outside the
// timing: each engine takes the pair (points n, steps m) of least work n m whose error meets the goal, and still
// meets it refined twice further, over n on a ladder of ratio sqrt 2 and m = n / 16, n / 8 or n / 4 (QuantLib also
// with 0, 2 or 4 damping steps, its best).
//
// - scheme: CRANK_NICOLSON on a log-spot grid concentrated at the strike by a sinh map (the spot a node), after
//   four fully implicit half steps, the payoff averaged over the cell of the strike; the equal steps leave each
//   scheme's matrix unchanged, so a roll factorises twice (implicit and Crank-Nicolson);
// - quantlib: the engine with its own mesh (concentrated at the strike) and its Douglas scheme.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <ql/exercise.hpp>
#include <ql/instruments/vanillaoption.hpp>
#include <ql/pricingengines/vanilla/fdblackscholesvanillaengine.hpp>
#include <ql/processes/blackscholesprocess.hpp>
#include <ql/quotes/simplequote.hpp>
#include <ql/settings.hpp>
#include <ql/termstructures/volatility/equityfx/blackconstantvol.hpp>
#include <ql/termstructures/yield/flatforward.hpp>
#include <ql/time/calendars/nullcalendar.hpp>
#include <ql/time/daycounters/actual365fixed.hpp>

#include "PDE/grid/space_grid.h"
#include "PDE/grid/time_grid.h"
#include "PDE/scheme/pde_model_coefficients.h"
#include "PDE/scheme/pde_scheme.h"
#include "PDE/scheme/pde_storage.h"
#include "rate_reporter.h"

namespace {

using namespace qavrek;
namespace ql = QuantLib;

constexpr double spot = 100.0, strike = 100.0, rate = 0.05, volatility = 0.2, maturity = 1.0;
// The exact price: Leisen-Reimer trees of 10,001 to 40,001 steps extrapolated in the number of steps, and this
// scheme on 1,601 to 12,801 points extrapolated in time, agree on 6.0903705-6.0903712.
constexpr double exact = 6.090371;
constexpr double goal = 1e-5;

// Twice the price with 2m steps less the price with m.
template <typename Price>
double extrapolated(const Price& price, size_t steps) {
  return 2.0 * price(2 * steps) - price(steps);
}

// ----- The scheme.

class scheme_put {
 public:
  static constexpr size_t implicit_steps = 4;

  explicit scheme_put(size_t points) {
    // Log-spot points from the sinh map x = k + w sinh(u), u uniform, w half the year's deviation: a spacing about
    // 5 times finer at the strike than at the ends, 5.5 deviations away.
    const double k = std::log(strike), deviation = volatility * std::sqrt(maturity), width = 0.5 * deviation;
    const double u0 = std::asinh(-5.5 * deviation / width), u1 = -u0;
    std::vector<double> x(points);
    for (size_t i = 0; i < points; ++i) x[i] = k + width * std::sinh(u0 + (u1 - u0) * double(i) / double(points - 1));
    spot_node_ = size_t(std::min_element(x.begin(), x.end(), [](double a, double b) {
                          return std::abs(a - std::log(spot)) < std::abs(b - std::log(spot));
                        }) - x.begin());
    x[spot_node_] = std::log(spot);
    const space_grid_config given(space_grid_type::GIVEN_POINTS, false, false, transformation_type::NONE, 0.0, 0.0,
                                  0.0);
    axis_ = std::make_shared<const space_grid>(given, 0, 0.0, 0.0, 0.0, x);
    intrinsic_.resize(points);
    payoff_.resize(points);
    for (size_t i = 0; i < points; ++i) {
      intrinsic_[i] = std::max(strike - std::exp(x[i]), 0.0);
      // The cell of the strike holds the payoff's average over it.
      const double left = i == 0 ? x[0] : 0.5 * (x[i - 1] + x[i]);
      const double right = i + 1 == points ? x[i] : 0.5 * (x[i] + x[i + 1]);
      payoff_[i] = right <= k || left >= k ? intrinsic_[i]
                                           : (strike * (k - left) - (strike - std::exp(left))) / (right - left);
    }
  }

  // One roll over `steps` equal steps, counted in units of maturity / steps so that every step has the same length
  // to the bit; the last two units before expiry are taken in four fully implicit half steps (by a second scheme
  // on the same grid and coefficients), which damp the kink of the payoff.
  double value(size_t steps) const {
    const size_t n = axis_->size();
    std::vector<datetime> dates;
    for (size_t i = 1; i < steps; ++i) dates.emplace_back(double(i));
    for (size_t j = 1; j < implicit_steps; ++j) dates.emplace_back(double(steps) - 0.5 * double(j));
    const time_grid_config config(time_grid_config::time_grid_type::KEY_DATES,
                                  time_grid_config::time_grid_direction_type::BACKWARD, false, 0.0, 0, 0.0);
    const auto grid = std::make_shared<const time_grid>(config, datetime(0.0), datetime(double(steps)),
                                                        std::vector<datetime>{}, dates);
    const auto coefficients = std::make_shared<pde_model_coefficients>(std::vector<size_t>{n}, false);
    auto scheme_of = [&](pde_scheme_type type) {
      return pde_scheme::create_scheme(grid, {axis_}, {coefficients}, {3}, {false}, type, false, matrix<double>());
    };
    const auto crank_nicolson = scheme_of(pde_scheme_type::CRANK_NICOLSON);
    const auto implicit = scheme_of(pde_scheme_type::IMPLICIT);
    const boundary_coefficients ends{{coefficients, coefficients}};
    pde_storage storage(1, 1, {n});
    double* values = storage.result().data();
    std::copy(payoff_.begin(), payoff_.end(), values);
    const double unit = maturity / double(steps), variance = volatility * volatility;
    const size_t last = grid->size() - 1;
    for (size_t k = last; k > 0; --k) {
      pde_scheme& scheme = last - k < implicit_steps ? *implicit : *crank_nicolson;
      scheme.initialize(k);
      const double dt = (scheme.from().serial() - scheme.to().serial()) * unit;
      coefficients->diffusion().fill(0.5 * variance * dt);
      coefficients->convection().fill((rate - 0.5 * variance) * dt);
      coefficients->reaction().fill(-rate * dt);
      scheme.diffuse(storage, ends, 1.0);
      for (size_t i = 0; i < n; ++i) values[i] = std::max(values[i], intrinsic_[i]);
    }
    return values[spot_node_];
  }

  double price(size_t steps) const {
    return extrapolated([this](size_t m) { return value(m); }, steps);
  }

 private:
  ptr_const<space_grid> axis_;
  size_t spot_node_ = 0;
  std::vector<double> payoff_;
  std::vector<double> intrinsic_;
};

// ----- QuantLib.

class quantlib_put {
 public:
  quantlib_put() {
    ql::Settings::instance().evaluationDate() = today_;
    const ql::DayCounter days = ql::Actual365Fixed();
    process_ = ql::ext::make_shared<ql::BlackScholesMertonProcess>(
        ql::Handle<ql::Quote>(ql::ext::make_shared<ql::SimpleQuote>(spot)),
        ql::Handle<ql::YieldTermStructure>(ql::ext::make_shared<ql::FlatForward>(today_, 0.0, days)),
        ql::Handle<ql::YieldTermStructure>(ql::ext::make_shared<ql::FlatForward>(today_, rate, days)),
        ql::Handle<ql::BlackVolTermStructure>(
            ql::ext::make_shared<ql::BlackConstantVol>(today_, ql::NullCalendar(), volatility, days)));
  }

  double value(size_t points, size_t steps, size_t damping) const {
    ql::VanillaOption option(ql::ext::make_shared<ql::PlainVanillaPayoff>(ql::Option::Put, strike),
                             ql::ext::make_shared<ql::AmericanExercise>(today_, today_ + 365));
    option.setPricingEngine(ql::ext::make_shared<ql::FdBlackScholesVanillaEngine>(process_, steps, points, damping));
    return option.NPV();
  }

  double price(size_t points, size_t steps, size_t damping) const {
    return extrapolated([&](size_t m) { return value(points, m, damping); }, steps);
  }

 private:
  ql::Date today_{2, ql::January, 2023};
  ql::ext::shared_ptr<ql::GeneralizedBlackScholesProcess> process_;
};

// ----- The refinement, searched once.

struct refinement {
  size_t points = 0, steps = 0, damping = 0;
  double error = 0.0;
};

// The pair of least work n m whose error `error(n, m, damping)` meets the goal and still meets it two rungs further
// up the ladder (n and m times sqrt 2 and 2, the same damping): an error that crosses zero can be small by chance.
template <typename Error>
refinement refine(const Error& error, const std::vector<size_t>& dampings) {
  constexpr size_t further = 2;
  std::vector<size_t> ladder;
  for (double n = 100.0; n < 20000.0; n *= std::sqrt(2.0)) ladder.push_back(size_t(n) | 1);  // odd: a middle node
  refinement best;
  for (size_t rung = 0; rung + further < ladder.size(); ++rung) {
    const size_t n = ladder[rung];
    if (best.points != 0 && double(n) * double(n) / 16.0 >= double(best.points) * double(best.steps)) break;
    for (size_t divisor : {16, 8, 4}) {
      auto steps = [divisor](size_t points) { return std::max<size_t>(points / divisor, 8); };
      if (best.points != 0 && n * steps(n) >= best.points * best.steps) continue;
      for (size_t damping : dampings) {
        const double e = error(n, steps(n), damping);
        bool kept = std::abs(e) <= goal;
        for (size_t up = 1; kept && up <= further; ++up) {
          kept = std::abs(error(ladder[rung + up], steps(ladder[rung + up]), damping)) <= goal;
        }
        if (kept) best = {n, steps(n), damping, e};
      }
    }
  }
  return best;
}

const refinement& scheme_refinement() {
  static const refinement found =
      refine([](size_t n, size_t m, size_t) { return scheme_put(n).price(m) / exact - 1.0; }, {0});
  return found;
}

const refinement& quantlib_refinement() {
  static const refinement found = refine(
      [](size_t n, size_t m, size_t damping) { return quantlib_put().price(n, m, damping) / exact - 1.0; },
      {0, 2, 4});
  return found;
}

void report_prices(benchmark::State& state) {
  state.counters["prices/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

// The whole price: grid, scheme and both rolls.
void scheme(benchmark::State& state) {
  const refinement& r = scheme_refinement();
  for (auto _ : state) benchmark::DoNotOptimize(scheme_put(r.points).price(r.steps));
  report_prices(state);
}

void quantlib(benchmark::State& state) {
  const refinement& r = quantlib_refinement();
  const quantlib_put put;
  for (auto _ : state) benchmark::DoNotOptimize(put.price(r.points, r.steps, r.damping));
  report_prices(state);
}

BENCHMARK(scheme)->Unit(benchmark::kMillisecond);
BENCHMARK(quantlib)->Unit(benchmark::kMillisecond);

void print_ratios(const bench::rate_reporter& report) {
  const refinement &ours = scheme_refinement(), &theirs = quantlib_refinement();
  std::printf("\nRefined to a relative error of %.0e (exact %.6f):\n", goal, exact);
  std::printf("  scheme:   %zu points, %zu and %zu steps, error %.2e\n", ours.points, ours.steps, 2 * ours.steps,
              ours.error);
  std::printf("  quantlib: %zu points, %zu and %zu steps, %zu damping steps, error %.2e\n", theirs.points,
              theirs.steps, 2 * theirs.steps, theirs.damping, theirs.error);
  std::printf("Ratio of price rates:\n");
  report.print_ratio("scheme / quantlib", "scheme", "quantlib", "", "at least 2");
}

}  // namespace

int main(int argc, char** argv) {
  bench::rate_reporter reporter("prices/s", print_ratios);
  return bench::run_benchmarks(argc, argv, reporter);
}
