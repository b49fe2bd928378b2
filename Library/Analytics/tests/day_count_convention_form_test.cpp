#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Analytics/parameters/day_count_convention_form.h"
#include "Core/logger.h"
#include "parameters_test_support.h"

namespace qavrek::parameters_test {
namespace {

ptr_const<day_count_convention> from_binary(const multi_process_stream& written) {
  multi_process_stream reading;
  reading.SetRawData(written.GetRawData());
  return day_count_convention_from_binary(reading);
}

TEST(DayCountConventionForm, JsonNestsTheCalendarInTheConvention) {
  ordered_json j;
  day_count_convention_to_json(j, business_252().get());
  EXPECT_EQ(j.dump(),
            R"({"Class":"qavrek::day_count_convention","type":4,)"
            R"("calendar":{"Class":"qavrek::calendar","use_weekends":false,"dates":[43832.0,43840.0]}})");
}

TEST(DayCountConventionForm, BinaryIsNameTypeThenTheCalendarsNameFlagAndDates) {
  multi_process_stream s;
  day_count_convention_to_binary(s, business_252().get());
  multi_process_stream expected;
  expected << std::string("qavrek::day_count_convention") << std::int32_t{4} << std::string("qavrek::calendar")
           << false << std::uint32_t{2} << 43832.0 << 43840.0;
  EXPECT_EQ(s.GetRawData(), expected.GetRawData());
}

TEST(DayCountConventionForm, NullsAreTheNullEnvelopeAlone) {
  ordered_json null_convention;
  day_count_convention_to_json(null_convention, nullptr);
  EXPECT_EQ(null_convention.dump(), R"({"Class":"null object!"})");
  ordered_json no_calendar;
  day_count_convention_to_json(no_calendar, act_365().get());
  EXPECT_EQ(no_calendar.dump(), R"({"Class":"qavrek::day_count_convention","type":0,"calendar":{"Class":"null object!"}})");

  multi_process_stream s;
  day_count_convention_to_binary(s, nullptr);
  multi_process_stream expected;
  expected << std::string("null object!");
  EXPECT_EQ(s.GetRawData(), expected.GetRawData());
}

// What a convention reads back as: never null, and with a calendar whenever one was stored or not.
struct round_trip_case {
  const char* name;
  ptr_const<day_count_convention> saved;
  day_count_convention_type type;
  bool has_calendar;
  bool use_weekends;
  std::vector<datetime> holidays;
};

TEST(DayCountConventionForm, RoundTripsInBothArchives) {
  const std::vector<round_trip_case> cases = {
      {"business/252 with its calendar", business_252(), day_count_convention_type::BUSINESS_252, true, false,
       dates({43832.0, 43840.0})},
      {"a calendar with weekends",
       std::make_shared<const day_count_convention>(day_count_convention_type::ACT_360,
                                                    std::make_shared<const calendar>(true, dates({44000.0}))),
       day_count_convention_type::ACT_360, true, true, dates({44000.0})},
      {"no calendar comes back with a default one",
       std::make_shared<const day_count_convention>(day_count_convention_type::THIRTY_360),
       day_count_convention_type::THIRTY_360, true, true, {}},
      {"a null convention comes back as ACT/365F without calendar", nullptr, day_count_convention_type::ACT_365F,
       false, true, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ordered_json j;
    day_count_convention_to_json(j, c.saved.get());
    multi_process_stream s;
    day_count_convention_to_binary(s, c.saved.get());
    for (const auto& read : {day_count_convention_from_json(j), from_binary(s)}) {
      ASSERT_NE(read, nullptr);
      EXPECT_EQ(read->type(), c.type);
      ASSERT_EQ(read->calendar() != nullptr, c.has_calendar);
      if (!c.has_calendar) continue;
      EXPECT_EQ(read->calendar()->use_weekends(), c.use_weekends);
      EXPECT_EQ(read->calendar()->dates(), c.holidays);
    }
  }
}

TEST(DayCountConventionForm, LoadingFindsMembersByKey) {
  const auto j = ordered_json::parse(
      R"({"calendar":{"dates":[44001.0,44000.0],"use_weekends":false,"Class":"x"},"type":1,"Class":"y"})");
  const auto read = day_count_convention_from_json(j);
  EXPECT_EQ(read->type(), day_count_convention_type::ACT_360);
  EXPECT_FALSE(read->calendar()->use_weekends());
  // The calendar is initialised on load: its holidays come back in order.
  EXPECT_EQ(read->calendar()->dates(), dates({44000.0, 44001.0}));
}

// Envelopes without a usable class name, and the line that the class-name lookup logs for each.
TEST(DayCountConventionForm, AnEnvelopeWithoutAClassNameIsRefused) {
  const struct {
    const char* text;
    std::string logged;
  } cases[] = {
      {R"({"type":0,"calendar":{"Class":"null object!"}})", "json does not have a class name field!"},
      {R"({"Class":5,"type":0})", "name5is not a string!"},
      {R"({"Class":"qavrek::day_count_convention","type":0,"calendar":{"use_weekends":true}})",
       "json does not have a class name field!"},
      {R"(null)", "json does not have a class name field!"},
  };
  std::vector<std::string> log;
  const auto previous = logger::SetSink(
      [&log](logger::Verbosity, std::string_view, unsigned, std::string_view message) { log.emplace_back(message); });
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    log.clear();
    const auto failed = failure_of([&] { day_count_convention_from_json(ordered_json::parse(c.text)); });
    ASSERT_TRUE(failed.has_value());
    EXPECT_EQ(failed->function, "load_object");
    EXPECT_EQ(failed->file, "Library/Serialization/serialization_impl");
    EXPECT_EQ(failed->line, 247);
    EXPECT_EQ(failed->message, "Non valid class name");
    EXPECT_EQ(log, std::vector<std::string>({c.logged}));
  }
  logger::SetSink(previous);
  multi_process_stream s;
  s << std::string();
  EXPECT_EQ(failure_of([&] { from_binary(s); })->message, "Non valid class name");
}

TEST(DayCountConventionForm, AnUnknownTypeIsRefused) {
  const auto j = ordered_json::parse(R"({"Class":"c","type":7,"calendar":{"Class":"null object!"}})");
  const auto failed = failure_of([&] { day_count_convention_from_json(j); });
  ASSERT_TRUE(failed.has_value());
  EXPECT_NE(failed->message.find("unknown day count convention type 7"), std::string::npos) << failed->message;
}

// A field that older files lack reads as ACT/365F; any other field must be there.
TEST(DayCountConventionForm, AFieldMissingFromAnOlderFileDefaultsOnlyWhenAllowed) {
  using pointer = ptr_const<day_count_convention>;
  using form = serialization::persistent_form<day_count_convention_field<pointer>>;
  pointer convention = business_252();
  auto optional_field = persisted_day_convention_or_default(convention);
  form::load(ordered_json(), optional_field);
  ASSERT_NE(convention, nullptr);
  EXPECT_EQ(convention->type(), day_count_convention_type::ACT_365F);
  EXPECT_EQ(convention->calendar(), nullptr);

  convention = business_252();
  multi_process_stream exhausted;
  form::load(exhausted, optional_field);
  EXPECT_EQ(convention->type(), day_count_convention_type::ACT_365F);

  auto required_field = persisted_day_convention(convention);
  EXPECT_EQ(failure_of([&] { form::load(ordered_json(), required_field); })->message, "Non valid class name");
  EXPECT_TRUE(failure_of([&] { form::load(exhausted, required_field); }).has_value());
}

}  // namespace
}  // namespace qavrek::parameters_test
