#include <gtest/gtest.h>

#include <memory>
#include <variant>

#include "Core/error.h"
#include "Market/any_container.h"
#include "Market/discount_id.h"

namespace qavrek {
namespace {

ptr_const<discount_id> discount(const char* definition, const char* ccy) {
  return std::make_shared<discount_id>(std::make_shared<discount_definition>(key(definition)),
                                       std::make_shared<currency>(key(ccy)));
}

// Like a measure id: there is one setting of its kind, so every such id is equal to every other.
class settings_id : public config_data_id {
 public:
  std::string to_string() const override { return ""; }
  size_t hash() const override { return key("settings_id").hash(); }

 protected:
  bool equals(const data_id&) const override { return true; }
};

class exercise_id : public life_cycle_data_id {
 public:
  std::string to_string() const override { return "exercise"; }
  size_t hash() const override { return key("exercise_id").hash(); }

 protected:
  bool equals(const data_id&) const override { return true; }
};

class curve : public market_data {
 public:
  explicit curve(double rate) : market_data(datetime(2024, 1, 2)), rate(rate) {}
  double rate;
};

class settings : public config_data {};

class exercise_state : public life_cycle_data {
 public:
  int exercised = 0;
};

class AnyContainer : public ::testing::Test {
 protected:
  AnyContainer() {
    container.add(discount("OIS", "EUR"), eur_curve);
    container.add(discount("OIS", "USD"), usd_curve);
    container.add(std::make_shared<settings_id>(), config);
    container.add(std::make_shared<exercise_id>(), state);
  }

  const std::shared_ptr<const curve> eur_curve = std::make_shared<curve>(0.02);
  const std::shared_ptr<const curve> usd_curve = std::make_shared<curve>(0.04);
  const std::shared_ptr<const settings> config = std::make_shared<settings>();
  const std::shared_ptr<exercise_state> state = std::make_shared<exercise_state>();
  any_container container;
};

TEST_F(AnyContainer, FindsObjectsByIdsBuiltApart) {
  ASSERT_EQ(container.size(), 4u);

  const any_container::value_type* found = container.find(discount("OIS", "USD"));
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(std::get<ptr_const<market_data>>(*found), usd_curve);

  EXPECT_EQ(std::get<ptr_const<config_data>>(container.at(std::make_shared<settings_id>())), config);

  // Life-cycle states stay mutable through the container.
  auto stored = std::static_pointer_cast<exercise_state>(
      std::get<ptr_mutable<life_cycle_data>>(container.at(std::make_shared<exercise_id>())));
  stored->exercised = 3;
  EXPECT_EQ(state->exercised, 3);
}

TEST_F(AnyContainer, MissingIdsAreReported) {
  EXPECT_FALSE(container.contains(discount("6M", "EUR")));
  EXPECT_EQ(container.find(discount("6M", "EUR")), nullptr);
  try {
    container.at(discount("6M", "EUR"));
    FAIL() << "found an object that was never stored";
  } catch (const Error& error) {
    EXPECT_STREQ(error.what(), "no object stored under id 6M_EUR");
  }
}

TEST_F(AnyContainer, AnEqualIdReplacesTheObject) {
  const auto bumped = std::make_shared<const curve>(0.021);
  container.add(discount("OIS", "EUR"), bumped);
  EXPECT_EQ(container.size(), 4u);
  EXPECT_EQ(std::get<ptr_const<market_data>>(container.at(discount("OIS", "EUR"))), bumped);
}

TEST_F(AnyContainer, EmptyObjectsAreRefusedAndNothingIsLost) {
  EXPECT_THROW(container.add(discount("OIS", "EUR"), ptr_const<market_data>()), Error);
  EXPECT_THROW(container.add(std::make_shared<settings_id>(), ptr_const<config_data>()), Error);
  EXPECT_EQ(container.size(), 4u);
  EXPECT_EQ(std::get<ptr_const<market_data>>(container.at(discount("OIS", "EUR"))), eur_curve);
}

TEST(AnyId, ComparesTheHeldIdsByValue) {
  const any_id eur = discount("OIS", "EUR");
  EXPECT_EQ(eur, any_id(discount("OIS", "EUR")));
  EXPECT_NE(eur, any_id(discount("OIS", "USD")));
  EXPECT_NE(eur, any_id(std::make_shared<settings_id>()));
  EXPECT_EQ(std::hash<any_id>{}(eur), discount("OIS", "EUR")->hash());
  EXPECT_EQ(eur.to_string(), "OIS_EUR");
}

TEST(AnyId, TellsItsKind) {
  const any_id market = discount("OIS", "EUR");
  const any_id config = std::make_shared<settings_id>();
  const any_id life_cycle = std::make_shared<exercise_id>();
  EXPECT_TRUE(market.is_market_data_id());
  EXPECT_TRUE(config.is_config_data_id());
  EXPECT_TRUE(life_cycle.is_life_cycle_data_id());
  EXPECT_EQ(std::dynamic_pointer_cast<const discount_id>(market.market_id())->ccy()->to_string(), "EUR");
  EXPECT_THROW(market.config_id(), std::bad_variant_access);
}

TEST(AnyId, RefusesAnEmptyId) {
  try {
    any_id id{ptr_const<market_data_id>()};
    FAIL() << "accepted an empty id";
  } catch (const Error& error) {
    EXPECT_STREQ(error.what(), "invalide any_id!");
  }
}

}  // namespace
}  // namespace qavrek
