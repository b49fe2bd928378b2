// Stubs, stub placements and the currency conventions table.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "Core/error.h"
#include "Instrument/Stub.h"
#include "Instrument/market_convention_data.h"
#include "Instrument/stub_placement.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Util/tenor.h"

namespace qavrek {
namespace {

const auto thirty_360 = std::make_shared<const day_count_convention>(day_count_convention_type::THIRTY_360);

TEST(Stub, AccruesByItsType) {
  // A regular half year of 182 days (180 by 30/360) holding a stub of 136 days (134 by 30/360).
  const datetime previous(2024, 1, 15), next(2024, 7, 15), stub_start(2024, 3, 1);
  struct row {
    Stub::stub_type type;
    double accrual;
    const char* name;
  };
  for (const row& r : {row{Stub::stub_type::SIMPLE, 134.0 / 360.0, "SIMPLE"},
                       row{Stub::stub_type::BOND, 0.5 * 136.0 / 182.0, "BOND"},
                       row{Stub::stub_type::NONE, 0.5, "NONE"}}) {
    const Stub stub(r.type);
    // One division of small whole numbers on either side.
    EXPECT_NEAR(stub.payment(previous, next, stub_start, next, thirty_360), r.accrual, 1e-16) << r.name;
    EXPECT_EQ(stub.to_string(), r.name);
    EXPECT_EQ(Stub(stub).type(), r.type);
  }
  // A long stub reaching a month before the regular period accrues more than it.
  EXPECT_NEAR(Stub(Stub::stub_type::BOND).payment(previous, next, datetime(2023, 12, 15), next, thirty_360),
              0.5 * 213.0 / 182.0, 1e-16);
}

TEST(Stub, RefusesWhatHasNoAccrual) {
  const Stub stub(Stub::stub_type::SIMPLE);
  const datetime a(2024, 1, 15), b(2024, 7, 15);
  EXPECT_THROW(stub.payment(b, a, a, b, thirty_360), Error);
  EXPECT_THROW(stub.payment(a, b, b, a, thirty_360), Error);
  EXPECT_THROW(stub.payment(a, b, datetime(), b, thirty_360), Error);
  EXPECT_THROW(stub.payment(a, b, a, b, nullptr), Error);
  EXPECT_THROW(Stub(static_cast<Stub::stub_type>(7)), Error);
}

TEST(StubPlacement, PutsTheStubWhereItsTypeSays) {
  struct row {
    stub_placement_type placement;
    const char* period;
    datetime start, end;
    bool at_end;
  };
  const datetime start(2024, 1, 15);
  const std::vector<row> rows{
      {stub_placement_type::BACK, "6M", start, datetime(2029, 3, 15), true},
      {stub_placement_type::FRONT, "6M", start, datetime(2029, 1, 15), false},
      // AUTO: at the end only when the periods divide the schedule, so that there is no stub.
      {stub_placement_type::AUTO, "6M", start, datetime(2029, 1, 15), true},
      {stub_placement_type::AUTO, "6M", start, datetime(2029, 3, 15), false},
      {stub_placement_type::AUTO, "1Y", start, datetime(2024, 7, 15), false},
      // Month ends clamp: three months from January 31 end on April 30.
      {stub_placement_type::AUTO, "1M", datetime(2024, 1, 31), datetime(2024, 4, 30), true},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(std::string(r.period) + " to " + r.end.to_string());
    const stub_placement placement(r.placement);
    EXPECT_EQ(placement.isEndStub(tenor(r.period), r.start, r.end), r.at_end);
    EXPECT_TRUE(placement.isShortStub());
    EXPECT_FALSE(placement.isLongStub());
  }
  EXPECT_THROW(stub_placement(stub_placement_type::AUTO).isEndStub(tenor("0M"), start, datetime(2025, 1, 15)), Error);
  EXPECT_THROW(stub_placement(stub_placement_type::AUTO).isEndStub(tenor("6M"), start, start), Error);
}

TEST(StubPlacement, StubTypesGiveThePlaceAndTheLength) {
  struct row {
    stub_type type;
    stub_placement_type placement;
    bool is_long;
  };
  for (const row& r : {row{stub_type::LONGSTART, stub_placement_type::FRONT, true},
                       row{stub_type::SHORTSTART, stub_placement_type::FRONT, false},
                       row{stub_type::LONGEND, stub_placement_type::BACK, true},
                       row{stub_type::SHORTEND, stub_placement_type::BACK, false}}) {
    const stub_placement placement(r.type);
    EXPECT_EQ(placement.placement(), r.placement);
    EXPECT_EQ(placement.isLongStub(), r.is_long);
    EXPECT_EQ(placement.isShortStub(), !r.is_long);
  }
  EXPECT_THROW(stub_placement(static_cast<stub_type>(4)), Error);
  EXPECT_THROW(stub_placement(static_cast<stub_placement_type>(3)), Error);
}

TEST(MarketConventionData, HoldsOneRowPerCurrency) {
  const auto& table = market_convention_data::table();
  ASSERT_EQ(table.size(), 30u);
  EXPECT_TRUE(std::is_sorted(table.begin(), table.end(), [](const auto& a, const auto& b) { return a.code() < b.code(); }));
  EXPECT_EQ(std::adjacent_find(table.begin(), table.end(),
                               [](const auto& a, const auto& b) { return a.code() == b.code(); }),
            table.end());
  struct row {
    const char* code;
    std::vector<int> fields;
  };
  for (const row& r : {row{"ATS", {3, 1, 1, 2, 1, 0, 3, 0, 3}}, row{"EUR", {3, 1, 1, 2, 1, 0, 3, 0, 7}},
                       row{"GBP", {3, 1, 0, 0, 0, 1, 0, 1, 0}}, row{"HKD", {3, 3, 0, 0, 0, 3, 0, 3, 0}},
                       row{"SGD", {3, 1, 0, 2, 0, 1, 1, 1, 1}}, row{"USD", {3, 3, 1, 2, 1, 1, 3, 1, 3}},
                       row{"ZAR", {3, 3, 0, 0, 1, 3, 0, 1, 3}}}) {
    const market_convention_data& c = market_convention_data::of(r.code);
    EXPECT_EQ(c.code(), r.code);
    EXPECT_EQ((std::vector<int>{c.business_day_rule(), c.float_frequency(), c.two_day_spot(), c.fixed_day_count(),
                                c.float_day_count(), c.fixed_frequency(), c.bond_day_count(), c.bond_frequency(),
                                c.schedule_rules()}),
              r.fields)
        << r.code;
  }
  EXPECT_THROW(market_convention_data::of("XXX"), Error);
  EXPECT_THROW(market_convention_data::of(""), Error);
}

TEST(MarketConventionData, DefaultsToAnEmptyCodeAndZerosAndCopiesWhole) {
  const market_convention_data none;
  EXPECT_EQ(none, market_convention_data("", 0, 0, 0, 0, 0, 0, 0, 0, 0));
  const market_convention_data copy(market_convention_data::of("JPY"));
  EXPECT_EQ(copy, market_convention_data::of("JPY"));
  EXPECT_NE(copy, market_convention_data::of("NZD"));
}

}  // namespace
}  // namespace qavrek
