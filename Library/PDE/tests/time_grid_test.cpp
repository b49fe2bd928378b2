#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "Core/error.h"
#include "PDE/grid/time_grid.h"
#include "Util/datetime_helper.h"

namespace qavrek {
namespace {

using grid_type = time_grid_config::time_grid_type;
using direction = time_grid_config::time_grid_direction_type;

std::vector<datetime> days(const std::vector<double>& serials) {
  std::vector<datetime> dates;
  for (double s : serials) dates.emplace_back(s);
  return dates;
}

std::vector<double> serials(const std::vector<datetime>& dates) {
  std::vector<double> result;
  for (const datetime& d : dates) result.push_back(d.serial());
  return result;
}

TEST(TimeGridConfig, KeepsItsSixValues) {
  const time_grid_config config(grid_type::RANNACHER, direction::FORWARD, true, 30.0, 10, 1.0);
  EXPECT_EQ(config.type(), grid_type::RANNACHER);
  EXPECT_EQ(config.direction(), direction::FORWARD);
  EXPECT_TRUE(config.round_to_days());
  EXPECT_EQ(config.coarse_step(), 30.0);
  EXPECT_EQ(config.fine_steps(), 10u);
  EXPECT_EQ(config.fine_step(), 1.0);
}

// Ten daily steps, then a year cut into twelve months again from day 0, rounded up to whole days.
TEST(TimeGrid, YearWithTenFineDaysAndMonthlySteps) {
  const time_grid_config config(grid_type::STEPPED, direction::BACKWARD, true, 30.0, 10, 1.0);
  const time_grid grid(config, datetime(0.0), datetime(365.0), {}, {});
  const std::vector<double> expected{0,  1,  2,   3,   4,   5,   6,   7,   8,   9,   10,  31,
                                     61, 92, 122, 153, 183, 213, 244, 274, 305, 335, 365};
  EXPECT_EQ(serials(grid.dates()), expected);
  EXPECT_EQ(grid.size(), expected.size());
  EXPECT_FALSE(grid.is_direction_forward());
  EXPECT_FALSE(grid.is_rannacher(0));
  EXPECT_EQ(grid.day_convention()->type(), day_count_convention_type::ACT_365F);
}

struct grid_case {
  std::string name;
  time_grid_config config;
  double from, to;
  std::vector<double> events, extras;
  std::vector<double> expected;
  std::vector<bool> flags;  // empty: no Rannacher date anywhere
};

void PrintTo(const grid_case& c, std::ostream* out) { *out << c.name; }

class TimeGridTable : public ::testing::TestWithParam<grid_case> {};

TEST_P(TimeGridTable, BuildsTheExpectedDates) {
  const grid_case& c = GetParam();
  const time_grid grid(c.config, datetime(c.from), datetime(c.to), days(c.events), days(c.extras));
  const std::vector<double> dates = serials(grid.dates());
  ASSERT_EQ(dates.size(), c.expected.size());
  for (size_t i = 0; i < dates.size(); ++i) {
    // Sub-dates add a step a few times over, each addition rounding at day numbers below 1000.
    EXPECT_NEAR(dates[i], c.expected[i], 1e-12) << i;
  }
  for (size_t i = 0; i < grid.size(); ++i) {
    EXPECT_EQ(grid.is_rannacher(i), !c.flags.empty() && c.flags[i]) << i;
    EXPECT_EQ(grid.date(i), grid.dates()[i]);
  }
  // Every event date sits at its index, in the caller's order.
  ASSERT_EQ(grid.event_dates_size(), c.events.size());
  EXPECT_EQ(serials(grid.event_dates()), c.events);
  for (size_t e = 0; e < c.events.size(); ++e) EXPECT_EQ(grid.date(grid.event_dates_indexs(e)).serial(), c.events[e]);
  EXPECT_EQ(grid.is_direction_forward(), c.config.direction() == direction::FORWARD);
}

time_grid_config stepped(double coarse, size_t fine_steps, double fine, bool round = false) {
  return time_grid_config(grid_type::STEPPED, direction::BACKWARD, round, coarse, fine_steps, fine);
}

time_grid_config rannacher(direction walk, double coarse, size_t fine_steps, double fine) {
  return time_grid_config(grid_type::RANNACHER, walk, false, coarse, fine_steps, fine);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TimeGridTable,
    ::testing::Values(
        // K[1] = 5 lies inside the fine region (it ends at day 10): no fine loop; the gap to 5 is cut with the fine
        // step, the gap to 100 with the coarse one.
        grid_case{"fine_region_past_the_second_key_date", stepped(30.0, 10, 1.0), 0.0, 100.0, {}, {5.0},
                  {0, 1, 2, 3, 4, 5, 5 + 95.0 / 3.0, 5 + 2.0 * 95.0 / 3.0, 100}, {}},
        // The fine region stops at day 2.5; the gap to 40 holds a single coarse step: no sub-date, but the key dates
        // stay in the grid.
        grid_case{"gap_of_fewer_than_two_steps", stepped(30.0, 5, 0.5), 0.0, 40.0, {}, {}, {0, 0.5, 1, 1.5, 2, 2.5, 40},
                  {}},
        // The gap to 2.25 is two steps: 1.125 rounds up to 2 and the key date itself to 3, and the fractional key
        // dates stay beside them. The last gap is a single step.
        grid_case{"rounded_steps_keep_fractional_key_dates", stepped(1.0, 0, 0.0, true), 0.0, 3.5, {2.25}, {},
                  {0, 2, 2.25, 3, 3.5}, {}},
        grid_case{"both_steps_zero", stepped(0.0, 10, 0.0), 3.0, 10.0, {10.0, 5.0, 5.0}, {3.0, 7.5, -1.0},
                  {-1, 3, 5, 7.5, 10}, {}},
        grid_case{"single_key_date", stepped(30.0, 10, 1.0), 5.0, 5.0, {5.0}, {}, {5}, {}},
        // A fine step of zero with a key date before the start: the fine region would never end; it is skipped,
        // and the gap up to the start, inside the region, has no step.
        grid_case{"zero_fine_step_with_an_earlier_date", stepped(30.0, 5, 0.0), 10.0, 100.0, {}, {0.0},
                  {0, 10, 40, 70, 100}, {}},
        grid_case{"key_dates_only", time_grid_config(grid_type(2), direction::FORWARD, true, 1.0, 3, 1.0), 0.0, 30.0,
                  {20.0, 10.0}, {15.5}, {0, 10, 15.5, 20, 30}, {}},
        // Backward: the dates that end at the event are implicit; the start date, no gap's end, is added.
        grid_case{"rannacher_backward", rannacher(direction::BACKWARD, 4.0, 2, 0.5), 0.0, 10.0, {10.0}, {},
                  {0, 5, 9.5, 10}, {false, false, true, true}},
        // Forward: the dates that start at the event; the end date, no gap's start, is added.
        grid_case{"rannacher_forward", rannacher(direction::FORWARD, 4.0, 2, 0.5), 0.0, 10.0, {0.0}, {},
                  {0, 0.5, 5, 10}, {true, true, false, false}},
        // Event dates are inserted first: one at the end of a forward grid (no gap starts there) and one at the start
        // of a backward grid keep their flag though the key dates are added unflagged.
        grid_case{"rannacher_events_keep_their_flag_forward", rannacher(direction::FORWARD, 20.0, 3, 1.0), 0.0, 6.0,
                  {6.0, 3.0}, {}, {0, 3, 4, 5, 6}, {false, true, true, true, true}},
        grid_case{"rannacher_events_keep_their_flag_backward", rannacher(direction::BACKWARD, 20.0, 3, 1.0), 0.0, 6.0,
                  {0.0, 3.0}, {}, {0, 1, 2, 3, 6}, {true, true, true, true, false}},
        // A short gap is one step; its implicit dates are s / fine_steps apart when that is below fine_step.
        grid_case{"rannacher_spacing_from_a_short_gap", rannacher(direction::BACKWARD, 30.0, 4, 1.0), 0.0, 2.0,
                  {2.0}, {}, {0, 0.5, 1, 1.5, 2}, {false, true, true, true, true}},
        grid_case{"rannacher_single_key_date", rannacher(direction::BACKWARD, 30.0, 4, 1.0), 7.0, 7.0, {}, {}, {7},
                  {false}},
        // Where the start and end are key dates alone, their order does not matter: a backward walk given from
        // the end date back to the start builds the same grid.
        grid_case{"rannacher_backward_given_from_the_end", rannacher(direction::BACKWARD, 4.0, 2, 0.5), 10.0, 0.0,
                  {10.0}, {}, {0, 5, 9.5, 10}, {false, false, true, true}},
        grid_case{"key_dates_given_from_the_end",
                  time_grid_config(grid_type(2), direction::BACKWARD, false, 0.0, 0, 0.0), 30.0, 0.0, {10.0}, {},
                  {0, 10, 30}, {}}),
    [](const auto& info) { return info.param.name; });

TEST(TimeGrid, DirectionIsForwardOnlyForOne) {
  for (int value : {-1, 0, 1, 2}) {
    const time_grid_config config(grid_type::STEPPED, direction(value), false, 30.0, 0, 0.0);
    EXPECT_EQ(time_grid(config, datetime(0.0), datetime(60.0), {}, {}).is_direction_forward(), value == 1) << value;
  }
}

// The survival-probability solver's grid: a valuation date, yearly dates as both event and extra dates, the
// default steps; every date must be found in the grid.
TEST(TimeGrid, EveryEventDateIsInASteppedGrid) {
  const datetime valuation(2024, 3, 15);
  std::vector<datetime> dates;
  for (int year = 2025; year <= 2034; ++year) dates.emplace_back(year, 3, 20);
  const time_grid_config config(grid_type::STEPPED, direction::BACKWARD, true, 30.0, 10, 1.0);
  const time_grid grid(config, valuation, dates.back(), dates, dates);
  EXPECT_EQ(grid.date(0), valuation);
  EXPECT_EQ(grid.date(grid.size() - 1), dates.back());
  const std::vector<size_t> indices = datetime_helper::index_subset_dates(dates, grid.dates());
  for (size_t e = 0; e < dates.size(); ++e) EXPECT_EQ(grid.event_dates_indexs(e), indices[e]);
  for (size_t i = 1; i < grid.size(); ++i) {
    // No step beyond the coarse step, plus a day of rounding.
    EXPECT_LE(grid.date(i).serial() - grid.date(i - 1).serial(), 31.0) << i;
  }
}

TEST(TimeGrid, StepsThatCannotCutAGapAreRefused) {
  struct bad_case {
    std::string name;
    time_grid_config config;
    double from, to;
    std::vector<double> extras, events = {};
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<bad_case> cases{
      {"negative_fine_step", stepped(30.0, 10, -1.0), 0.0, 365.0, {}},
      {"negative_fine_step_before_the_start", stepped(30.0, 10, -1.0), 10.0, 365.0, {0.0}},
      {"negative_coarse_step", stepped(-30.0, 10, 1.0), 0.0, 365.0, {}},
      {"nan_coarse_step", stepped(nan, 10, 1.0), 0.0, 365.0, {}},
      {"infinite_fine_step", stepped(30.0, 10, std::numeric_limits<double>::infinity()), 0.0, 365.0, {}},
      {"negative_rannacher_coarse_step", rannacher(direction::BACKWARD, -2.0, 2, 0.5), 0.0, 10.0, {}},
      {"negative_rannacher_fine_step", rannacher(direction::FORWARD, 2.0, 2, -0.5), 0.0, 10.0, {}},
      // A step below the resolution of a day number does not move past it.
      {"fine_step_below_date_resolution", stepped(30.0, 100, 1e-13), 45000.0, 45010.0, {}},
      {"billions_of_steps", stepped(1e-9, 0, 0.0), 0.0, 365.0, {}},
      {"date_not_set", stepped(30.0, 10, 1.0), 0.0, 365.0, {nan}},
      // More dates than a grid holds, refused before they are made.
      {"two_million_coarse_steps", stepped(365.0 / 2e6, 0, 0.0), 0.0, 365.0, {}},
      // Fine steps from a key date a year before the start.
      {"millions_of_fine_steps", stepped(30.0, 0, 1e-4), 0.0, 365.0, {-365.0}},
      {"two_million_rannacher_steps", rannacher(direction::BACKWARD, 365.0 / 2e6, 2, 0.5), 0.0, 365.0, {}},
      {"rannacher_dates_at_many_events", rannacher(direction::BACKWARD, 1.0, 100000, 1e-3), 0.0, 365.0, {},
       {30.0, 60.0, 90.0, 120.0, 150.0, 180.0, 210.0, 240.0, 270.0, 300.0, 330.0}},
      // Without a coarse step a Rannacher grid would take every gap between key dates in one step.
      {"rannacher_coarse_step_of_zero", rannacher(direction::BACKWARD, 0.0, 2, 0.5), 0.0, 3650.0, {}},
      {"rannacher_coarse_step_below_resolution", rannacher(direction::FORWARD, 1e-17, 2, 0.5), 0.0, 10.0, {}},
      // The fine region follows the start date: an end before it would cut the whole grid with the fine step.
      {"stepped_end_before_the_start", stepped(30.0, 10, 1.0), 365.0, 0.0, {}},
      {"stepped_end_before_the_start_without_fine_steps", stepped(30.0, 0, 0.0), 365.0, 0.0, {}},
  };
  for (const bad_case& c : cases) {
    EXPECT_THROW(time_grid(c.config, datetime(c.from), datetime(c.to), days(c.events), days(c.extras)), Error)
        << c.name;
  }
  // Steps mean nothing to a grid of key dates.
  EXPECT_NO_THROW(time_grid(time_grid_config(grid_type(5), direction::BACKWARD, false, -1.0, 3, nan), datetime(0.0),
                            datetime(10.0), {}, {}));
  // Walked forward or backward, a stepped grid ascends from its start date.
  for (direction walk : {direction::BACKWARD, direction::FORWARD}) {
    const time_grid_config config(grid_type::STEPPED, walk, false, 30.0, 10, 1.0);
    EXPECT_THROW(time_grid(config, datetime(365.0), datetime(0.0), {}, {}), Error) << int(walk);
    EXPECT_EQ(time_grid(config, datetime(0.0), datetime(365.0), {}, {}).size(), 23u) << int(walk);
  }
}

// The ceiling on dates holds a million daily steps, and the configuration refuses more fine steps than that.
TEST(TimeGrid, CeilingOfDates) {
  EXPECT_EQ(time_grid(stepped(1.0, 0, 0.0), datetime(0.0), datetime(1e6), {}, {}).size(), 1000001u);
  const size_t most = time_grid_config::max_dates;
  EXPECT_EQ(stepped(30.0, most, 1.0).fine_steps(), most);
  EXPECT_THROW(stepped(30.0, most + 1, 1.0), Error);
  EXPECT_THROW(rannacher(direction::FORWARD, 30.0, size_t(-1), 1.0), Error);
}

}  // namespace
}  // namespace qavrek
