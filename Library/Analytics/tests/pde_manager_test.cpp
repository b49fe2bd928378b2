// The PDE manager's contract, away from any model: the shapes it gives the coefficients and the instruments, the
// slots of the results, the walk over the time grid, the life-cycle entries, the factors, its refusals and the
// copies it keeps. The coefficients stay zero (no model fills them), so a step moves nothing but the factor.

#include "Analytics/pde_pricing/pde_manager.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "Analytics/diffusion/ir/diffusion_ir_markovian_hjm.h"
#include "Core/error.h"
#include "Core/interruption.h"
#include "pde_manager_test_support.h"
#include "simulation_test_support.h"

namespace qavrek {
namespace {

using namespace pde_test;

datetime day(double d) { return datetime(45000.0 + d); }

// Grid dates 0, 10, ..., 50 with the event dates 0, 30 and 50: grid indices 0, 3 and 5.
ptr_const<time_grid> six_dates(bool forward) {
  return key_dates({day(0), day(30), day(50)}, {day(10), day(20), day(40)}, forward);
}

ptr_const<space_grid> axis(size_t points) {
  std::vector<double> values;
  for (size_t i = 0; i < points; ++i) values.push_back(0.1 * double(i));
  return given_axis(values);
}

// What the diffusions and instruments of a run were handed.
struct run_log {
  std::vector<std::pair<datetime, datetime>> coefficient_dates;
  std::vector<std::vector<size_t>> coefficient_shapes;
  std::vector<datetime> value_dates;
  std::vector<datetime> event_dates;
  std::vector<const life_cycle_data*> lives;
  std::vector<std::vector<size_t>> output_shapes;
  std::vector<const double*> outputs;
  std::vector<size_t> output_sizes;
};

class logging_diffusion final : public pde_only_diffusion {
 public:
  logging_diffusion(const std::vector<datetime>& dates, std::shared_ptr<run_log> log)
      : pde_only_diffusion(dates), log_(std::move(log)) {}
  void coefficients(std::span<const std::shared_ptr<pde_model_coefficients>> coefficients, const datetime& earlier,
                    const datetime& later) const override {
    log_->coefficient_dates.emplace_back(earlier, later);
    log_->coefficient_shapes.clear();
    for (const auto& set : coefficients) log_->coefficient_shapes.push_back(set->diffusion().shape());
  }

 private:
  std::shared_ptr<run_log> log_;
};

// Writes `first`, `first` + 1, ... into its results at `date` and logs what it is handed.
class logging_instrument final : public instrument {
 public:
  logging_instrument(size_t size, double first, datetime date, std::shared_ptr<run_log> log)
      : size_(size), first_(first), date_(date), log_(std::move(log)) {}
  void value(const datetime& date, const std::vector<ptr_const<market_data>>&, tensor<double>& output) const override {
    log_->value_dates.push_back(date);
    log_->output_shapes.push_back(output.shape());
    log_->outputs.push_back(output.data());
    log_->output_sizes.push_back(output.size());
    if (!(date == date_) || size_ == 0) return;
    const size_t nodes = output.size() / size_;
    for (size_t r = 0; r < size_; ++r)
      for (size_t p = 0; p < nodes; ++p) output[r * nodes + p] = first_ + double(r);
  }
  void value_american_events(const datetime& date, const std::vector<ptr_const<market_data>>&, life_cycle_data* life,
                             tensor<double>&) const override {
    log_->event_dates.push_back(date);
    log_->lives.push_back(life);
  }
  size_t size() const override { return size_; }

 private:
  size_t size_;
  double first_;
  datetime date_;
  std::shared_ptr<run_log> log_;
};

class test_life final : public life_cycle_data {};

struct logged_run {
  std::shared_ptr<run_log> log = std::make_shared<run_log>();
  ptr_const<time_grid> grid;
  std::vector<ptr_const<space_grid>> grids;

  pde_manager manager(pde_scheme_type type = pde_scheme_type::CRANK_NICOLSON, bool rescale = false,
                      std::vector<size_t> pv_indices = {2}) const {
    const size_t d = grids.size();
    return pde_manager({std::make_shared<const logging_diffusion>(grid->dates(), log)}, grid, pv_indices, grids,
                       std::vector<size_t>(d, 3), std::vector<bool>(d, false), type, rescale, matrix<double>());
  }
  ptr_const<instrument> instrument_of(size_t size, double first) const {
    const datetime start = grid->is_direction_forward() ? grid->dates().front() : grid->dates().back();
    return std::make_shared<const logging_instrument>(size, first, start, log);
  }
  std::vector<double> ones() const { return std::vector<double>(grid->size(), 1.0); }
};

// The engine's order: grid 0 first and outermost, in the dimensions, the coefficient sets and every instrument's
// values (the number of values first when there are several).
TEST(PdeManager, DimensionsAndShapesFollowTheGridsInOrder) {
  logged_run run{.grid = six_dates(false), .grids = {axis(5), axis(7)}};
  pde_manager manager = run.manager(pde_scheme_type::HUNDSDORFER_VERWER, false, {1, 2});
  EXPECT_EQ(manager.dimensions(), (std::vector<size_t>{5, 7}));
  EXPECT_EQ(manager.dates(), run.grid->dates());
  EXPECT_EQ(manager.size(), 0u);
  manager.run({run.instrument_of(1, 1.0), run.instrument_of(2, 2.0)}, run.ones(), {});
  EXPECT_EQ(manager.size(), 3u);
  EXPECT_EQ(run.log->coefficient_shapes, (std::vector<std::vector<size_t>>{{5, 7}, {5, 7}}));
  ASSERT_GE(run.log->output_shapes.size(), 2u);
  EXPECT_EQ(run.log->output_shapes[0], (std::vector<size_t>{5, 7}));
  EXPECT_EQ(run.log->output_shapes[1], (std::vector<size_t>{2, 5, 7}));
  // The pv indices {1, 2} are point 1 of grid 0 and point 2 of grid 1: node 1 x 7 + 2 of values numbered by node.
  const auto numbered = std::make_shared<const grid_instrument>(1, pay_at(run.grid->dates().back(), [] {
    std::vector<double> nodes(5 * 7);
    std::iota(nodes.begin(), nodes.end(), 0.0);
    return nodes;
  }));
  manager.run({numbered}, run.ones(), {});
  double value = 0.0;
  manager.pv(&value);
  EXPECT_EQ(value, 9.0);
}

// Instrument i's values are results s_i .. s_i + size - 1, s_i the sizes before it; pv reads one number per result.
TEST(PdeManager, ResultSlotsFollowTheInstrumentSizes) {
  struct slots_case {
    std::string name;
    std::vector<size_t> sizes;
    std::vector<double> expected;
  };
  const std::vector<slots_case> cases{
      {"one", {1}, {1.0}},
      {"one and one", {1, 1}, {1.0, 10.0}},
      {"two and one", {2, 1}, {1.0, 2.0, 10.0}},
      // An instrument without values takes no slot and is handed an empty view.
      {"none and one", {0, 1}, {10.0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    logged_run run{.grid = six_dates(false), .grids = {axis(4)}};
    pde_manager manager = run.manager();
    std::vector<ptr_const<instrument>> instruments;
    for (size_t i = 0; i < c.sizes.size(); ++i) instruments.push_back(run.instrument_of(c.sizes[i], 1.0 + 9.0 * i));
    manager.run(instruments, run.ones(), {});
    ASSERT_EQ(manager.size(), c.expected.size());
    std::vector<double> values(manager.size());
    manager.pv(values.data());
    EXPECT_EQ(values, c.expected);
    // The second instrument's values start after the first one's results of four nodes each.
    if (c.sizes.size() == 2) {
      EXPECT_EQ(run.log->outputs[1], run.log->outputs[0] + 4 * c.sizes[0]);
      EXPECT_EQ(run.log->output_sizes[0], 4 * c.sizes[0]);
    }
  }
}

// Event-date indices {0, 3, 5}: backward, k = 5, 4 then 3, 2, 1; forward, k = 0 .. 4. The diffusions get the
// step's dates in time order, the instruments its start date to value and its end date for their events.
TEST(PdeManager, WalksTheEventIntervalsInTheGridsDirection) {
  for (bool forward : {false, true}) {
    SCOPED_TRACE(forward ? "forward" : "backward");
    logged_run run{.grid = six_dates(forward), .grids = {axis(4)}};
    pde_manager manager = run.manager();
    manager.run({run.instrument_of(1, 1.0)}, run.ones(), {});
    const std::vector<size_t> steps = forward ? std::vector<size_t>{0, 1, 2, 3, 4} : std::vector<size_t>{5, 4, 3, 2, 1};
    ASSERT_EQ(run.log->coefficient_dates.size(), steps.size());
    for (size_t s = 0; s < steps.size(); ++s) {
      const size_t k = steps[s];
      const size_t other = forward ? k + 1 : k - 1;
      const auto [earlier, later] = run.log->coefficient_dates[s];
      EXPECT_EQ(earlier, run.grid->date(std::min(k, other))) << s;
      EXPECT_EQ(later, run.grid->date(std::max(k, other))) << s;
      EXPECT_EQ(run.log->value_dates[s], run.grid->date(k)) << s;
      EXPECT_EQ(run.log->event_dates[s], run.grid->date(other)) << s;
    }
  }
}

TEST(PdeManager, EventsReceiveTheInstrumentsLifeCycleOrNull) {
  logged_run run{.grid = six_dates(false), .grids = {axis(4)}};
  pde_manager manager = run.manager();
  const std::vector<ptr_const<instrument>> instruments{run.instrument_of(1, 1.0), run.instrument_of(2, 2.0)};
  manager.run(instruments, run.ones(), {});
  for (const life_cycle_data* life : run.log->lives) EXPECT_EQ(life, nullptr);

  run.log->lives.clear();
  const std::vector<ptr_mutable<life_cycle_data>> lives{std::make_shared<test_life>(), std::make_shared<test_life>()};
  manager.run(instruments, run.ones(), lives);
  ASSERT_EQ(run.log->lives.size(), 10u);  // five steps, two instruments
  for (size_t call = 0; call < run.log->lives.size(); ++call) EXPECT_EQ(run.log->lives[call], lives[call % 2].get());
}

// With the rescale option the step multiplies by the factor of its later date: factors 1 .. 5 in both directions,
// never factor 0 (7), whichever date the step starts from.
TEST(PdeManager, EachStepTakesTheFactorOfItsLaterDate) {
  const std::vector<double> factors{7.0, 2.0, 3.0, 5.0, 11.0, 13.0};
  for (bool forward : {false, true}) {
    SCOPED_TRACE(forward ? "forward" : "backward");
    logged_run run{.grid = six_dates(forward), .grids = {axis(4)}};
    pde_manager manager = run.manager(pde_scheme_type::CRANK_NICOLSON, true);
    manager.run({run.instrument_of(1, 1.0)}, factors, {});
    double value = 0.0;
    manager.pv(&value);
    // Walking forward pv sums the four nodes, each worth 1 at the start.
    EXPECT_DOUBLE_EQ(value, (forward ? 4.0 : 1.0) * 2.0 * 3.0 * 5.0 * 11.0 * 13.0);
  }
}

TEST(PdeManager, RefusesRunsAndReadingsItCannotServe) {
  logged_run run{.grid = six_dates(false), .grids = {axis(4)}};
  pde_manager manager = run.manager();
  double value = 0.0;
  EXPECT_FALSE(manager.has_results());
  EXPECT_THROW(manager.pv(&value), Error);  // no run yet
  const auto one = run.instrument_of(1, 1.0);
  EXPECT_THROW(manager.run({one}, std::vector<double>(5, 1.0), {}), Error);  // a factor short
  EXPECT_THROW(manager.run({one}, run.ones(), {std::make_shared<test_life>(), std::make_shared<test_life>()}), Error);
  EXPECT_THROW(manager.run({one, nullptr}, run.ones(), {}), Error);
  EXPECT_THROW(manager.pv(&value), Error);  // the refused runs left no results
  EXPECT_FALSE(manager.has_results());

  // pv indices beyond the grid's dimensions, or outside a dimension.
  for (const std::vector<size_t>& indices : {std::vector<size_t>{1, 0}, std::vector<size_t>{4}}) {
    pde_manager wrong = run.manager(pde_scheme_type::CRANK_NICOLSON, false, indices);
    wrong.run({one}, run.ones(), {});
    EXPECT_THROW(wrong.pv(&value), Error);
  }
  EXPECT_THROW(pde_manager({nullptr}, run.grid, {0}, run.grids, {3}, {false}, pde_scheme_type::CRANK_NICOLSON, false,
                           matrix<double>()),
               Error);
  EXPECT_THROW(
      pde_manager({}, run.grid, {0}, {}, {3}, {false}, pde_scheme_type::CRANK_NICOLSON, false, matrix<double>()),
      Error);
  EXPECT_THROW(
      pde_manager({}, run.grid, {0}, {nullptr}, {3}, {false}, pde_scheme_type::CRANK_NICOLSON, false, matrix<double>()),
      Error);
}

// A caller that stops the run is heard before each step: the steps done stay done, as their partial results.
TEST(PdeManager, AnInterruptionStopsTheRunBeforeAStep) {
  struct stop_at_third_step final : interruption::check {
    int points = 0;
    void operator()() override {
      if (++points == 3) throw interrupted();
    }
  } stop;
  logged_run run{.grid = six_dates(false), .grids = {axis(4)}};
  pde_manager manager = run.manager();
  {
    const interruption::scope installed(stop);
    EXPECT_THROW(manager.run({run.instrument_of(1, 1.0)}, run.ones(), {}), interrupted);
  }
  EXPECT_EQ(run.log->coefficient_dates.size(), 2u);
  EXPECT_TRUE(manager.has_results());
  manager.run({run.instrument_of(1, 1.0)}, run.ones(), {});
  EXPECT_EQ(run.log->coefficient_dates.size(), 2u + 5u);
}

// Many instruments or results make a step long: the caller is heard every 1024 instruments as they write their
// values, and every 1024 results within the solves, before the step's events.
TEST(PdeManager, AnInterruptionIsHeardWithinAStepOfManyInstrumentsOrResults) {
  struct stop_at_second_look final : interruption::check {
    int points = 0;
    void operator()() override {
      if (++points == 2) throw interrupted();
    }
  };
  struct stop_case {
    const char* label;
    size_t instruments;
    size_t results_each;
    size_t values_written;
    size_t coefficient_steps;
  };
  for (const stop_case& item : {stop_case{"many instruments, heard as they write", 3000, 1, 1023, 0},
                                stop_case{"one instrument of many results, heard in the solves", 1, 3000, 1, 1}}) {
    SCOPED_TRACE(item.label);
    logged_run run{.grid = six_dates(false), .grids = {axis(4)}};
    pde_manager manager = run.manager();
    const std::vector<ptr_const<instrument>> instruments(item.instruments, run.instrument_of(item.results_each, 1.0));
    stop_at_second_look stop;
    {
      const interruption::scope installed(stop);
      EXPECT_THROW(manager.run(instruments, run.ones(), {}), interrupted);
    }
    EXPECT_EQ(run.log->value_dates.size(), item.values_written);
    EXPECT_EQ(run.log->coefficient_dates.size(), item.coefficient_steps);
    EXPECT_TRUE(run.log->event_dates.empty());
    manager.run(instruments, run.ones(), {});
    EXPECT_EQ(run.log->event_dates.size(), 5 * item.instruments);
  }
}

// No diffusion of the library gives PDE coefficients: the first step fails after the instruments wrote their values.
TEST(PdeManager, ALibraryDiffusionStopsTheRunAtItsFirstStep) {
  const simulation_test::four_month_market market;
  const auto parameter = std::make_shared<const parameter_markovian_hjm>(
      matrix<double>{{0.05}}, matrix<double>{{0.01}}, matrix<double>{{1.0}}, std::vector{datetime(2030, 1, 15)},
      std::vector{datetime(2030, 1, 15)}, std::make_shared<const day_count_convention>(),
      parameter_markovian_hjm_type::HULL_WHITE);
  const auto rate = std::make_shared<const diffusion_ir_markovian_hjm>(market.dates, market.rates, parameter);
  const auto grid = key_dates({market.dates.front(), market.dates.back()}, market.dates, false);
  pde_manager manager({rate}, grid, {1}, {axis(3)}, {3}, {false}, pde_scheme_type::CRANK_NICOLSON, false,
                      matrix<double>());
  const auto payoff = std::make_shared<const grid_instrument>(1, pay_at(market.dates.back(), [] {
                                                                return std::vector<double>{4.0, 5.0, 6.0};
                                                              }));
  simulation_test::expect_not_implemented({{"run",
                                            [&] { manager.run({payoff}, std::vector<double>(grid->size(), 1.0), {}); },
                                            {"coefficients", "Library/Analytics/diffusion/common/diffusion", 52},
                                            "coefficients function not implemented!"}});
  double value = 0.0;
  manager.pv(&value);
  EXPECT_EQ(value, 5.0);
}

// The manager keeps what it is built from: built from temporaries that are gone when it runs, it runs as one built
// from lasting values, and a copy runs on its own.
TEST(PdeManager, KeepsItsOwnCopiesOfWhatItIsBuiltFrom) {
  const auto log = std::make_shared<run_log>();
  const auto grid = six_dates(false);
  const auto build = [&] {
    std::vector<ptr_const<diffusion>> diffusions{std::make_shared<const logging_diffusion>(grid->dates(), log)};
    std::vector<size_t> pv_indices{3};
    matrix<double> correlation{{1.0}};
    return pde_manager(diffusions, grid, pv_indices, {axis(5)}, {3}, {false}, pde_scheme_type::CRANK_NICOLSON, true,
                       correlation);
  };
  pde_manager manager = build();
  // Memory the temporaries held is written over.
  std::vector<std::vector<size_t>> clutter(64, std::vector<size_t>(3, 999));
  const auto payoff = std::make_shared<const grid_instrument>(1, pay_at(grid->dates().back(), [] {
                                                                return std::vector<double>{1.0, 2.0, 3.0, 4.0, 5.0};
                                                              }));
  manager.run({payoff}, std::vector<double>(grid->size(), 0.5), {});
  double value = 0.0;
  manager.pv(&value);
  EXPECT_DOUBLE_EQ(value, 4.0 / 32.0);
  EXPECT_EQ(log->coefficient_dates.size(), 5u);

  pde_manager copy = manager;
  copy.run({payoff}, std::vector<double>(grid->size(), 1.0), {});
  copy.pv(&value);
  EXPECT_DOUBLE_EQ(value, 4.0);
  EXPECT_EQ(copy.dimensions(), manager.dimensions());
}

}  // namespace
}  // namespace qavrek
