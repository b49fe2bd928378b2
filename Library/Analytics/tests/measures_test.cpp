// Measure ids and measures: identity, persisted forms, the encodings "state" accepts, and what a
// measure loaded without its discount id does.

#include <gtest/gtest.h>

#include <string>
#include <typeinfo>
#include <unordered_set>
#include <vector>

#include "Analytics/change_of_measure/measure.h"
#include "Analytics/change_of_measure/measure_id.h"
#include "Analytics/diffusion/ir/id/diffusion_ir_id.h"
#include "Serialization/serialization_impl.h"
#include "ids_test_support.h"

namespace qavrek::ids_test {
namespace {

constexpr const char* measures_file = "Library/Analytics/change_of_measure/measures";

// The state of a measure id, which only its persisted form shows.
std::int32_t state_of(const ptr_const<measure_id>& id) {
  return ordered_json::parse(measure_id::json_to_string(id))["state"].get<std::int32_t>();
}

TEST(MeasureId, AllMeasureIdsAreOneIdWithTheHashOfItsNameAndNoText) {
  const auto a = std::make_shared<const measure_id>();
  const auto b = std::make_shared<const measure_id>();
  EXPECT_TRUE(*a == *b);
  EXPECT_EQ(a->hash(), b->hash());
  EXPECT_EQ(a->hash(), key("measure_id").hash());
  EXPECT_EQ(a->to_string(), "");
  const std::unordered_set<ptr_const<measure_id>> ids = {a, b};
  EXPECT_EQ(ids.size(), 1u);
}

TEST(MeasureId, NewIdIsTheClassAndStateZero) {
  EXPECT_EQ(measure_id::json_to_string(std::make_shared<const measure_id>()),
            "{\n  \"Class\": \"qavrek::measure_id\",\n  \"state\": 0\n}");
  multi_process_stream binary;
  serialization::save(binary, ptr_const<measure_id>(std::make_shared<const measure_id>()));
  multi_process_stream expected;
  expected << std::string("qavrek::measure_id") << std::int32_t{0};
  EXPECT_EQ(binary.GetRawData(), expected.GetRawData());
}

TEST(MeasureId, StateAcceptsAWholeNumberOrABooleanAndRefusesTheRest) {
  struct encoding {
    const char* label;
    ordered_json value;
    std::int32_t state;
  };
  const std::vector<encoding> accepted = {
      {"integer", -7, -7},
      {"whole float", -2.0, -2},
      {"boolean", true, 1},
  };
  for (const auto& e : accepted) {
    const ordered_json envelope = {{"Class", "qavrek::measure_id"}, {"state", e.value}};
    EXPECT_EQ(state_of(loaded_from<measure_id>(envelope)), e.state) << e.label;
  }
  // A value that the 32-bit state cannot hold is refused, not cut to its low bits or truncated.
  for (const ordered_json& value : {ordered_json(4294967298ull), ordered_json(-2.9)}) {
    const ordered_json envelope = {{"Class", "qavrek::measure_id"}, {"state", value}};
    const auto chain = chain_of([&] { loaded_from<measure_id>(envelope); });
    ASSERT_FALSE(chain.empty());
    EXPECT_EQ(chain.back().message, "The JSON number " + value.dump() + " does not fit in a 32-bit integer");
  }

  const ordered_json text = {{"Class", "qavrek::measure_id"}, {"state", "0"}};
  const auto chain = chain_of([&] { loaded_from<measure_id>(text); });
  ASSERT_FALSE(chain.empty());
  EXPECT_EQ(chain.back().message, "[json.exception.type_error.302] type must be number, but is string");
  EXPECT_EQ(chain[chain.size() - 2].function, "load");  // the field's step, naming the 32-bit integer
  EXPECT_EQ(chain[chain.size() - 2].message, std::string(typeid(std::int32_t).name()) + chain.back().message);
}

TEST(MeasureId, NullPointerRoundTripsToAMeasureIdWithStateZero) {
  multi_process_stream binary;
  serialization::save(binary, ptr_const<measure_id>());
  const auto loaded = loaded_from<measure_id>(binary);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(state_of(loaded), 0);
  EXPECT_TRUE(*loaded == measure_id());
}

TEST(Measure, NullDiscountIdIsRefused) {
  const auto chain = chain_of([] { measure(nullptr); });
  EXPECT_EQ(chain, (std::vector<error_link>{{"validate", measures_file, 40, "invalide discount_id!"}}));
}

TEST(Measure, CopySharesTheDiscountId) {
  const measure original(discount("OIS", "EUR"));
  const measure copy(original);
  EXPECT_EQ(copy.id(), original.id());
}

TEST(Measure, FormsNestTheDiscountIdAndKeepItsKeys) {
  const auto original = std::make_shared<const measure>(discount("OIS", "EUR"));
  ordered_json json;
  serialization::save(json, original);
  EXPECT_EQ(keys_of(json), (std::vector<std::string>{"Class", "id"}));
  EXPECT_EQ(keys_of(json["id"]), (std::vector<std::string>{"Class", "id", "ccy"}));

  multi_process_stream binary;
  serialization::save(binary, original);
  multi_process_stream expected;
  for (const char* text :
       {"qavrek::measure", "qavrek::discount_id", "qavrek::discount_definition", "OIS", "qavrek::currency", "EUR"})
    expected << std::string(text);
  EXPECT_EQ(binary.GetRawData(), expected.GetRawData());

  for (const auto& loaded : {loaded_from<measure>(json), loaded_from<measure>(binary)}) {
    EXPECT_EQ(loaded->id()->definition()->name(), key("OIS"));
    EXPECT_EQ(loaded->id()->ccy()->name(), key("EUR"));
  }
}

TEST(Measure, MissingDiscountIdIsLoggedAndFails) {
  const captured_log log;
  const ordered_json without_id = {{"Class", "qavrek::measure"}};
  const auto chain = chain_of([&] { loaded_from<measure>(without_id); });
  EXPECT_EQ(log.lines, (std::vector<captured_log::line>{{-1, wrapper_file, 115, "json does not have a class name field!"}}));
  ASSERT_FALSE(chain.empty());
  EXPECT_EQ(chain.front().function, "load");
  EXPECT_EQ(chain.front().message.rfind(typeid(measure).name(), 0), 0u);
  EXPECT_EQ(chain.back(), (error_link{"load_object", impl_file, 247, "Non valid class name"}));
}

TEST(Measure, LoadedFromANullObjectItRefusesToNameItsCurve) {
  const ordered_json null_envelope = {{"Class", "null object!"}};
  const auto loaded = loaded_from<measure>(null_envelope);
  ASSERT_NE(loaded, nullptr);
  // What the simulation does with a measure: build the domestic rate id from its discount id.
  const auto use = chain_of([&] { diffusion_ir_id domestic(loaded->id()); });
  ASSERT_EQ(use.size(), 1u);
  EXPECT_EQ(use[0].function, "id");
  EXPECT_EQ(use[0].file, measures_file);
  EXPECT_EQ(use[0].message.rfind("invalide discount_id!", 0), 0u);
  // It can still be saved: as it was loaded, so that it loads back the same.
  EXPECT_EQ(ordered_json::parse(measure::json_to_string(loaded)), null_envelope);
}

}  // namespace
}  // namespace qavrek::ids_test
