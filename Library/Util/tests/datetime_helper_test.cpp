#include "Util/datetime_helper.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "Core/error.h"

namespace qavrek {
namespace {

using dates = std::vector<datetime>;
using indices = std::vector<std::size_t>;

TEST(AddTenor, CalendarArithmeticWithEndOfMonthClamping) {
  struct case_ {
    datetime date;
    const char* period;
    int count;
    datetime expected;
  };
  const case_ cases[] = {
      {datetime(2020, 1, 31), "1M", 1, datetime(2020, 2, 29)},  // leap February
      {datetime(2019, 1, 31), "1M", 1, datetime(2019, 2, 28)},
      {datetime(2100, 1, 31), "1M", 1, datetime(2100, 2, 28)},  // 2100 is not a leap year
      {datetime(2000, 1, 31), "1M", 1, datetime(2000, 2, 29)},  // 2000 is
      {datetime(2020, 1, 31), "1M", 2, datetime(2020, 3, 31)},  // the count scales the tenor, then clamps
      {datetime(2020, 3, 31), "1M", -1, datetime(2020, 2, 29)},
      {datetime(2020, 1, 15), "1M", -1, datetime(2019, 12, 15)},
      {datetime(2020, 12, 15), "1M", 1, datetime(2021, 1, 15)},
      {datetime(2020, 5, 31), "18M", 1, datetime(2021, 11, 30)},
      {datetime(2020, 2, 29), "1Y", 1, datetime(2021, 2, 28)},
      {datetime(2020, 2, 29), "4Y", 1, datetime(2024, 2, 29)},
      {datetime(2096, 2, 29), "4Y", 1, datetime(2100, 2, 28)},
      {datetime(2020, 2, 29), "10Y", -1, datetime(2010, 2, 28)},
      {datetime(2020, 1, 1), "1D", 1, datetime(2020, 1, 2)},
      {datetime(2020, 2, 28), "1D", 1, datetime(2020, 2, 29)},
      {datetime(2020, 1, 1), "2W", 1, datetime(2020, 1, 15)},
      {datetime(2020, 1, 1), "3W", -1, datetime(2019, 12, 11)},
      {datetime(2020, 1, 1), "0D", 1, datetime(2020, 1, 1)},
      {datetime(2020, 1, 1), "5Y", 0, datetime(2020, 1, 1)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.date << " + " << c.count << " x " << c.period);
    EXPECT_EQ(datetime_helper::add_tenor(c.date, tenor(c.period), c.count), c.expected);
  }
  EXPECT_EQ(datetime_helper::add_tenor(datetime(2020, 1, 1), tenor("3M")), datetime(2020, 4, 1));
}

TEST(AddTenor, KeepsTheTimeOfDay) {
  const datetime morning(datetime(2020, 1, 31).serial() + 0.25);
  EXPECT_EQ(datetime_helper::add_tenor(morning, tenor("1M")).serial(), datetime(2020, 2, 29).serial() + 0.25);
  EXPECT_EQ(datetime_helper::add_tenor(morning, tenor("1W")).serial(), morning.serial() + 7.0);
}

TEST(AddTenor, BadInputIsAnError) {
  EXPECT_THROW(datetime_helper::add_tenor(datetime(), tenor("1M")), Error);
  EXPECT_THROW(datetime_helper::add_tenor(datetime(2020, 1, 1), tenor("2147483647Y"), 2147483647), Error);
  EXPECT_THROW(datetime_helper::add_tenor(datetime(2020, 1, 1), tenor("2000000Y")), Error);
}

TEST(MergeDates, SortedUnionWithoutRepeatsEvenInPlace) {
  const dates a{datetime(30), datetime(10), datetime(20), datetime(10)};
  const dates b{datetime(25), datetime(20), datetime(5)};
  const dates expected{datetime(5), datetime(10), datetime(20), datetime(25), datetime(30)};
  EXPECT_EQ(datetime_helper::merge_dates(a, b), expected);

  dates into_first = a;
  datetime_helper::merge_dates(into_first, b, into_first);
  EXPECT_EQ(into_first, expected);
  dates into_second = b;
  datetime_helper::merge_dates(a, into_second, into_second);
  EXPECT_EQ(into_second, expected);
  dates both = a;
  datetime_helper::merge_dates(both, both, both);
  EXPECT_EQ(both, (dates{datetime(10), datetime(20), datetime(30)}));

  EXPECT_EQ(datetime_helper::merge_dates({}, {}), dates{});
  EXPECT_EQ(datetime_helper::merge_dates({}, b), (dates{datetime(5), datetime(20), datetime(25)}));
}

TEST(MergeDates, KeepsTheDatesAlreadyInTheOutput) {
  // A model seeds its dates with the simulation dates and merges its parameters' dates into them.
  dates model_dates{datetime(40), datetime(20), datetime(0)};
  datetime_helper::merge_dates({datetime(10), datetime(20)}, {datetime(30), datetime(10)}, model_dates);
  EXPECT_EQ(model_dates, (dates{datetime(0), datetime(10), datetime(20), datetime(30), datetime(40)}));
  datetime_helper::merge_dates({datetime(35)}, model_dates, model_dates);
  EXPECT_EQ(model_dates, (dates{datetime(0), datetime(10), datetime(20), datetime(30), datetime(35), datetime(40)}));
}

TEST(MergeDates, DateNotSetIsAnErrorAndLeavesTheOutput) {
  dates out{datetime(1)};
  EXPECT_THROW(datetime_helper::merge_dates({datetime(2), datetime()}, {}, out), Error);
  EXPECT_EQ(out, dates{datetime(1)});
}

// Reference (parameter) dates 10, 20, 30; probes before, on, between and after them.
class DatePositions : public ::testing::Test {
 protected:
  const dates reference{datetime(10), datetime(20), datetime(30)};
  const dates probes{datetime(5), datetime(10), datetime(15), datetime(20), datetime(20.5), datetime(30), datetime(35)};
};

TEST_F(DatePositions, InterpolateGivesTheRowInForce) {
  // Row k applies on (d_{k-1}, d_k]; the last row after the last date.
  EXPECT_EQ(datetime_helper::interpolate_from_subset_dates(probes, reference), (indices{0, 0, 1, 1, 2, 2, 2}));
  indices out{99};
  datetime_helper::interpolate_from_subset_dates({}, reference, out);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(datetime_helper::interpolate_from_subset_dates(probes, {datetime(12)}), indices(probes.size(), 0));
}

TEST_F(DatePositions, InterpolateRejectsBadReferenceDates) {
  EXPECT_THROW(datetime_helper::interpolate_from_subset_dates(probes, {}), Error);
  EXPECT_THROW(datetime_helper::interpolate_from_subset_dates(probes, {datetime(20), datetime(10)}), Error);
  EXPECT_THROW(datetime_helper::interpolate_from_subset_dates(probes, {datetime(10), datetime(10)}), Error);
  EXPECT_THROW(datetime_helper::interpolate_from_subset_dates(probes, {datetime(10), datetime()}), Error);
  EXPECT_THROW(datetime_helper::interpolate_from_subset_dates({datetime()}, reference), Error);
}

TEST_F(DatePositions, DateOffset) {
  const indices last_not_after{0, 0, 0, 1, 1, 2, 2};
  const indices first_not_before{0, 0, 1, 1, 2, 2, 2};
  for (std::size_t i = 0; i < probes.size(); ++i) {
    SCOPED_TRACE(probes[i].serial());
    EXPECT_EQ(datetime_helper::date_offset(probes[i], reference, true), last_not_after[i]);
    EXPECT_EQ(datetime_helper::date_offset(probes[i], reference, false), first_not_before[i]);
  }
  EXPECT_EQ(datetime_helper::date_offset(datetime(), reference, true), 0u);
  EXPECT_EQ(datetime_helper::date_offset(datetime(), reference, false), 0u);
  EXPECT_EQ(datetime_helper::date_offset(datetime(50), {datetime(10)}, true), 0u);
  EXPECT_THROW(datetime_helper::date_offset(datetime(10), {}, true), Error);
}

TEST_F(DatePositions, IndexSubsetDatesFindsEachDate) {
  const dates grid{datetime(0), datetime(10), datetime(15), datetime(20), datetime(30)};
  EXPECT_EQ(datetime_helper::index_subset_dates({datetime(30), datetime(10), datetime(30), datetime(0)}, grid),
            (indices{4, 1, 4, 0}));
  indices out{7};
  EXPECT_THROW(datetime_helper::index_subset_dates({datetime(10), datetime(12)}, grid, out), Error);
  EXPECT_EQ(out, indices{7});
  EXPECT_THROW(datetime_helper::index_subset_dates({datetime(40)}, grid), Error);
  EXPECT_THROW(datetime_helper::index_subset_dates({datetime()}, grid), Error);
  EXPECT_THROW(datetime_helper::index_subset_dates({datetime(10)}, {datetime(10), datetime(0)}), Error);
}

}  // namespace
}  // namespace qavrek
