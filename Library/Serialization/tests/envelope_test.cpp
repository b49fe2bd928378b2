#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "persistence_test_support.h"

namespace qavrek::persistence_test {
namespace {

using serialization::load_shared_object;
using serialization::save;

const std::string record_type = typeid(sample_record).name();
const std::string book_type = typeid(record_book).name();

std::vector<std::string> keys_of(const ordered_json& object) {
  std::vector<std::string> keys;
  for (const auto& member : object.items()) keys.push_back(member.key());
  return keys;
}

template <class T, class Archive>
ptr_const<T> loaded_from(Archive& archive) {
  ptr_const<T> loaded;
  load_shared_object(archive, loaded);
  return loaded;
}

TEST(PersistenceEnvelope, JsonHasTheClassNameThenTheFieldsInDeclarationOrder) {
  ordered_json envelope;
  save(envelope, full_record());
  EXPECT_EQ(keys_of(envelope), (std::vector<std::string>{"Class", "rate", "active", "count", "code", "small", "device",
                                                         "model", "date", "name", "desk", "fixings", "grid", "dates"}));
  EXPECT_EQ(envelope["Class"], "qavrek::persistence_test::sample_record");
}

TEST(PersistenceEnvelope, NullPointerIsTheClassNameNullObjectAlone) {
  EXPECT_EQ(sample_record::json_to_string(nullptr), "{\n  \"Class\": \"null object!\"\n}");

  multi_process_stream saved;
  save(saved, ptr_const<sample_record>());
  multi_process_stream expected;
  expected << std::string("null object!");
  EXPECT_EQ(saved.GetRawData(), expected.GetRawData());
}

TEST(PersistenceEnvelope, NullEnvelopeLoadsADefaultObjectWithoutInitialize) {
  const ordered_json json_null = {{"Class", "null object!"}};
  multi_process_stream binary_null;
  binary_null << std::string("null object!");

  const auto from_json = loaded_from<sample_record>(json_null);
  const auto from_binary = loaded_from<sample_record>(binary_null);
  for (const auto& loaded : {from_json, from_binary}) {
    ASSERT_NE(loaded, nullptr);
    EXPECT_FALSE(loaded->initialized());
    EXPECT_EQ(loaded->get(), sample_record::values{});
  }
  EXPECT_EQ(binary_null.remaining(), 0u);
}

// What a class can save it can load: an object that came from a null envelope (and any copy of it)
// saves that envelope again, and so loads back as the same default object.
TEST(PersistenceEnvelope, AnObjectLoadedFromANullEnvelopeSavesItAgain) {
  const ordered_json json_null = {{"Class", "null object!"}};
  multi_process_stream binary_null;
  binary_null << std::string("null object!");
  const auto null_bytes = binary_null.GetRawData();
  for (const auto& loaded : {loaded_from<sample_record>(json_null), loaded_from<sample_record>(binary_null)}) {
    const auto copy = std::make_shared<const sample_record>(*loaded);
    for (const auto& object : {loaded, copy}) {
      ordered_json json;
      save(json, object);
      EXPECT_EQ(json, json_null);
      multi_process_stream binary;
      save(binary, object);
      EXPECT_EQ(binary.GetRawData(), null_bytes);
    }
  }
  // An object built by its constructor with the default values is not a null one.
  ordered_json json;
  save(json, std::make_shared<const sample_record>(sample_record::values{}));
  EXPECT_EQ(json["Class"], "qavrek::persistence_test::sample_record");
}

TEST(PersistenceEnvelope, NullPointersInsideAnObjectLoadAsDefaultObjects) {
  const auto book = std::make_shared<const record_book>(
      "desk", nullptr, std::vector<ptr_const<sample_record>>{full_record(), nullptr});
  ordered_json envelope;
  save(envelope, book);
  EXPECT_EQ(envelope["main"], (ordered_json{{"Class", "null object!"}}));
  EXPECT_EQ(envelope["history"][1], (ordered_json{{"Class", "null object!"}}));

  multi_process_stream binary;
  save(binary, book);
  for (const auto& loaded : {loaded_from<record_book>(envelope), loaded_from<record_book>(binary)}) {
    ASSERT_NE(loaded->main(), nullptr);
    EXPECT_FALSE(loaded->main()->initialized());
    ASSERT_EQ(loaded->history().size(), 2u);
    EXPECT_EQ(loaded->history()[0]->get(), full_values());
    ASSERT_NE(loaded->history()[1], nullptr);
    EXPECT_EQ(loaded->history()[1]->get(), sample_record::values{});
  }
}

TEST(PersistenceEnvelope, ClassWithAnUnusableDefaultStateRefusesTheNullEnvelope) {
  const std::string settings_type = typeid(strict_settings).name();
  const std::string refusal =
      "A null object cannot stand for a qavrek::persistence_test::strict_settings: its default state is not usable";
  const ordered_json json_null = {{"Class", "null object!"}};
  multi_process_stream binary_null;
  binary_null << std::string("null object!");

  for (const auto& chain : {chain_of([&] { loaded_from<strict_settings>(json_null); }),
                            chain_of([&] { loaded_from<strict_settings>(binary_null); })}) {
    ASSERT_EQ(chain.size(), 3u);
    EXPECT_EQ(chain[0], link("load", 344, settings_type + settings_type + refusal));
    EXPECT_EQ(chain[1], link("load_object", 268, settings_type + refusal));
    EXPECT_EQ(chain[2].function, "load_object");
    EXPECT_EQ(chain[2].message, refusal);
  }
  // Saving a null pointer stays possible: only loading it back is refused.
  EXPECT_EQ(strict_settings::json_to_string(nullptr), "{\n  \"Class\": \"null object!\"\n}");
}

TEST(PersistenceEnvelope, AnyOtherClassNameLoadsTheFieldsOfTheTarget) {
  for (const char* name : {"qavrek::persistence_test::square", "not a class at all"}) {
    SCOPED_TRACE(name);
    ordered_json envelope;
    save(envelope, full_record());
    envelope["Class"] = name;
    const auto loaded = loaded_from<sample_record>(envelope);
    EXPECT_EQ(loaded->get(), full_values());
    EXPECT_TRUE(loaded->initialized());
  }
}

TEST(PersistenceEnvelope, LoadingRunsInitializeAndWrapsItsFailure) {
  ordered_json envelope;
  save(envelope, full_record());
  envelope["rate"] = -1.0;
  const std::string check = "Expected v_.rate >= 0.0 to be true, but got false.  a sample rate is never negative";
  const auto chain = chain_of([&] { loaded_from<sample_record>(envelope); });
  ASSERT_EQ(chain.size(), 3u);
  EXPECT_EQ(chain[0], link("load", 344, record_type + record_type + check));
  EXPECT_EQ(chain[1], link("load_object", 268, record_type + check));
  EXPECT_EQ(chain[2].function, "initialize");
  EXPECT_EQ(chain[2].message, check);
}

// An envelope whose class name cannot be read logs why, then fails.
class PersistenceClassName : public captured_log {};

TEST_F(PersistenceClassName, MissingOrNonStringClassLogsAndFails) {
  struct case_ {
    const char* label;
    std::string envelope;
    std::vector<log_line> logged;
  };
  // A name nested far deeper than the call stack could follow: the log quotes its start only.
  const size_t depth = 200000;
  const std::string deep = R"({"Class": )" + std::string(depth, '[') + std::string(depth, ']') + "}";
  const log_line no_class{-1, wrapper_file, 115, "json does not have a class name field!"};
  const std::vector<case_> cases = {
      {"no Class member", R"({"rate": 1.0})", {no_class}},
      {"a class member in another case", R"({"class": "x"})", {no_class}},
      {"Class is a number", R"({"Class": 5})", {{-1, wrapper_file, 127, "name5is not a string!"}}},
      {"Class is null", R"({"Class": null})", {{-1, wrapper_file, 127, "namenullis not a string!"}}},
      {"Class is an object", R"({"Class": {"a": 1}})", {{-1, wrapper_file, 127, R"(name{"a":1}is not a string!)"}}},
      {"envelope is an array", R"([1])", {no_class}},
      {"envelope is null", R"(null)", {no_class}},
      {"Class is empty", R"({"Class": ""})", {}},
      {"Class is nested 200000 deep", deep,
       {{-1, wrapper_file, 127, "name" + std::string(64, '[') + "...is not a string!"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    lines_.clear();
    const ordered_json envelope = ordered_json::parse(c.envelope);
    const auto chain = chain_of([&] { loaded_from<sample_record>(envelope); });
    EXPECT_EQ(chain, (std::vector<error_link>{link("load", 344, record_type + record_type + "Non valid class name"),
                                              link("load_object", 268, record_type + "Non valid class name"),
                                              link("load_object", 247, "Non valid class name")}));
    EXPECT_EQ(lines_, c.logged);
  }
}

TEST_F(PersistenceClassName, EmptyBinaryClassNameFailsWithoutALogLine) {
  multi_process_stream binary;
  binary << std::string();
  const auto chain = chain_of([&] { loaded_from<sample_record>(binary); });
  ASSERT_EQ(chain.size(), 3u);
  EXPECT_EQ(chain[2], link("load_object", 247, "Non valid class name"));
  EXPECT_TRUE(lines_.empty());
}

TEST_F(PersistenceClassName, MissingNestedObjectLogsAndFailsInsideItsHolder) {
  ordered_json envelope;
  save(envelope, std::make_shared<const record_book>("desk", full_record(), std::vector<ptr_const<sample_record>>{}));
  envelope.erase("main");
  const auto chain = chain_of([&] { loaded_from<record_book>(envelope); });
  ASSERT_EQ(chain.size(), 5u);
  EXPECT_EQ(chain[0].message, book_type + book_type + record_type + record_type + "Non valid class name");
  EXPECT_EQ(chain[4], link("load_object", 247, "Non valid class name"));
  EXPECT_EQ(lines_, (std::vector<log_line>{{-1, wrapper_file, 115, "json does not have a class name field!"}}));
}

// Each step prefixes the text of what it caught with the mangled name of what it handled.
TEST(PersistenceErrorChain, NestedFieldFailureNamesEveryEnclosingStep) {
  ordered_json envelope;
  save(envelope, std::make_shared<const record_book>("desk", full_record(), std::vector<ptr_const<sample_record>>{}));
  envelope["main"]["rate"] = "high";
  const std::string json_error = "[json.exception.type_error.302] type must be number, but is string";
  const std::string d = typeid(double).name();

  const auto chain = chain_of([&] { loaded_from<record_book>(envelope); });
  EXPECT_EQ(chain, (std::vector<error_link>{
                       link("load", 344, book_type + book_type + record_type + record_type + d + json_error),
                       link("load_object", 268, book_type + record_type + record_type + d + json_error),
                       link("load", 344, record_type + record_type + d + json_error),
                       link("load_object", 268, record_type + d + json_error),
                       link("load", 344, d + json_error),
                       {"", "", 0, json_error},
                   }));
}

TEST(PersistenceErrorChain, ContainerStepsAddTheVectorTypeAndNothingOfTheirOwn) {
  ordered_json envelope;
  save(envelope, std::make_shared<const record_book>("desk", full_record(),
                                                     std::vector<ptr_const<sample_record>>{full_record(), full_record()}));
  envelope["history"][1]["fixings"] = {1.0, "x"};
  const std::string json_error = "[json.exception.type_error.302] type must be number, but is string";
  const std::string history_type = typeid(std::vector<ptr_const<sample_record>>).name();
  const std::string fixings_type = typeid(std::vector<double>).name();
  const std::string d = typeid(double).name();

  const auto chain = chain_of([&] { loaded_from<record_book>(envelope); });
  ASSERT_EQ(chain.size(), 10u);
  EXPECT_EQ(chain[0].message, book_type + book_type + history_type + record_type + record_type + fixings_type + d + json_error);
  const std::vector<std::pair<std::string, int>> steps = {
      {"load", 344}, {"load_object", 268}, {"load", 344}, {"load_container", 83}, {"load", 344},
      {"load_object", 268}, {"load", 344}, {"load_container", 83}, {"load", 344}, {"", 0}};
  for (size_t i = 0; i < steps.size(); ++i) {
    EXPECT_EQ(chain[i].function, steps[i].first) << i;
    EXPECT_EQ(chain[i].line, steps[i].second) << i;
  }
  EXPECT_EQ(chain[3].message, record_type + record_type + fixings_type + d + json_error);
}

TEST(PersistenceErrorChain, SavingWrapsThePointerTypeThenTheObjectType) {
  const auto holder = std::make_shared<const flag_holder>(static_cast<wide_flags>(std::int64_t{1} << 40));
  const std::string pointer_type = typeid(const flag_holder*).name();
  const std::string holder_type = typeid(flag_holder).name();
  const std::string flags_type = typeid(wide_flags).name();

  ordered_json envelope;
  const auto chain = chain_of([&] { save(envelope, holder); });
  ASSERT_EQ(chain.size(), 4u);
  const std::string check = chain[3].message;
  EXPECT_NE(check.find("the enumeration value 1099511627776 has no 32-bit form"), std::string::npos);
  EXPECT_EQ(chain[0], link("save", 310, pointer_type + holder_type + flags_type + check));
  EXPECT_EQ(chain[1], link("save_object", 234, holder_type + flags_type + check));
  EXPECT_EQ(chain[2], link("save", 310, flags_type + check));
  EXPECT_EQ(chain[3].file, impl_file);
}

TEST(PersistenceErrorChain, BinaryStreamThatEndsEarlyFailsInsideTheStep) {
  multi_process_stream saved;
  save(saved, full_record());
  std::vector<unsigned char> bytes = saved.GetRawData();
  bytes.pop_back();
  multi_process_stream truncated;
  truncated.SetRawData(bytes);

  const auto chain = chain_of([&] { loaded_from<sample_record>(truncated); });
  ASSERT_FALSE(chain.empty());
  EXPECT_EQ(chain[0].function, "load");
  EXPECT_EQ(chain[0].message.rfind(record_type + record_type + typeid(std::vector<datetime>).name(), 0), 0u);
  EXPECT_NE(chain.back().message.find("past the end of the stream"), std::string::npos);
}

}  // namespace
}  // namespace qavrek::persistence_test
