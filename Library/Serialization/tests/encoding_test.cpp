#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "Util/key.h"
#include "Util/tenor.h"
#include "persistence_test_support.h"

namespace qavrek::persistence_test {
namespace {

using serialization::load;
using serialization::load_shared_object;
using serialization::save;
using value_t = ordered_json::value_t;

TEST(PersistenceJsonEncoding, EachFieldIsWrittenAsItsJsonType) {
  ordered_json envelope;
  save(envelope, full_record());
  const std::vector<std::pair<const char*, value_t>> types = {
      {"rate", value_t::number_float},     {"active", value_t::boolean},       {"count", value_t::number_unsigned},
      {"code", value_t::number_integer},   {"small", value_t::number_integer}, {"device", value_t::number_integer},
      {"model", value_t::number_integer},  {"date", value_t::number_float},    {"name", value_t::string},
      {"desk", value_t::string},           {"fixings", value_t::array},        {"grid", value_t::array},
      {"dates", value_t::array}};
  for (const auto& [key, type] : types) EXPECT_EQ(envelope[key].type(), type) << key;

  EXPECT_EQ(envelope["device"], 1);
  EXPECT_EQ(envelope["model"], 1);
  EXPECT_EQ(envelope["date"], 43831.0);
  EXPECT_EQ(envelope["desk"], "RATES");
  // An empty inner vector stays null, like any empty vector.
  EXPECT_EQ(envelope["grid"], ordered_json::parse("[[1.0, 2.0], null, [3.0]]"));
  EXPECT_EQ(envelope["dates"], ordered_json::parse("[43831.0, 43862.0]"));
}

TEST(PersistenceJsonEncoding, EmptyVectorIsNullAndReadsBackEmpty) {
  auto values = full_values();
  values.fixings.clear();
  values.dates.clear();
  ordered_json envelope;
  save(envelope, std::make_shared<const sample_record>(values));
  ASSERT_TRUE(envelope.contains("fixings"));
  EXPECT_TRUE(envelope["fixings"].is_null());
  EXPECT_TRUE(envelope["dates"].is_null());

  ptr_const<sample_record> loaded;
  load_shared_object(envelope, loaded);
  EXPECT_EQ(loaded->get(), values);
}

// The innermost text of a failure, past every wrapping step.
std::string innermost_text(const std::function<void()>& action) {
  const auto chain = chain_of(action);
  return chain.empty() ? std::string("nothing thrown") : chain.back().message;
}

template <class Archive>
ptr_const<sample_record> loaded_record(Archive& archive) {
  ptr_const<sample_record> loaded;
  load_shared_object(archive, loaded);
  return loaded;
}

// What a loader accepts for each kind of field: the full record's JSON with one member replaced (or
// removed), and either the change that the load makes or the innermost text of its failure.
TEST(PersistenceJsonEncoding, LoadAcceptsWhatEachEncodingAllows) {
  struct case_ {
    const char* label;
    const char* key;
    std::optional<ordered_json> value;  // none: the member is removed
    std::function<void(sample_record::values&)> change;
    std::string failure;
  };
  const auto none = [](sample_record::values&) {};
  const std::string number_302 = "[json.exception.type_error.302] type must be number, but is ";
  const std::string numeric_305 = "[json.exception.type_error.305] cannot use operator[] with a numeric argument with ";
  const std::vector<case_> cases = {
      {"double from an integer", "rate", 1, [](auto& v) { v.rate = 1.0; }, ""},
      {"double from a float", "rate", 1.5, [](auto& v) { v.rate = 1.5; }, ""},
      {"double from an unsigned", "rate", 2u, [](auto& v) { v.rate = 2.0; }, ""},
      {"double refuses a boolean", "rate", true, none, number_302 + "boolean"},
      {"double refuses a string", "rate", "1", none, number_302 + "string"},
      {"a missing double reads as null", "rate", std::nullopt, none, number_302 + "null"},
      {"bool from a boolean", "active", false, [](auto& v) { v.active = false; }, ""},
      {"bool refuses 1", "active", 1, none, "[json.exception.type_error.302] type must be boolean, but is number"},
      {"double from Infinity", "rate", "Infinity",
       [](auto& v) { v.rate = std::numeric_limits<double>::infinity(); }, ""},
      {"datetime refuses -Infinity, which is no date", "date", "-Infinity", none,
       "the serial number -inf is not a date of the years 1 to 9999"},
      {"double refuses another word", "rate", "Inf", none, number_302 + "string"},
      {"size_t from the largest unsigned", "count", std::numeric_limits<std::uint64_t>::max(),
       [](auto& v) { v.count = std::numeric_limits<std::uint64_t>::max(); }, ""},
      {"size_t from a whole float", "count", 3.0, [](auto& v) { v.count = 3; }, ""},
      {"size_t refuses -1", "count", -1, none, "The JSON number -1 does not fit in an unsigned 64-bit integer"},
      {"size_t refuses a fraction", "count", 2.7, none,
       "The JSON number 2.7 does not fit in an unsigned 64-bit integer"},
      {"size_t refuses a boolean", "count", true, none, number_302 + "boolean"},
      {"size_t refuses a float it cannot hold", "count", -1.5, none,
       "The JSON number -1.5 does not fit in an unsigned 64-bit integer"},
      {"size_t refuses 2^64 as a float", "count", 18446744073709551616.0, none,
       "The JSON number 1.8446744073709552e+19 does not fit in an unsigned 64-bit integer"},
      {"int32 from its extremes", "code", -2147483648, [](auto& v) { v.code = -2147483647 - 1; }, ""},
      {"int32 refuses an unsigned beyond it", "code", std::uint64_t{4294967297u}, none,
       "The JSON number 4294967297 does not fit in a 32-bit integer"},
      {"int32 refuses a negative beyond it", "code", -2147483649, none,
       "The JSON number -2147483649 does not fit in a 32-bit integer"},
      {"int32 refuses a fraction", "code", -2.9, none, "The JSON number -2.9 does not fit in a 32-bit integer"},
      {"int32 from a whole float", "code", -2.0, [](auto& v) { v.code = -2; }, ""},
      {"int32 from a boolean", "code", true, [](auto& v) { v.code = 1; }, ""},
      {"int32 refuses a float it cannot hold", "code", 1e10, none,
       "The JSON number 10000000000.0 does not fit in a 32-bit integer"},
      {"int16 from its extremes", "small", -32768, [](auto& v) { v.small = -32768; }, ""},
      {"int16 refuses what it cannot hold", "small", 32768, none,
       "The value 32768 of \"small\" is outside [-32768, 32767], the range of a 16-bit integer"},
      {"int16 refuses a negative it cannot hold", "small", -40000, none,
       "The value -40000 of \"small\" is outside [-32768, 32767], the range of a 16-bit integer"},
      {"int16 refuses what no 32-bit integer holds", "small", std::uint64_t{4294967297u}, none,
       "The JSON number 4294967297 does not fit in a 32-bit integer"},
      {"16-bit enumeration from an integer", "device", 0, [](auto& v) { v.device = device_kind::cpu; }, ""},
      {"32-bit enumeration from a float", "model", 0.0, [](auto& v) { v.model = model_kind::hull_white; }, ""},
      {"16-bit enumeration refuses what it cannot hold", "device", 65537, none,
       "The value 65537 of \"device\" is outside [-32768, 32767], the range of a 16-bit enumeration"},
      {"enumeration refuses a fraction", "model", 0.5, none, "The JSON number 0.5 does not fit in a 32-bit integer"},
      {"datetime from an integer serial", "date", 43862, [](auto& v) { v.date = datetime(43862.0); }, ""},
      {"string refuses a number", "name", 5, none, "[json.exception.type_error.302] type must be string, but is number"},
      {"text value from its text", "desk", "FX", [](auto& v) { v.desk = desk_code("FX"); }, ""},
      {"text value refuses a number", "desk", 5, none,
       "[json.exception.type_error.302] type must be string, but is number"},
      {"text value's own check", "desk", "fx", none, "desk code 'fx' is not upper-case letters"},
      {"null vector is empty", "fixings", nullptr, [](auto& v) { v.fixings.clear(); }, ""},
      {"missing vector is empty", "fixings", std::nullopt, [](auto& v) { v.fixings.clear(); }, ""},
      {"vector of integers", "fixings", ordered_json::parse("[1, 2]"), [](auto& v) { v.fixings = {1.0, 2.0}; }, ""},
      {"vector refuses a number", "fixings", 5, none, numeric_305 + "number"},
      {"vector refuses an object", "fixings", ordered_json::parse(R"({"a": 1.0})"), none, numeric_305 + "object"},
      {"vector refuses a string", "fixings", "1.0", none, numeric_305 + "string"},
      {"nested vector with a null inner one", "grid", ordered_json::parse("[[1], null]"),
       [](auto& v) { v.grid = {{1.0}, {}}; }, ""},
      {"vector element of the wrong type", "dates", ordered_json::parse(R"([43831, "x"])"), none, number_302 + "string"},
      {"unknown members are ignored", "unknown", 1, none, ""},
  };
  ordered_json full;
  save(full, full_record());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ordered_json envelope = full;
    if (c.value)
      envelope[c.key] = *c.value;
    else
      envelope.erase(c.key);
    ptr_const<sample_record> loaded;
    if (c.failure.empty()) {
      load_shared_object(envelope, loaded);
      auto expected = full_values();
      c.change(expected);
      EXPECT_EQ(loaded->get(), expected);
    } else {
      EXPECT_EQ(innermost_text([&] { load_shared_object(envelope, loaded); }), c.failure);
    }
  }
}

// NaN (also the "no date" value) is null, the infinities are strings that any JSON reader parses; all
// three come back from both archives wherever a double is held, and NaN wherever a date is held (an
// infinite serial is no date: the table above shows a file holding one refused).
TEST(PersistenceNonFinite, NaNAndInfinitiesComeBackFromBothArchives) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  constexpr double inf = std::numeric_limits<double>::infinity();
  auto values = full_values();
  values.rate = inf;  // the record refuses a NaN rate, as its constructor does
  values.date = datetime();
  values.fixings = {inf, -inf, nan};
  values.grid = {{nan}, {}, {-inf}};
  values.dates = {datetime(), datetime(43831.5)};
  const auto saved = std::make_shared<const sample_record>(values);

  ordered_json json;
  save(json, saved);
  EXPECT_EQ(json["rate"], "Infinity");
  EXPECT_TRUE(json["date"].is_null());
  EXPECT_EQ(json["fixings"], ordered_json::parse(R"(["Infinity", "-Infinity", null])"));
  EXPECT_EQ(json["dates"], ordered_json::parse(R"([null, 43831.5])"));
  // Standard JSON: a strict parser reads the text back as it was written.
  EXPECT_EQ(ordered_json::parse(sample_record::json_to_string(saved)), json);

  multi_process_stream binary;
  save(binary, saved);
  // NaN compares unequal to itself: compare the bits that matter one field at a time.
  const auto same = [](double a, double b) { return std::isnan(a) ? std::isnan(b) : a == b; };
  for (const auto& loaded : {loaded_record(json), loaded_record(binary)}) {
    const auto& v = loaded->get();
    EXPECT_EQ(v.rate, inf);
    EXPECT_FALSE(v.date.is_valid());
    ASSERT_EQ(v.fixings.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_TRUE(same(v.fixings[i], values.fixings[i])) << i;
    ASSERT_EQ(v.grid.size(), 3u);
    EXPECT_TRUE(std::isnan(v.grid[0].at(0)));
    EXPECT_EQ(v.grid[2].at(0), -inf);
    ASSERT_EQ(v.dates.size(), 2u);
    EXPECT_FALSE(v.dates[0].is_valid());
    EXPECT_EQ(v.dates[1], datetime(43831.5));
    EXPECT_EQ(v.name, values.name);
  }
}

// A file written before the infinities had a form of their own holds null for them: it still loads, with
// NaN there. Only a member that is absent is an error, as for any scalar.
TEST(PersistenceNonFinite, StoredNullLoadsAsNaNButAMissingMemberFails) {
  ordered_json json;
  save(json, full_record());
  json["fixings"] = ordered_json::parse("[null]");
  json["date"] = nullptr;
  json["dates"] = ordered_json::parse("[null, 43831]");
  const auto loaded = loaded_record(json);
  const auto& v = loaded->get();
  EXPECT_TRUE(std::isnan(v.fixings.at(0)));
  EXPECT_FALSE(v.date.is_valid());
  EXPECT_FALSE(v.dates.at(0).is_valid());
  EXPECT_EQ(v.dates.at(1), datetime(43831.0));

  json.erase("date");
  EXPECT_EQ(innermost_text([&] { loaded_record(json); }),
            "[json.exception.type_error.302] type must be number, but is null");
}

// The bytes that saving a value gives, against the same values written by hand with the calls
// that the encoding prescribes.
template <class T>
std::vector<unsigned char> saved_bytes(const T& value) {
  multi_process_stream archive;
  save(archive, value);
  return archive.GetRawData();
}

TEST(PersistenceBinaryEncoding, EachValueUsesItsArchiveCall) {
  const auto by_hand = [](auto... values) {
    multi_process_stream archive;
    (archive << ... << values);
    return archive.GetRawData();
  };
  EXPECT_EQ(saved_bytes(true), by_hand(true));
  EXPECT_EQ(saved_bytes(2.5), by_hand(2.5));
  EXPECT_EQ(saved_bytes(std::uint64_t{7}), by_hand(std::uint64_t{7}));
  EXPECT_EQ(saved_bytes(std::int32_t{-3}), by_hand(std::int32_t{-3}));
  EXPECT_EQ(saved_bytes(std::int16_t{-3}), by_hand(std::int16_t{-3}));
  // A 16-bit enumeration takes the 32-bit call.
  EXPECT_EQ(saved_bytes(device_kind::gpu), by_hand(std::int32_t{1}));
  EXPECT_EQ(saved_bytes(device_kind::gpu).size(), 4u);
  EXPECT_EQ(saved_bytes(datetime(43831.5)), by_hand(43831.5));
  EXPECT_EQ(saved_bytes(std::string("ab")), by_hand(std::string("ab")));
  EXPECT_EQ(saved_bytes(desk_code("FX")), by_hand(std::string("FX")));
}

TEST(PersistenceBinaryEncoding, VectorIsItsCountThenItsElements) {
  const auto bytes = saved_bytes(std::vector<double>{1.0, 2.0, 3.0});
  multi_process_stream expected;
  expected << std::uint32_t{3} << 1.0 << 2.0 << 3.0;
  EXPECT_EQ(bytes, expected.GetRawData());
  // A little-endian 32-bit count, then three 8-byte doubles.
  ASSERT_EQ(bytes.size(), 4u + 3u * 8u);
  EXPECT_EQ(std::vector<unsigned char>(bytes.begin(), bytes.begin() + 4), (std::vector<unsigned char>{3, 0, 0, 0}));

  multi_process_stream nested;
  nested << std::uint32_t{2} << std::uint32_t{0} << std::uint32_t{1} << 4.0;
  EXPECT_EQ(saved_bytes(std::vector<std::vector<double>>{{}, {4.0}}), nested.GetRawData());
}

TEST(PersistenceBinaryEncoding, ObjectIsItsClassNameThenItsFieldsInOrder) {
  multi_process_stream expected;
  expected << std::string("qavrek::persistence_test::sample_record") << 0.25 << true << std::uint64_t{7}
           << std::int32_t{-3} << std::int16_t{12} << std::int32_t{1} /* device_kind, 16 bits in memory */
           << std::int32_t{1} << 43831.0 << std::string("EUR swaps") << std::string("RATES")  //
           << std::uint32_t{3} << 0.5 << 1.5 << 2.5                                               // fixings
           << std::uint32_t{3} << std::uint32_t{2} << 1.0 << 2.0 << std::uint32_t{0} << std::uint32_t{1} << 3.0
           << std::uint32_t{2} << 43831.0 << 43862.0;  // dates
  EXPECT_EQ(saved_bytes(full_record()), expected.GetRawData());

  ptr_const<sample_record> loaded;
  load_shared_object(expected, loaded);
  EXPECT_EQ(loaded->get(), full_values());
  EXPECT_TRUE(loaded->initialized());
  EXPECT_EQ(expected.remaining(), 0u);
}

// A 16-bit enumeration travels as 32 bits: a stored value that it cannot hold is refused, never cut to its
// low 16 bits; inside an object the message names the field.
TEST(PersistenceBinaryEncoding, EnumerationIsLoadedOnlyWhenItFitsItsWidth) {
  const auto record_with_device = [](std::int32_t device) {
    multi_process_stream archive;
    archive << std::string("qavrek::persistence_test::sample_record") << 0.25 << true << std::uint64_t{7}
            << std::int32_t{-3} << std::int16_t{12} << device << std::int32_t{1} << 43831.0 << std::string("n")
            << std::string("RATES") << std::uint32_t{0} << std::uint32_t{0} << std::uint32_t{0};
    return archive;
  };
  struct case_ {
    std::int32_t stored;
    bool in_record;
    std::string failure;  // empty: loads
  };
  const std::string range = " is outside [-32768, 32767], the range of a 16-bit enumeration";
  const std::vector<case_> cases = {
      {1, false, ""},
      {-32768, false, ""},
      {65537, false, "The value 65537" + range},
      {-32769, false, "The value -32769" + range},
      {65537, true, "The value 65537 of \"device\"" + range},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    if (c.in_record) {
      auto archive = record_with_device(c.stored);
      EXPECT_EQ(innermost_text([&] { loaded_record(archive); }), c.failure);
      continue;
    }
    multi_process_stream archive;
    archive << c.stored;
    device_kind device = device_kind::cpu;
    if (c.failure.empty()) {
      load(archive, device);
      EXPECT_EQ(static_cast<std::int32_t>(device), c.stored);
    } else {
      EXPECT_EQ(innermost_text([&] { load(archive, device); }), c.failure);
    }
  }
  // The same record with a value that fits loads.
  auto fitting = record_with_device(1);
  EXPECT_EQ(loaded_record(fitting)->get().device, device_kind::gpu);
}

TEST(PersistenceBinaryEncoding, DamagedCountFailsOnTheStreamInsteadOfAllocating) {
  multi_process_stream archive;
  archive << std::uint32_t{0xFFFFFFFFu} << 1.0;
  std::vector<double> values;
  const auto chain = chain_of([&] { load(archive, values); });
  ASSERT_FALSE(chain.empty());
  EXPECT_NE(chain.back().message.find("past the end of the stream"), std::string::npos);
}

// Util's tenor and key are text values: persisted as to_string(), loaded by assignment from the text.
TEST(PersistenceTextValues, TenorAndKeyTravelAsTheirText) {
  ordered_json json_tenor;
  save(json_tenor, tenor(10, tenor::unit::YEARS));
  EXPECT_EQ(json_tenor, "10Y");
  tenor loaded_tenor;
  load(json_tenor, loaded_tenor);
  EXPECT_EQ(loaded_tenor, tenor(10, tenor::unit::YEARS));

  const key currency("EUR");
  multi_process_stream binary;
  save(binary, currency);
  multi_process_stream expected;
  expected << std::string("EUR");
  EXPECT_EQ(binary.GetRawData(), expected.GetRawData());
  key loaded_key;
  load(binary, loaded_key);
  EXPECT_EQ(loaded_key, currency);
  EXPECT_EQ(loaded_key.hash(), currency.hash());
}

TEST(PersistenceTextValues, TextThatDoesNotConvertFailsInsideTheLoadStep) {
  const ordered_json bad = "3X";
  tenor target;
  const auto chain = chain_of([&] { load(bad, target); });
  ASSERT_GE(chain.size(), 2u);
  EXPECT_EQ(chain[0].function, "load");
  EXPECT_EQ(chain[0].line, 344);
  EXPECT_EQ(chain[0].message, typeid(tenor).name() + chain[1].message);
  EXPECT_NE(chain[1].message.find("3X"), std::string::npos);
}

}  // namespace
}  // namespace qavrek::persistence_test
