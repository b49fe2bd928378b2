// The persisted forms of the diffusion ids, alone and held through their common base.

#include <gtest/gtest.h>

#include <string>
#include <unordered_set>
#include <vector>

#include "Analytics/diffusion/credit/id/diffusion_credit_id.h"
#include "Analytics/diffusion/equity/id/diffusion_equity_id.h"
#include "Analytics/diffusion/fx/id/diffusion_fx_id.h"
#include "Analytics/diffusion/ir/id/diffusion_ir_id.h"
#include "Serialization/serialization_impl.h"
#include "ids_test_support.h"

namespace qavrek::ids_test {
namespace {

template <class T>
ordered_json json_of(const ptr_const<T>& object) {
  return ordered_json::parse(T::json_to_string(object));
}

const ordered_json eur_curve_form = ordered_json::parse(R"({
  "Class": "qavrek::discount_id",
  "id": {"Class": "qavrek::discount_definition", "id": "OIS"},
  "ccy": {"Class": "qavrek::currency", "ccy": "EUR"}
})");

const ordered_json eur_rate_form = {{"Class", "qavrek::diffusion_ir_id"}, {"id", eur_curve_form}};

TEST(DiffusionIdForms, JsonNestsWholeObjectsUnderTheKeysOfEachKind) {
  const auto usd_curve_form = [] {
    ordered_json form = eur_curve_form;
    form["id"]["id"] = "SOFR";
    form["ccy"]["ccy"] = "USD";
    return form;
  }();
  const ordered_json usd_rate_form = {{"Class", "qavrek::diffusion_ir_id"}, {"id", usd_curve_form}};

  EXPECT_EQ(json_of<diffusion_ir_id>(std::make_shared<const diffusion_ir_id>(discount("OIS", "EUR"))).dump(),
            eur_rate_form.dump());

  const ordered_json fx_form = {{"Class", "qavrek::diffusion_fx_id"},
                                {"diffusion_ir_id_domestic", eur_rate_form},
                                {"diffusion_ir_id_foreign", usd_rate_form}};
  EXPECT_EQ(json_of<diffusion_fx_id>(
                std::make_shared<const diffusion_fx_id>(discount("OIS", "EUR"), discount("SOFR", "USD")))
                .dump(),
            fx_form.dump());

  const ordered_json equity_form = {
      {"Class", "qavrek::diffusion_equity_id"}, {"diffusion_domestic_ir_id", eur_rate_form}, {"name", "ACME"}};
  const auto equity = std::make_shared<const diffusion_equity_id>(discount("OIS", "EUR"), key("ACME"));
  EXPECT_EQ(json_of<diffusion_equity_id>(equity).dump(), equity_form.dump());

  const auto credit_form =
      json_of<diffusion_credit_id>(std::make_shared<const diffusion_credit_id>(credit("ACME", "USD")));
  EXPECT_EQ(keys_of(credit_form), (std::vector<std::string>{"Class", "id"}));
  EXPECT_EQ(credit_form["id"]["Class"], "qavrek::default_id");
}

TEST(DiffusionIdForms, BinaryIsTheClassNameThenTheFieldsInTheJsonOrder) {
  multi_process_stream saved;
  serialization::save(saved, ptr_const<diffusion_equity_id>(
                                 std::make_shared<const diffusion_equity_id>(discount("OIS", "EUR"), key("ACME"))));
  multi_process_stream expected;
  for (const char* text : {"qavrek::diffusion_equity_id", "qavrek::diffusion_ir_id", "qavrek::discount_id",
                           "qavrek::discount_definition", "OIS", "qavrek::currency", "EUR", "ACME"})
    expected << std::string(text);
  EXPECT_EQ(saved.GetRawData(), expected.GetRawData());
}

TEST(DiffusionIdForms, HeldThroughTheBaseTheNameComesTwice) {
  const ptr_const<diffusion_id> held = std::make_shared<const diffusion_ir_id>(discount("OIS", "EUR"));
  multi_process_stream saved;
  serialization::save(saved, held);
  multi_process_stream expected;
  for (const char* text : {"qavrek::diffusion_ir_id", "qavrek::diffusion_ir_id", "qavrek::discount_id",
                           "qavrek::discount_definition", "OIS", "qavrek::currency", "EUR"})
    expected << std::string(text);
  EXPECT_EQ(saved.GetRawData(), expected.GetRawData());

  ordered_json json;
  serialization::save(json, held);
  EXPECT_EQ(json.dump(), eur_rate_form.dump());  // "Class" written twice lands in one member

  ptr_const<diffusion_id> from_json, from_binary;
  serialization::load(json, from_json);
  serialization::load(saved, from_binary);
  for (const auto& loaded : {from_json, from_binary}) {
    ASSERT_NE(dynamic_cast<const diffusion_ir_id*>(loaded.get()), nullptr);
    EXPECT_TRUE(*loaded == *held);
  }
}

TEST(DiffusionIdForms, LoadedRateIdsFindTheirCurrencyByValue) {
  const auto loaded = loaded_from<diffusion_ir_id>(eur_rate_form);
  const ptr_const<diffusion_id> domestic = std::make_shared<const diffusion_ir_id>(discount("OIS", "EUR"));
  std::unordered_set<ptr_const<diffusion_id>> needed;
  loaded->discovery(domestic, nullptr, needed);
  EXPECT_TRUE(needed.empty());
}

TEST(DiffusionIdForms, NestedNullObjectsLoadButRefuseUse) {
  const ordered_json null_envelope = {{"Class", "null object!"}};

  // A rate id whose curve is a null object: a curve without parts, which reads and hashes but
  // cannot say its currency.
  ordered_json rate = eur_rate_form;
  rate["id"] = null_envelope;
  const auto hollow_rate = loaded_from<diffusion_ir_id>(rate);
  EXPECT_EQ(hollow_rate->to_string(), "_");
  std::unordered_set<ptr_const<diffusion_id>> needed;
  const ptr_const<diffusion_id> domestic = std::make_shared<const diffusion_ir_id>(discount("OIS", "EUR"));
  const auto refusal = root_cause([&] { hollow_rate->discovery(domestic, nullptr, needed); });
  EXPECT_EQ(refusal.function, "discovery");
  EXPECT_NE(refusal.message.find("has no currency"), std::string::npos) << refusal.message;

  // An equity and an exchange rate whose rate ids are null objects.
  const ordered_json equity = {
      {"Class", "qavrek::diffusion_equity_id"}, {"diffusion_domestic_ir_id", null_envelope}, {"name", "ACME"}};
  const ordered_json fx = {{"Class", "qavrek::diffusion_fx_id"},
                           {"diffusion_ir_id_domestic", eur_rate_form},
                           {"diffusion_ir_id_foreign", null_envelope}};
  const auto hollow_equity = loaded_from<diffusion_equity_id>(equity);
  const auto hollow_fx = loaded_from<diffusion_fx_id>(fx);
  for (const ptr_const<diffusion_id>& id :
       {ptr_const<diffusion_id>(hollow_equity), ptr_const<diffusion_id>(hollow_fx)}) {
    const auto error = root_cause([&] { id->hash(); });
    EXPECT_EQ(error.file, "Library/Analytics/diffusion/ir/id/diffusion_ir_id");
    EXPECT_NE(error.message.find("loaded from a null object"), std::string::npos) << error.message;
    EXPECT_THROW(id->to_string(), Error);
  }
}

TEST(DiffusionIdForms, LoadingChecksTheFieldsLikeTheConstructors) {
  // A missing nested object is no object at all: the loader refuses it.
  const ordered_json without_curve = {{"Class", "qavrek::diffusion_ir_id"}};
  const captured_log log;
  EXPECT_EQ(root_cause([&] { loaded_from<diffusion_ir_id>(without_curve); }),
            (error_link{"load_object", impl_file, 247, "Non valid class name"}));
  EXPECT_EQ(log.lines.size(), 1u);

  const ordered_json unnamed = {
      {"Class", "qavrek::diffusion_equity_id"}, {"diffusion_domestic_ir_id", eur_rate_form}, {"name", 3}};
  EXPECT_EQ(root_cause([&] { loaded_from<diffusion_equity_id>(unnamed); }).message,
            "[json.exception.type_error.302] type must be string, but is number");
}

}  // namespace
}  // namespace qavrek::ids_test
