#include <gtest/gtest.h>

#include <memory>

#include "Core/error.h"
#include "Market/default_id.h"
#include "Market/discount_id.h"

namespace qavrek {

// The persistence layer reaches the ids' loading members as this friend. This binary does not
// link that layer, so the test stands in for it with the same calls a loader makes: default
// object, setters, then initialize.
namespace serialization {
class access {
 public:
  static std::shared_ptr<discount_id> load_discount_id(const char* definition, const char* ccy) {
    auto loaded_definition = std::shared_ptr<discount_definition>(new discount_definition());
    loaded_definition->set_name(key(definition));
    loaded_definition->initialize();
    auto loaded_ccy = std::shared_ptr<currency>(new currency());
    loaded_ccy->set_name(key(ccy));
    loaded_ccy->initialize();
    auto id = std::shared_ptr<discount_id>(new discount_id());
    id->set_definition(loaded_definition);
    id->set_ccy(loaded_ccy);
    id->initialize();
    return id;
  }

  static std::shared_ptr<default_id> load_default_id(const char* name, const char* ccy) {
    auto id = std::shared_ptr<default_id>(new default_id());
    id->set_name(key(name));
    id->set_ccy(ccy ? std::make_shared<currency>(key(ccy)) : nullptr);
    id->set_seniority(key("SNRFOR"));
    id->set_restructuring(key("XR14"));
    id->set_isda(key("2014"));
    id->initialize();
    return id;
  }

  static std::shared_ptr<discount_id> empty_discount_id() { return std::shared_ptr<discount_id>(new discount_id()); }
};
}  // namespace serialization

namespace {

using serialization::access;

TEST(IdLoading, LoadedIdsEqualConstructedOnes) {
  const discount_id built(std::make_shared<discount_definition>(key("OIS")), std::make_shared<currency>(key("EUR")));
  const auto loaded = access::load_discount_id("OIS", "EUR");
  EXPECT_EQ(*loaded, built);
  EXPECT_EQ(loaded->hash(), built.hash());

  const default_id built_credit(key("ACME"), std::make_shared<currency>(key("USD")), key("SNRFOR"), key("XR14"),
                                key("2014"));
  EXPECT_EQ(*access::load_default_id("ACME", "USD"), built_credit);
}

TEST(IdLoading, InitializeRefusesWhatTheConstructorRefuses) {
  EXPECT_THROW(access::load_discount_id("", "EUR"), Error);
  EXPECT_THROW(access::load_discount_id("OIS", ""), Error);
  EXPECT_THROW(access::load_default_id("", "USD"), Error);
  EXPECT_THROW(access::load_default_id("ACME", nullptr), Error);
}

TEST(IdLoading, AnIdNotYetFilledCanStillBeHashedAndPrinted) {
  const auto empty = access::empty_discount_id();
  EXPECT_EQ(empty->to_string(), "_");
  EXPECT_EQ(empty->hash(), access::empty_discount_id()->hash());
  EXPECT_EQ(*empty, *access::empty_discount_id());
  EXPECT_NE(*empty, *access::load_discount_id("OIS", "EUR"));
}

}  // namespace
}  // namespace qavrek
