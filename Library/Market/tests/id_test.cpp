#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "Core/error.h"
#include "Market/default_id.h"
#include "Market/discount_id.h"

namespace qavrek {
namespace {

// Every call builds new objects, so ids compared below never share a pointer.
ptr_const<discount_id> discount(const char* definition, const char* ccy) {
  return std::make_shared<discount_id>(std::make_shared<discount_definition>(key(definition)),
                                       std::make_shared<currency>(key(ccy)));
}

ptr_const<default_id> credit(const char* name, const char* ccy, const char* seniority, const char* restructuring,
                             const char* isda) {
  return std::make_shared<default_id>(key(name), std::make_shared<currency>(key(ccy)), key(seniority),
                                      key(restructuring), key(isda));
}

// Two id classes with the same field, the same text and the same hash: only their type tells them apart.
template <int Kind>
class named_id : public market_data_id {
 public:
  explicit named_id(const char* name) : name_(name) {}
  std::string to_string() const override { return name_.to_string(); }
  size_t hash() const override { return name_.hash(); }

 protected:
  bool equals(const data_id& other) const override { return name_ == static_cast<const named_id&>(other).name_; }

 private:
  key name_;
};

struct id_pair {
  const char* name;
  std::function<ptr_const<data_id>()> left;
  std::function<ptr_const<data_id>()> right;
  bool equal;
  // Unequal ids of one class should hash apart: a hash that skips a field collides on these.
  bool hashes_differ;
};

const std::vector<id_pair>& id_pairs() {
  static const std::vector<id_pair> pairs = {
      {"discount ids with equal fields", [] { return discount("OIS", "EUR"); }, [] { return discount("OIS", "EUR"); },
       true, false},
      {"discount ids of other definitions", [] { return discount("OIS", "EUR"); },
       [] { return discount("6M", "EUR"); }, false, true},
      {"discount ids of other currencies", [] { return discount("OIS", "EUR"); },
       [] { return discount("OIS", "USD"); }, false, true},
      {"discount ids with definition and currency swapped", [] { return discount("EUR", "USD"); },
       [] { return discount("USD", "EUR"); }, false, true},
      {"default ids with equal fields", [] { return credit("ACME", "USD", "SNRFOR", "XR14", "2014"); },
       [] { return credit("ACME", "USD", "SNRFOR", "XR14", "2014"); }, true, false},
      {"default ids of other names", [] { return credit("ACME", "USD", "SNRFOR", "XR14", "2014"); },
       [] { return credit("ACNE", "USD", "SNRFOR", "XR14", "2014"); }, false, true},
      {"default ids of other currencies", [] { return credit("ACME", "USD", "SNRFOR", "XR14", "2014"); },
       [] { return credit("ACME", "EUR", "SNRFOR", "XR14", "2014"); }, false, true},
      {"default ids of other seniorities", [] { return credit("ACME", "USD", "SNRFOR", "XR14", "2014"); },
       [] { return credit("ACME", "USD", "SUBLT2", "XR14", "2014"); }, false, true},
      {"default ids of other restructuring clauses", [] { return credit("ACME", "USD", "SNRFOR", "XR14", "2014"); },
       [] { return credit("ACME", "USD", "SNRFOR", "MM14", "2014"); }, false, true},
      {"default ids of other ISDA definitions", [] { return credit("ACME", "USD", "SNRFOR", "XR14", "2014"); },
       [] { return credit("ACME", "USD", "SNRFOR", "XR14", "2003"); }, false, true},
      {"default ids with a term moved to the next field", [] { return credit("ACME", "USD", "XR14", "", ""); },
       [] { return credit("ACME", "USD", "", "XR14", ""); }, false, true},
      {"a discount id and a default id", [] { return discount("OIS", "EUR"); },
       [] { return credit("OIS", "EUR", "", "", ""); }, false, false},
      {"ids of two classes with equal fields", [] { return std::make_shared<named_id<1>>("EUR"); },
       [] { return std::make_shared<named_id<2>>("EUR"); }, false, false},
  };
  return pairs;
}

TEST(DataId, EqualityAndHashFollowTheFields) {
  for (const id_pair& pair : id_pairs()) {
    SCOPED_TRACE(pair.name);
    const ptr_const<data_id> left = pair.left();
    const ptr_const<data_id> right = pair.right();
    EXPECT_EQ(*left == *right, pair.equal);
    EXPECT_EQ(*right == *left, pair.equal);
    EXPECT_EQ(*left != *right, !pair.equal);
    EXPECT_TRUE(*left == *left);
    if (pair.equal) {
      EXPECT_EQ(left->hash(), right->hash());
      EXPECT_EQ(left->to_string(), right->to_string());
    }
    if (pair.hashes_differ) {
      EXPECT_NE(left->hash(), right->hash());
    }
  }
}

TEST(DataId, HashesAreFixedNumbers) {
  // Worked out by hand from FNV-1a and key's combination, so they hold in every run and on every
  // platform: the class name seeds the hash, then each field's key is combined in field order.
  EXPECT_EQ(discount("OIS", "EUR")->hash(), size_t{0x288718bc993ed946});
  EXPECT_EQ(currency(key("EUR")).hash(), size_t{0x8b390d07bbb4fb77});
}

TEST(DataId, TextsNameTheFieldsInOrder) {
  EXPECT_EQ(discount("OIS", "EUR")->to_string(), "OIS_EUR");
  EXPECT_EQ(credit("ACME", "USD", "SNRFOR", "XR14", "2014")->to_string(), "ACME_USD_SNRFOR_XR14_2014");
}

TEST(DataId, ValuesAndCurrenciesCompareByName) {
  EXPECT_EQ(currency(key("EUR")), currency(key("EUR")));
  EXPECT_NE(currency(key("EUR")), currency(key("USD")));
  EXPECT_EQ(discount_definition(key("OIS")).hash(), discount_definition(key("OIS")).hash());
  // Same text, other kind of value: kept apart by the hash seed.
  EXPECT_NE(discount_definition(key("EUR")).hash(), currency(key("EUR")).hash());
}

TEST(DataId, CopiesShareTheirPartsAndStayEqual) {
  const auto original = discount("OIS", "EUR");
  const discount_id copy = *original;
  EXPECT_EQ(copy, *original);
  EXPECT_EQ(copy.ccy(), original->ccy());
  EXPECT_EQ(copy.definition(), original->definition());
}

TEST(DataId, SharedIdsKeySetsByValue) {
  std::unordered_set<ptr_const<discount_id>> curves;
  curves.insert(discount("OIS", "EUR"));
  curves.insert(discount("OIS", "EUR"));
  curves.insert(discount("OIS", "USD"));
  EXPECT_EQ(curves.size(), 2u);
  EXPECT_TRUE(curves.contains(discount("OIS", "USD")));
  EXPECT_FALSE(curves.contains(discount("6M", "USD")));

  // A set over the base mixes kinds and still finds ids by value.
  std::unordered_set<ptr_const<market_data_id>> ids{discount("OIS", "EUR"), credit("ACME", "EUR", "", "", "")};
  EXPECT_TRUE(ids.contains(credit("ACME", "EUR", "", "", "")));
  EXPECT_FALSE(ids.contains(credit("ACME", "USD", "", "", "")));

  // An empty pointer is a value of its own, not a crash.
  ids.insert(nullptr);
  EXPECT_EQ(ids.size(), 3u);
  EXPECT_TRUE(ids.contains(nullptr));
}

struct refused_id {
  const char* name;
  std::function<void()> build;
  const char* message;
};

TEST(DataId, IncompleteIdsAreRefused) {
  const auto eur = std::make_shared<currency>(key("EUR"));
  const auto ois = std::make_shared<discount_definition>(key("OIS"));
  const std::vector<refused_id> cases = {
      {"currency without a code", [] { static_cast<void>(currency(key(""))); }, "invalide currency!"},
      {"definition without a name", [] { static_cast<void>(discount_definition(key(""))); }, "invalide discount_definition!"},
      {"discount id without a definition", [&] { static_cast<void>(discount_id(nullptr, eur)); }, "invalide discount_id definition!"},
      {"discount id without a currency", [&] { static_cast<void>(discount_id(ois, nullptr)); }, "invalide discount_id currency!"},
      {"default id without a name", [&] { static_cast<void>(default_id(key(""), eur, key(), key(), key())); },
       "invalide default_id name!"},
      {"default id without a currency", [&] { static_cast<void>(default_id(key("ACME"), nullptr, key(), key(), key())); },
       "invalide default_id currency!"},
  };
  for (const refused_id& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      c.build();
      ADD_FAILURE() << "accepted";
    } catch (const Error& error) {
      EXPECT_STREQ(error.what(), c.message);
    }
  }
}

}  // namespace
}  // namespace qavrek
