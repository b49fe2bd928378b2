// The persistent forms of the Market ids held by analytics objects: discount ids with their
// definitions and currencies, default ids, and keys.

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "Analytics/change_of_measure/measure.h"
#include "Analytics/common/market_id_forms.h"
#include "Analytics/diffusion/credit/id/diffusion_credit_id.h"
#include "ids_test_support.h"

namespace qavrek::ids_test {
namespace {

const ordered_json ois_eur_form = ordered_json::parse(R"({
  "Class": "qavrek::discount_id",
  "id": {"Class": "qavrek::discount_definition", "id": "OIS"},
  "ccy": {"Class": "qavrek::currency", "ccy": "EUR"}
})");

ptr_const<discount_id> from_json(const ordered_json& j) {
  ptr_const<discount_id> loaded;
  discount_id_from_json(j, loaded);
  return loaded;
}

TEST(DiscountIdForm, JsonNestsTheDefinitionThenTheCurrencyUnderTheirKeys) {
  ordered_json saved;
  discount_id_to_json(saved, discount("OIS", "EUR"));
  EXPECT_EQ(saved, ois_eur_form);
  EXPECT_EQ(saved.dump(), ois_eur_form.dump());  // member order too
  EXPECT_TRUE(*from_json(saved) == *discount("OIS", "EUR"));
}

TEST(DiscountIdForm, BinaryIsThreeClassNamesAndTwoKeysInTheJsonOrder) {
  multi_process_stream saved;
  discount_id_to_binary(saved, discount("OIS", "EUR"));
  multi_process_stream expected;
  for (const char* text : {"qavrek::discount_id", "qavrek::discount_definition", "OIS", "qavrek::currency", "EUR"})
    expected << std::string(text);
  EXPECT_EQ(saved.GetRawData(), expected.GetRawData());

  auto reading = reopened(saved);
  ptr_const<discount_id> loaded;
  discount_id_from_binary(reading, loaded);
  EXPECT_TRUE(*loaded == *discount("OIS", "EUR"));
  EXPECT_EQ(reading.remaining(), 0u);
}

TEST(DiscountIdForm, NullMemberLoadsAsADefaultObjectNotANullPointer) {
  ordered_json json = ois_eur_form;
  json["ccy"] = {{"Class", "null object!"}};
  multi_process_stream binary;
  for (const char* text : {"qavrek::discount_id", "qavrek::discount_definition", "OIS", "null object!"})
    binary << std::string(text);

  ptr_const<discount_id> from_binary;
  discount_id_from_binary(binary, from_binary);
  for (const auto& loaded : {from_json(json), from_binary}) {
    ASSERT_NE(loaded->ccy(), nullptr);
    EXPECT_EQ(loaded->ccy()->to_string(), "");
    EXPECT_EQ(loaded->definition()->to_string(), "OIS");
    EXPECT_EQ(loaded->to_string(), "OIS_");  // usable: the empty currency is a value
  }
  // Saved again, the default currency is the null envelope it came from: its empty name would not load.
  ordered_json resaved;
  discount_id_to_json(resaved, from_json(json));
  EXPECT_EQ(resaved["ccy"], (ordered_json{{"Class", "null object!"}}));
}

TEST(DiscountIdForm, MissingDefinitionIsLoggedAndFailsAlongTheWholeChain) {
  ordered_json json = ois_eur_form;
  json.erase("id");
  const captured_log log;
  const auto chain = chain_of([&] { from_json(json); });
  EXPECT_EQ(log.lines, (std::vector<captured_log::line>{{-1, wrapper_file, 115, "json does not have a class name field!"}}));

  // Each step names the class it was handling, outermost first.
  const std::string id_type = typeid(discount_id).name();
  const std::string definition_type = typeid(discount_definition).name();
  const std::string innermost = "Non valid class name";
  EXPECT_EQ(chain, (std::vector<error_link>{
                       {"load", impl_file, 344, id_type + id_type + definition_type + definition_type + innermost},
                       {"load_object", impl_file, 268, id_type + definition_type + definition_type + innermost},
                       {"load", impl_file, 344, definition_type + definition_type + innermost},
                       {"load_object", impl_file, 268, definition_type + innermost},
                       {"load_object", impl_file, 247, innermost}}));
}

TEST(DiscountIdForm, KeysMustBeNonEmptyJsonStrings) {
  struct bad_key {
    const char* label;
    ordered_json value;
    std::string innermost;
  };
  const std::vector<bad_key> cases = {
      {"number", 5, "[json.exception.type_error.302] type must be string, but is number"},
      {"missing", nullptr, "[json.exception.type_error.302] type must be string, but is null"},
      {"empty", "", "invalide currency!"},  // the currency's own check, once its fields are read
  };
  for (const auto& c : cases) {
    ordered_json json = ois_eur_form;
    if (c.value.is_null())
      json["ccy"].erase("ccy");
    else
      json["ccy"]["ccy"] = c.value;
    EXPECT_EQ(root_cause([&] { from_json(json); }).message, c.innermost) << c.label;
  }
}

TEST(DefaultIdForm, JsonListsNameCurrencyAndTermsInOrderAndRoundTrips) {
  const auto id = credit("ACME", "USD");
  ordered_json saved;
  default_id_to_json(saved, id);
  const ordered_json expected = ordered_json::parse(R"({
    "Class": "qavrek::default_id", "name": "ACME", "ccy": {"Class": "qavrek::currency", "ccy": "USD"},
    "seniority": "SNRFOR", "restructuring": "XR14", "isda": "2014"
  })");
  EXPECT_EQ(saved.dump(), expected.dump());

  multi_process_stream binary;
  default_id_to_binary(binary, id);
  multi_process_stream expected_binary;
  for (const char* text : {"qavrek::default_id", "ACME", "qavrek::currency", "USD", "SNRFOR", "XR14", "2014"})
    expected_binary << std::string(text);
  EXPECT_EQ(binary.GetRawData(), expected_binary.GetRawData());

  ptr_const<default_id> from_json_form, from_binary_form;
  default_id_from_json(saved, from_json_form);
  default_id_from_binary(binary, from_binary_form);
  EXPECT_TRUE(*from_json_form == *id);
  EXPECT_TRUE(*from_binary_form == *id);
}

TEST(DefaultIdForm, LoadingRunsTheDefaultIdChecks) {
  ordered_json saved;
  default_id_to_json(saved, credit("ACME", "USD"));
  saved["name"] = "";
  ptr_const<default_id> loaded;
  EXPECT_EQ(root_cause([&] { default_id_from_json(saved, loaded); }).message, "invalide default_id name!");
}

// Loads a T from either form, saves it into the same kind of archive, and loads and saves that again.
template <class T>
struct resaved_forms {
  ordered_json json;
  multi_process_stream binary;
  ordered_json json_again;
  multi_process_stream binary_again;

  resaved_forms(const ordered_json& json_form, const multi_process_stream& binary_form) {
    serialization::save(json, loaded_from<T>(json_form));
    auto reading = reopened(binary_form);
    serialization::save(binary, loaded_from<T>(reading));
    serialization::save(json_again, loaded_from<T>(json));
    auto reading_again = reopened(binary);
    serialization::save(binary_again, loaded_from<T>(reading_again));
  }
};

// A Market id that a null envelope gave inside another object holds default fields, which its own
// checks refuse: it is saved as the null envelope again, so that what loads can be saved and loaded
// back. The first two cases are inputs that fuzzing found, reduced.
TEST(MarketIdForms, AnIdLoadedFromANullEnvelopeIsSavedAsOne) {
  const ordered_json null_envelope = {{"Class", "null object!"}};
  const auto binary_of = [](std::initializer_list<const char*> texts) {
    multi_process_stream stream;
    for (const char* text : texts) stream << std::string(text);
    return stream;
  };
  struct hollow_case {
    const char* name;
    ordered_json json;
    multi_process_stream binary;
    std::function<void(const hollow_case&)> check;
  };
  // Saving gives back the very form that was loaded, and that loads again.
  const auto same_forms = []<class T>(std::type_identity<T>) {
    return [](const hollow_case& c) {
      std::optional<resaved_forms<T>> forms;
      ASSERT_NO_THROW(forms.emplace(c.json, c.binary)) << c.name;
      EXPECT_EQ(forms->json.dump(), c.json.dump()) << c.name;
      EXPECT_EQ(forms->binary.GetRawData(), c.binary.GetRawData()) << c.name;
      EXPECT_EQ(forms->json_again.dump(), c.json.dump()) << c.name;
      EXPECT_EQ(forms->binary_again.GetRawData(), c.binary.GetRawData()) << c.name;
    };
  };
  ordered_json curve_without_currency = ois_eur_form;
  curve_without_currency["ccy"] = null_envelope;
  ordered_json credit_without_currency;
  default_id_to_json(credit_without_currency, credit("ACME", "USD"));
  credit_without_currency["ccy"] = null_envelope;
  const std::vector<hollow_case> cases = {
      {"measure, currency of its curve",
       {{"Class", "qavrek::measure"}, {"id", curve_without_currency}},
       binary_of({"qavrek::measure", "qavrek::discount_id", "qavrek::discount_definition", "OIS", "null object!"}),
       same_forms(std::type_identity<measure>{})},
      {"credit id, its default id",
       {{"Class", "qavrek::diffusion_credit_id"}, {"id", null_envelope}},
       binary_of({"qavrek::diffusion_credit_id", "null object!"}),
       same_forms(std::type_identity<diffusion_credit_id>{})},
      {"discount id, its definition",
       {{"Class", "qavrek::discount_id"}, {"id", null_envelope}, {"ccy", ois_eur_form["ccy"]}},
       binary_of({"qavrek::discount_id", "null object!", "qavrek::currency", "EUR"}),
       same_forms(std::type_identity<discount_id>{})},
      {"default id, its currency", credit_without_currency,
       binary_of({"qavrek::default_id", "ACME", "null object!", "SNRFOR", "XR14", "2014"}),
       same_forms(std::type_identity<default_id>{})},
  };
  for (const auto& c : cases) c.check(c);
}

TEST(KeyForm, IsItsTextInBothArchives) {
  ordered_json json;
  key_to_json(json, key("3M"));
  EXPECT_EQ(json, "3M");
  key from_json_form;
  key_from_json(json, from_json_form);
  EXPECT_EQ(from_json_form, key("3M"));

  multi_process_stream binary;
  key_to_binary(binary, key("3M"));
  multi_process_stream expected;
  expected << std::string("3M");
  EXPECT_EQ(binary.GetRawData(), expected.GetRawData());
  key from_binary_form;
  key_from_binary(binary, from_binary_form);
  EXPECT_EQ(from_binary_form, key("3M"));
  EXPECT_EQ(from_binary_form.hash(), key("3M").hash());
}

}  // namespace
}  // namespace qavrek::ids_test
