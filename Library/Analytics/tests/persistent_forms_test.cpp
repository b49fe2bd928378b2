// What every persistable class of the identifiers, measures and correlations shares: the file and
// text layouts of its five whole-object functions, round trips that change nothing, null pointers,
// and its registration under its class name.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <unordered_set>
#include <string>
#include <vector>

#include "Analytics/change_of_measure/measure.h"
#include "Analytics/change_of_measure/measure_id.h"
#include "Analytics/common/correlation_manager.h"
#include "Analytics/diffusion/credit/id/diffusion_credit_id.h"
#include "Analytics/diffusion/equity/id/diffusion_equity_id.h"
#include "Analytics/diffusion/fx/id/diffusion_fx_id.h"
#include "Analytics/diffusion/ir/id/diffusion_ir_id.h"
#include "Serialization/serialization.h"
#include "ids_test_support.h"

namespace qavrek::ids_test {
namespace {

// Each case: the class, its registered name, its JSON keys in order, a sample object, how two
// objects compare, and what may be done with the object that a null envelope loads.
struct measure_id_case {
  using type = measure_id;
  static constexpr const char* name = "qavrek::measure_id";
  static std::vector<std::string> keys() { return {"Class", "state"}; }
  static ptr_const<type> sample() { return std::make_shared<const type>(); }
  static void expect_same(const type& a, const type& b) { EXPECT_TRUE(a == b); }
  static void check_loaded_null(const ptr_const<type>& loaded) {
    // A measure id with state 0, as a new one.
    EXPECT_EQ(type::json_to_string(loaded), type::json_to_string(sample()));
  }
};

struct measure_case {
  using type = measure;
  static constexpr const char* name = "qavrek::measure";
  static std::vector<std::string> keys() { return {"Class", "id"}; }
  static ptr_const<type> sample() { return std::make_shared<const type>(discount("OIS", "EUR")); }
  static void expect_same(const type& a, const type& b) { EXPECT_TRUE(*a.id() == *b.id()); }
  static void check_loaded_null(const ptr_const<type>& loaded) { EXPECT_THROW(loaded->id(), Error); }
};

template <class Id>
void check_unusable(const ptr_const<Id>& loaded) {
  EXPECT_THROW(loaded->hash(), Error);
  EXPECT_THROW(loaded->to_string(), Error);
  std::unordered_set<ptr_const<diffusion_id>> needed;
  EXPECT_THROW(loaded->discovery(std::make_shared<const diffusion_ir_id>(discount("OIS", "EUR")), nullptr, needed),
               Error);
}

struct ir_case {
  using type = diffusion_ir_id;
  static constexpr const char* name = "qavrek::diffusion_ir_id";
  static std::vector<std::string> keys() { return {"Class", "id"}; }
  static ptr_const<type> sample() { return std::make_shared<const type>(discount("OIS", "EUR")); }
  static void expect_same(const type& a, const type& b) { EXPECT_TRUE(a == b); }
  static void check_loaded_null(const ptr_const<type>& loaded) {
    check_unusable(loaded);
    EXPECT_THROW(loaded->id(), Error);
  }
};

struct credit_case {
  using type = diffusion_credit_id;
  static constexpr const char* name = "qavrek::diffusion_credit_id";
  static std::vector<std::string> keys() { return {"Class", "id"}; }
  static ptr_const<type> sample() { return std::make_shared<const type>(credit("ACME", "USD")); }
  static void expect_same(const type& a, const type& b) { EXPECT_TRUE(a == b); }
  static void check_loaded_null(const ptr_const<type>& loaded) {
    EXPECT_THROW(loaded->hash(), Error);
    EXPECT_THROW(loaded->to_string(), Error);
    EXPECT_THROW(loaded->id(), Error);
  }
};

struct equity_case {
  using type = diffusion_equity_id;
  static constexpr const char* name = "qavrek::diffusion_equity_id";
  static std::vector<std::string> keys() { return {"Class", "diffusion_domestic_ir_id", "name"}; }
  static ptr_const<type> sample() { return std::make_shared<const type>(discount("OIS", "EUR"), key("ACME")); }
  static void expect_same(const type& a, const type& b) { EXPECT_TRUE(a == b); }
  static void check_loaded_null(const ptr_const<type>& loaded) {
    check_unusable(loaded);
    EXPECT_THROW(loaded->diffusion_ir_id_domestic(), Error);
  }
};

struct fx_case {
  using type = diffusion_fx_id;
  static constexpr const char* name = "qavrek::diffusion_fx_id";
  static std::vector<std::string> keys() { return {"Class", "diffusion_ir_id_domestic", "diffusion_ir_id_foreign"}; }
  static ptr_const<type> sample() {
    return std::make_shared<const type>(discount("OIS", "EUR"), discount("SOFR", "USD"));
  }
  static void expect_same(const type& a, const type& b) { EXPECT_TRUE(a == b); }
  static void check_loaded_null(const ptr_const<type>& loaded) {
    check_unusable(loaded);
    EXPECT_THROW(loaded->diffusion_ir_id_domestic(), Error);
    EXPECT_THROW(loaded->diffusion_ir_id_foreign(), Error);
  }
};

struct correlation_case {
  using type = correlation_manager;
  static constexpr const char* name = "qavrek::correlation_manager";
  static std::vector<std::string> keys() { return {"Class", "valuation_date", "factors", "correlation", "ids"}; }
  static ptr_const<type> sample() {
    const std::vector<ptr_const<diffusion_id>> ids = {ir_case::sample(), fx_case::sample(), equity_case::sample(),
                                                      credit_case::sample()};
    return std::make_shared<const type>(datetime(2024, 3, 15), ids, std::vector<size_t>{1, 1, 1, 1},
                                        matrix<double>{{1.0, 0.5, 0.25, 0.125},
                                                       {0.5, 1.0, -0.3, 0.0},
                                                       {0.25, -0.3, 1.0, 0.75},
                                                       {0.125, 0.0, 0.75, 1.0}});
  }
  static void expect_same(const type& a, const type& b) {
    EXPECT_EQ(a.valuation_date().serial(), b.valuation_date().serial());
    EXPECT_EQ(a.factors(), b.factors());
    ASSERT_EQ(a.correlation().rows(), b.correlation().rows());
    ASSERT_EQ(a.correlation().columns(), b.correlation().columns());
    EXPECT_TRUE(std::equal(a.correlation().begin(), a.correlation().end(), b.correlation().begin()));
    ASSERT_EQ(a.ids().size(), b.ids().size());
    for (size_t i = 0; i < a.ids().size(); ++i) EXPECT_TRUE(*a.ids()[i] == *b.ids()[i]) << i;
  }
  static void check_loaded_null(const ptr_const<type>& loaded) {
    EXPECT_TRUE(loaded->ids().empty());
    EXPECT_THROW(loaded->number_of_factors(ir_case::sample()), Error);
    EXPECT_THROW(loaded->id(0), Error);
  }
};

template <class Case>
class PersistentForms : public scratch_files {};

using cases = ::testing::Types<measure_id_case, measure_case, ir_case, credit_case, equity_case, fx_case,
                               correlation_case>;
TYPED_TEST_SUITE(PersistentForms, cases);

TYPED_TEST(PersistentForms, IsRegisteredInBothRegistriesUnderItsName) {
  EXPECT_NE(JsonSerializationRegistry()->find(TypeParam::name), nullptr);
  EXPECT_NE(BinarySerializationRegistry()->find(TypeParam::name), nullptr);
}

TYPED_TEST(PersistentForms, TextIsTheEnvelopeIndentedByTwoWithoutFinalNewline) {
  using type = typename TypeParam::type;
  const std::string text = type::json_to_string(TypeParam::sample());
  const ordered_json envelope = ordered_json::parse(text);
  EXPECT_EQ(keys_of(envelope), TypeParam::keys());
  EXPECT_EQ(envelope["Class"], TypeParam::name);
  EXPECT_EQ(text, envelope.dump(2));
  EXPECT_EQ(text.rfind(std::string("{\n  \"Class\": \"") + TypeParam::name + "\",\n", 0), 0u);
  EXPECT_EQ(text.back(), '}');
}

TYPED_TEST(PersistentForms, FileIsTheRootEnvelopeIndentedByOneWithFinalNewline) {
  using type = typename TypeParam::type;
  const auto file = this->path("object.json");
  type::write_to_json(file, TypeParam::sample());
  const std::string text = this->text_of(file);
  const ordered_json envelope = ordered_json::parse(type::json_to_string(TypeParam::sample()));
  const ordered_json file_value = {{"root", envelope}};
  EXPECT_EQ(text, file_value.dump(1) + "\n");
  EXPECT_EQ(text.rfind(std::string("{\n \"root\": {\n  \"Class\": \"") + TypeParam::name + "\",\n", 0), 0u);
}

TYPED_TEST(PersistentForms, JsonFileToObjectToJsonFileChangesNothing) {
  using type = typename TypeParam::type;
  const auto first = this->path("first.json");
  const auto second = this->path("second.json");
  type::write_to_json(first, TypeParam::sample());
  const auto loaded = type::read_from_json(first);
  ASSERT_NE(loaded, nullptr);
  TypeParam::expect_same(*loaded, *TypeParam::sample());
  type::write_to_json(second, loaded);
  EXPECT_EQ(this->text_of(second), this->text_of(first));
}

TYPED_TEST(PersistentForms, BinaryFileToObjectToBinaryFileChangesNothing) {
  using type = typename TypeParam::type;
  const auto first = this->path("first.bin");
  const auto second = this->path("second.bin");
  type::write_to_binary(first, TypeParam::sample());
  const auto loaded = type::read_from_binary(first);
  ASSERT_NE(loaded, nullptr);
  TypeParam::expect_same(*loaded, *TypeParam::sample());
  type::write_to_binary(second, loaded);
  EXPECT_EQ(this->text_of(second), this->text_of(first));
  // The binary file is the envelope alone: the class name comes first.
  multi_process_stream stream;
  const std::string bytes = this->text_of(first);
  stream.SetRawData(std::vector<unsigned char>(bytes.begin(), bytes.end()));
  std::string name;
  stream >> name;
  EXPECT_EQ(name, TypeParam::name);
}

TYPED_TEST(PersistentForms, NullPointerLoadsAsADefaultObjectThatFailsClearlyWhenUnusable) {
  using type = typename TypeParam::type;
  EXPECT_EQ(type::json_to_string(nullptr), "{\n  \"Class\": \"null object!\"\n}");

  const auto json_file = this->path("null.json");
  type::write_to_json(json_file, nullptr);
  EXPECT_EQ(this->text_of(json_file), "{\n \"root\": {\n  \"Class\": \"null object!\"\n }\n}\n");
  const auto binary_file = this->path("null.bin");
  type::write_to_binary(binary_file, nullptr);

  for (const auto& loaded : {type::read_from_json(json_file), type::read_from_binary(binary_file)}) {
    ASSERT_NE(loaded, nullptr);
    TypeParam::check_loaded_null(loaded);
  }
}

TYPED_TEST(PersistentForms, FileWithoutRootIsAnError) {
  using type = typename TypeParam::type;
  const auto file = this->path("rootless.json");
  this->write_text(file, "{\"object\": " + type::json_to_string(TypeParam::sample()) + "}");
  EXPECT_THROW(type::read_from_json(file), Error);
}

}  // namespace
}  // namespace qavrek::ids_test
