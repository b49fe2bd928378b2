#include "Util/day_count_convention.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "Core/error.h"

namespace qavrek {
namespace {

using type = day_count_convention_type;

ptr_const<calendar> new_year_off() { return std::make_shared<const calendar>(true, std::vector{datetime(2020, 1, 1)}); }

struct fraction_case {
  type convention;
  datetime from, to;
  double expected;
};

TEST(DayCountConvention, YearFractionsOfEachConvention) {
  const fraction_case cases[] = {
      {type::ACT_365F, datetime(2020, 1, 1), datetime(2021, 1, 1), 366.0 / 365.0},
      {type::ACT_365F, datetime(2020, 1, 1), datetime(43831.5), 0.5 / 365.0},  // noon counts half a day
      {type::ACT_360, datetime(2020, 1, 1), datetime(2021, 1, 1), 366.0 / 360.0},
      // 30/360 bond basis: the 31st ends as the 30th only after a start on the 30th or 31st.
      {type::THIRTY_360, datetime(2020, 1, 31), datetime(2020, 3, 31), 60.0 / 360.0},
      {type::THIRTY_360, datetime(2020, 1, 30), datetime(2020, 3, 31), 60.0 / 360.0},
      {type::THIRTY_360, datetime(2020, 2, 29), datetime(2020, 3, 31), 32.0 / 360.0},
      {type::THIRTY_360, datetime(2020, 1, 15), datetime(2021, 7, 15), 540.0 / 360.0},
      // ACT/ACT ISDA: each year's days over its own length.
      {type::ACT_ACT_ISDA, datetime(2020, 1, 1), datetime(2021, 1, 1), 1.0},
      {type::ACT_ACT_ISDA, datetime(2019, 7, 1), datetime(2020, 7, 1), 184.0 / 365.0 + 182.0 / 366.0},
      {type::ACT_ACT_ISDA, datetime(2019, 12, 31), datetime(2022, 1, 1), 2.0 + 1.0 / 365.0},
      {type::ACT_ACT_ISDA, datetime(2020, 3, 1), datetime(2020, 3, 2), 1.0 / 366.0},
      // Business/252: 2020-01-01 to 2020-01-08 holds 1, 2, 3, 6 and 7 January, and the 1st is a holiday.
      {type::BUSINESS_252, datetime(2020, 1, 1), datetime(2020, 1, 8), 4.0 / 252.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << static_cast<int>(c.convention) << " " << c.from << " " << c.to);
    const day_count_convention convention(c.convention, new_year_off());
    // Each expected value is one rounded division away from the exact fraction.
    EXPECT_NEAR(convention.fraction(c.from, c.to), c.expected, 4e-16 * std::abs(c.expected));
    EXPECT_EQ(convention.fraction(c.to, c.from), -convention.fraction(c.from, c.to));
    EXPECT_EQ(convention.fraction(c.from, c.from), 0.0);
  }
}

TEST(DayCountConvention, MissingDateGivesNaN) {
  for (const type t : {type::ACT_365F, type::ACT_360, type::THIRTY_360, type::ACT_ACT_ISDA, type::BUSINESS_252}) {
    const day_count_convention convention(t, new_year_off());
    EXPECT_TRUE(std::isnan(convention.fraction(datetime(), datetime(2020, 1, 1))));
    EXPECT_TRUE(std::isnan(convention.fraction(datetime(2020, 1, 1), datetime())));
  }
}

TEST(DayCountConvention, DefaultIsActual365FixedWithoutCalendar) {
  const day_count_convention convention;
  EXPECT_EQ(convention.type(), type::ACT_365F);
  EXPECT_EQ(convention.calendar(), nullptr);
  EXPECT_EQ(convention.fraction(datetime(2020, 1, 1), datetime(2020, 1, 2)), 1.0 / 365.0);
}

TEST(DayCountConvention, LoaderSequenceAttachesTheCalendarLast) {
  day_count_convention convention;
  convention.set_type(type::BUSINESS_252);
  // Not usable until the calendar comes.
  EXPECT_THROW(convention.initialize(), Error);
  EXPECT_THROW(convention.fraction(datetime(2020, 1, 1), datetime(2020, 1, 8)), Error);
  convention.set_calendar(new_year_off());
  convention.initialize();
  EXPECT_EQ(convention.fraction(datetime(2020, 1, 1), datetime(2020, 1, 8)), 4.0 / 252.0);
}

TEST(DayCountConvention, BadConstructionIsAnError) {
  EXPECT_THROW(day_count_convention(type::BUSINESS_252), Error);
  EXPECT_THROW(day_count_convention(static_cast<type>(5)), Error);
  EXPECT_THROW(day_count_convention(static_cast<type>(-1)), Error);
  day_count_convention loaded;
  loaded.set_type(static_cast<type>(7));
  EXPECT_THROW(loaded.initialize(), Error);
  EXPECT_THROW(loaded.fraction(datetime(2020, 1, 1), datetime(2020, 1, 8)), Error);
}

}  // namespace
}  // namespace qavrek
