#include <gtest/gtest.h>

#include <memory>
#include <string_view>
#include <type_traits>

#include "Core/error.h"
#include "Market/default_id.h"
#include "Market/discount_id.h"
#include "Serialization/common/persistence_access.h"

namespace qavrek {

// Loaders reach the ids' private default constructors, fields and initialize through
// serialization::persistence_access. This binary does not link the persistence templates, so the
// test makes the same calls a loader makes: default object, each field by its key, then initialize.
namespace {

using serialization::persistence_access;

// Assigns `value` to the field persisted under `name`; the field must exist and take the value.
template <class T, class Value>
void set_field(T& object, std::string_view name, const Value& value) {
  bool assigned = false;
  auto field = [&](const char* key, auto& member) {
    using member_type = std::remove_reference_t<decltype(member)>;
    if constexpr (std::is_assignable_v<member_type&, const Value&>) {
      if (name == key) {
        member = value;
        assigned = true;
      }
    }
  };
  persistence_access::visit_fields(object, field);
  ASSERT_TRUE(assigned) << "no field " << name;
}

std::shared_ptr<discount_id> load_discount_id(const char* definition, const char* ccy) {
  auto loaded_definition = persistence_access::make_default<discount_definition>();
  set_field(*loaded_definition, "id", key(definition));
  persistence_access::initialize(*loaded_definition);
  auto loaded_ccy = persistence_access::make_default<currency>();
  set_field(*loaded_ccy, "ccy", key(ccy));
  persistence_access::initialize(*loaded_ccy);
  auto id = persistence_access::make_default<discount_id>();
  set_field(*id, "id", ptr_const<discount_definition>(loaded_definition));
  set_field(*id, "ccy", ptr_const<currency>(loaded_ccy));
  persistence_access::initialize(*id);
  return id;
}

std::shared_ptr<default_id> load_default_id(const char* name, const char* ccy) {
  auto id = persistence_access::make_default<default_id>();
  set_field(*id, "name", key(name));
  set_field(*id, "ccy", ccy ? std::make_shared<const currency>(key(ccy)) : ptr_const<currency>());
  set_field(*id, "seniority", key("SNRFOR"));
  set_field(*id, "restructuring", key("XR14"));
  set_field(*id, "isda", key("2014"));
  persistence_access::initialize(*id);
  return id;
}

std::shared_ptr<discount_id> empty_discount_id() { return persistence_access::make_default<discount_id>(); }

TEST(IdLoading, LoadedIdsEqualConstructedOnes) {
  const discount_id built(std::make_shared<discount_definition>(key("OIS")), std::make_shared<currency>(key("EUR")));
  const auto loaded = load_discount_id("OIS", "EUR");
  EXPECT_EQ(*loaded, built);
  EXPECT_EQ(loaded->hash(), built.hash());

  const default_id built_credit(key("ACME"), std::make_shared<currency>(key("USD")), key("SNRFOR"), key("XR14"),
                                key("2014"));
  EXPECT_EQ(*load_default_id("ACME", "USD"), built_credit);
}

TEST(IdLoading, InitializeRefusesWhatTheConstructorRefuses) {
  EXPECT_THROW(load_discount_id("", "EUR"), Error);
  EXPECT_THROW(load_discount_id("OIS", ""), Error);
  EXPECT_THROW(load_default_id("", "USD"), Error);
  EXPECT_THROW(load_default_id("ACME", nullptr), Error);
}

TEST(IdLoading, AnIdNotYetFilledCanStillBeHashedAndPrinted) {
  const auto empty = empty_discount_id();
  EXPECT_EQ(empty->to_string(), "_");
  EXPECT_EQ(empty->hash(), empty_discount_id()->hash());
  EXPECT_EQ(*empty, *empty_discount_id());
  EXPECT_NE(*empty, *load_discount_id("OIS", "EUR"));
}

}  // namespace
}  // namespace qavrek
