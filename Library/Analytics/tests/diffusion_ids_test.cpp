// The diffusion ids: value identity and hashes, text forms, their checks, and which further ids a
// simulation of each needs (discovery).

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "Analytics/diffusion/credit/id/diffusion_credit_id.h"
#include "Analytics/diffusion/equity/id/diffusion_equity_id.h"
#include "Analytics/diffusion/fx/id/diffusion_fx_id.h"
#include "Analytics/diffusion/ir/id/diffusion_ir_id.h"
#include "ids_test_support.h"

namespace qavrek::ids_test {
namespace {

using id_set = std::unordered_set<ptr_const<diffusion_id>>;

ptr_const<diffusion_id> ir(const char* definition, const char* ccy) {
  return std::make_shared<const diffusion_ir_id>(discount(definition, ccy));
}
ptr_const<diffusion_id> fx(const char* domestic_ccy, const char* foreign_ccy) {
  return std::make_shared<const diffusion_fx_id>(discount("OIS", domestic_ccy), discount("OIS", foreign_ccy));
}
ptr_const<diffusion_id> equity(const char* name, const char* ccy) {
  return std::make_shared<const diffusion_equity_id>(discount("OIS", ccy), key(name));
}
ptr_const<diffusion_id> default_curve(const char* name, const char* ccy) {
  return std::make_shared<const diffusion_credit_id>(credit(name, ccy));
}

// The texts of a set's ids, sorted, to show what a set holds.
std::vector<std::string> texts(const id_set& ids) {
  std::vector<std::string> result;
  for (const auto& id : ids) result.push_back(id->to_string());
  std::sort(result.begin(), result.end());
  return result;
}

// Whether two sets hold equal ids; the sets' own == would compare pointers.
::testing::AssertionResult hold_the_same_ids(const id_set& actual, const id_set& expected) {
  bool same = actual.size() == expected.size();
  for (const auto& id : expected) same = same && actual.contains(id);
  if (same) return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure() << "holds";
  for (const auto& text : texts(actual)) failure << " " << text;
  failure << " instead of";
  for (const auto& text : texts(expected)) failure << " " << text;
  return failure;
}

struct id_pair {
  const char* label;
  std::function<ptr_const<diffusion_id>()> left;
  std::function<ptr_const<diffusion_id>()> right;
  bool equal;
};

TEST(DiffusionIds, IdsBuiltApartAreEqualExactlyWhenTheirValuesAre) {
  const std::vector<id_pair> pairs = {
      {"rate ids of equal curves", [] { return ir("OIS", "EUR"); }, [] { return ir("OIS", "EUR"); }, true},
      {"rate ids of other definitions", [] { return ir("OIS", "EUR"); }, [] { return ir("6M", "EUR"); }, false},
      {"rate ids of other currencies", [] { return ir("OIS", "EUR"); }, [] { return ir("OIS", "USD"); }, false},
      {"equities of equal names and curves", [] { return equity("ACME", "EUR"); },
       [] { return equity("ACME", "EUR"); }, true},
      {"equities of other names", [] { return equity("ACME", "EUR"); }, [] { return equity("EMCA", "EUR"); },
       false},
      {"equities on other curves", [] { return equity("ACME", "EUR"); }, [] { return equity("ACME", "USD"); },
       false},
      {"exchange rates of the same pair", [] { return fx("EUR", "USD"); }, [] { return fx("EUR", "USD"); }, true},
      {"exchange rates in both directions", [] { return fx("EUR", "USD"); }, [] { return fx("USD", "EUR"); }, false},
      {"credit curves of the same entity", [] { return default_curve("ACME", "USD"); },
       [] { return default_curve("ACME", "USD"); }, true},
      {"credit curves of other entities", [] { return default_curve("ACME", "USD"); },
       [] { return default_curve("EMCA", "USD"); }, false},
      // Same text, different kinds of id: a rate id reads like its curve, which an equity never does.
      {"a rate id and an exchange rate of one currency", [] { return ir("OIS", "EUR"); },
       [] { return fx("EUR", "EUR"); }, false},
  };
  for (const auto& p : pairs) {
    const auto left = p.left();
    const auto right = p.right();
    EXPECT_EQ(*left == *right, p.equal) << p.label;
    // Equal ids must hash alike; unequal ones built here differ in a field the hash reads.
    EXPECT_EQ(left->hash() == right->hash(), p.equal) << p.label;
    const id_set set = {left, right};
    EXPECT_EQ(set.size(), p.equal ? 1u : 2u) << p.label;
  }
}

TEST(DiffusionIds, HashesCombineTheKindOrNameWithTheHashOfWhatTheIdIsBuiltOn) {
  const auto eur = discount("OIS", "EUR");
  const auto usd = discount("SOFR", "USD");
  const auto acme = credit("ACME", "USD");
  const size_t eur_rate = key::hash(key("diffusion_ir_id"), eur->hash());
  const size_t usd_rate = key::hash(key("diffusion_ir_id"), usd->hash());
  EXPECT_EQ(diffusion_ir_id(eur).hash(), eur_rate);
  EXPECT_EQ(diffusion_credit_id(acme).hash(), key::hash(key("diffusion_credit_id"), acme->hash()));
  EXPECT_EQ(diffusion_equity_id(eur, key("ACME")).hash(), key::hash(key("ACME"), eur_rate));
  EXPECT_EQ(diffusion_fx_id(eur, usd).hash(), eur_rate ^ (usd_rate * 2));
}

TEST(DiffusionIds, ExchangeRateIsDirected) {
  const auto eur = discount("OIS", "EUR");
  const auto usd = discount("SOFR", "USD");
  const diffusion_fx_id eur_usd(eur, usd);
  const diffusion_fx_id usd_eur(usd, eur);
  EXPECT_NE(eur_usd.hash(), usd_eur.hash());
  EXPECT_EQ(eur_usd.to_string(), "OIS_EUR_SOFR_USD");
  EXPECT_EQ(usd_eur.to_string(), "SOFR_USD_OIS_EUR");
  EXPECT_FALSE(eur_usd == usd_eur);
}

TEST(DiffusionIds, TextsReadLikeWhatTheIdsAreBuiltOn) {
  EXPECT_EQ(ir("OIS", "EUR")->to_string(), discount("OIS", "EUR")->to_string());
  EXPECT_EQ(ir("OIS", "EUR")->to_string(), "OIS_EUR");
  EXPECT_EQ(equity("ACME", "EUR")->to_string(), "ACME_OIS_EUR");
  EXPECT_EQ(default_curve("ACME", "USD")->to_string(), credit("ACME", "USD")->to_string());
}

TEST(DiffusionIds, EquityAndExchangeRateOwnRateIdsEqualToButApartFromOthers) {
  const auto eur = discount("OIS", "EUR");
  const auto usd = discount("SOFR", "USD");
  const auto rate = std::make_shared<const diffusion_ir_id>(eur);
  const diffusion_equity_id stock(eur, key("ACME"));
  const diffusion_fx_id pair(eur, usd);
  EXPECT_NE(stock.diffusion_ir_id_domestic(), rate);
  EXPECT_TRUE(*stock.diffusion_ir_id_domestic() == *rate);
  EXPECT_TRUE(*pair.diffusion_ir_id_domestic() == *rate);
  EXPECT_TRUE(*pair.diffusion_ir_id_foreign() == diffusion_ir_id(usd));
  EXPECT_EQ(stock.name(), key("ACME"));
  // Copies share what they are built on.
  const diffusion_equity_id copy(stock);
  EXPECT_EQ(copy.diffusion_ir_id_domestic(), stock.diffusion_ir_id_domestic());
}

TEST(DiffusionIds, MissingCurvesAreRefusedByTheRateIdsCheck) {
  const error_link no_discount{"validate", "Library/Analytics/diffusion/ir/id/diffusion_ir_id", 89,
                               "invalide discount_id!"};
  struct refusal {
    const char* label;
    std::function<void()> build;
    error_link error;
  };
  const std::vector<refusal> refusals = {
      {"rate id", [] { diffusion_ir_id(nullptr); }, no_discount},
      {"equity", [] { diffusion_equity_id(nullptr, key("ACME")); }, no_discount},
      {"exchange rate without domestic curve", [] { diffusion_fx_id(nullptr, discount("OIS", "USD")); },
       no_discount},
      {"exchange rate without foreign curve", [] { diffusion_fx_id(discount("OIS", "EUR"), nullptr); },
       no_discount},
      {"credit", [] { diffusion_credit_id(nullptr); },
       {"validate", "Library/Analytics/diffusion/credit/id/diffusion_credit_id", 59, "invalide default id!"}},
  };
  for (const auto& r : refusals) EXPECT_EQ(chain_of(r.build), std::vector<error_link>{r.error}) << r.label;
}

// The measure's rate id, as the simulation builds it, and a fresh set for each discovery.
class Discovery : public ::testing::Test {
 protected:
  const ptr_const<discount_id> eur_curve = discount("OIS", "EUR");
  const ptr_const<diffusion_id> domestic = std::make_shared<const diffusion_ir_id>(eur_curve);
  id_set needed;

  void discover(const ptr_const<diffusion_id>& id) { id->discovery(domestic, nullptr, needed); }
};

TEST_F(Discovery, RateInTheMeasuresCurrencyNeedsNothing) {
  // The same currency object, a currency built apart, and another curve of that currency.
  const auto shared = std::make_shared<const diffusion_ir_id>(
      std::make_shared<const discount_id>(std::make_shared<const discount_definition>(key("6M")), eur_curve->ccy()));
  for (const auto& id : {ptr_const<diffusion_id>(shared), domestic, ir("OIS", "EUR"), ir("6M", "EUR")}) discover(id);
  EXPECT_TRUE(needed.empty());
}

TEST_F(Discovery, ForeignRateNeedsTheMeasuresRateAndTheExchangeRateFromIt) {
  discover(ir("SOFR", "USD"));
  const id_set expected = {ir("OIS", "EUR"),
                           std::make_shared<const diffusion_fx_id>(eur_curve, discount("SOFR", "USD"))};
  EXPECT_TRUE(hold_the_same_ids(needed, expected));
  // The exchange rate runs from the measure's currency: the reverse pair is not what was added.
  EXPECT_FALSE(needed.contains(std::make_shared<const diffusion_fx_id>(discount("SOFR", "USD"), eur_curve)));
}

TEST_F(Discovery, IdsAlreadyNeededAreNotAddedTwice) {
  needed.insert(ir("OIS", "EUR"));  // equal to the measure's rate id, built apart
  discover(ir("SOFR", "USD"));
  discover(ir("SOFR", "USD"));
  discover(equity("ACME", "EUR"));
  EXPECT_EQ(needed.size(), 2u);
}

TEST_F(Discovery, EquityNeedsItsRateAndExchangeRateNeedsBoth) {
  discover(equity("ACME", "USD"));
  EXPECT_TRUE(hold_the_same_ids(needed, {ir("OIS", "USD")}));
  needed.clear();
  discover(fx("GBP", "JPY"));
  EXPECT_TRUE(hold_the_same_ids(needed, {ir("OIS", "GBP"), ir("OIS", "JPY")}));
}

TEST_F(Discovery, CreditNeedsNothing) {
  discover(default_curve("ACME", "USD"));
  EXPECT_TRUE(needed.empty());
}

TEST_F(Discovery, RateNeedsARateIdAsTheMeasuresRate) {
  const auto foreign = ir("SOFR", "USD");
  EXPECT_THROW(foreign->discovery(nullptr, nullptr, needed), Error);
  EXPECT_THROW(foreign->discovery(fx("EUR", "USD"), nullptr, needed), Error);
  EXPECT_TRUE(needed.empty());
}

}  // namespace
}  // namespace qavrek::ids_test
