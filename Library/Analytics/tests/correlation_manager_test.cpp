// The correlation manager: blocks by id, its checks and messages, and its persisted forms.

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <typeinfo>
#include <unordered_set>
#include <vector>

#include "Analytics/common/correlation_manager.h"
#include "Analytics/diffusion/fx/id/diffusion_fx_id.h"
#include "Analytics/diffusion/ir/id/diffusion_ir_id.h"
#include "Serialization/common/matrix_form.h"
#include "Serialization/serialization_impl.h"
#include "ids_test_support.h"

namespace qavrek::ids_test {
namespace {

constexpr const char* manager_file = "Library/Analytics/common/correlation_manager";

using id_list = std::vector<ptr_const<diffusion_id>>;

// A diffusion id that no registry knows.
class unregistered_id : public diffusion_id {
 public:
  std::string to_string() const override { return "unregistered"; }
  size_t hash() const override { return 1; }
  void discovery(const ptr_const<diffusion_id>&, const ptr_const<any_container>&,
                 std::unordered_set<ptr_const<diffusion_id>>&) const override {}

 protected:
  bool equals(const data_id&) const override { return true; }
};

ptr_const<diffusion_id> rate() { return std::make_shared<const diffusion_ir_id>(discount("OIS", "EUR")); }
ptr_const<diffusion_id> exchange() {
  return std::make_shared<const diffusion_fx_id>(discount("OIS", "EUR"), discount("SOFR", "USD"));
}

// The rows of a matrix, to compare with expected values written out.
std::vector<std::vector<double>> rows_of(const matrix<double>& m) {
  std::vector<std::vector<double>> rows(m.rows());
  for (size_t r = 0; r < m.rows(); ++r) rows[r].assign(m[r], m[r] + m.columns());
  return rows;
}

// A rate id A with one factor and an exchange rate B with two, over a matrix M whose entries all
// differ, M(i, j) = 10 i + j, so that every copied block shows where it came from.
class CorrelationManager : public scratch_files {
 protected:
  const ptr_const<diffusion_id> a = rate();
  const ptr_const<diffusion_id> b = exchange();
  const matrix<double> m{{0.0, 1.0, 2.0}, {10.0, 11.0, 12.0}, {20.0, 21.0, 22.0}};
  const datetime valuation_date{2024, 3, 15};
  const correlation_manager manager{valuation_date, {a, b}, {1, 2}, m};

  ptr_const<correlation_manager> shared() const { return std::make_shared<const correlation_manager>(manager); }
};

TEST_F(CorrelationManager, BlocksFollowTheListsGiven) {
  EXPECT_EQ(rows_of(manager.pair_correlation_matrix({b}, {a})), (std::vector<std::vector<double>>{{10.0}, {20.0}}));
  EXPECT_EQ(rows_of(manager.pair_correlation_matrix({a, b}, {b})),
            (std::vector<std::vector<double>>{{1.0, 2.0}, {11.0, 12.0}, {21.0, 22.0}}));
  EXPECT_EQ(rows_of(manager.pair_correlation_matrix({b, a}, {a, a})),
            (std::vector<std::vector<double>>{{10.0, 10.0}, {20.0, 20.0}, {0.0, 0.0}}));
  EXPECT_EQ(rows_of(manager.pair_correlation_matrix(manager.ids(), manager.ids())), rows_of(m));
  const auto nothing = manager.pair_correlation_matrix({}, {a});
  EXPECT_EQ(nothing.rows(), 0u);
  EXPECT_EQ(nothing.columns(), 1u);
}

TEST_F(CorrelationManager, IdsAreFoundByValue) {
  // Ids built apart from those the manager holds.
  EXPECT_EQ(manager.number_of_factors(rate()), 1u);
  EXPECT_EQ(manager.number_of_factors(exchange()), 2u);
  EXPECT_EQ(rows_of(manager.pair_correlation_matrix({exchange()}, {rate()})),
            (std::vector<std::vector<double>>{{10.0}, {20.0}}));
}

TEST_F(CorrelationManager, IdWithoutFactorsHasNoBlock) {
  const auto c = std::make_shared<const diffusion_ir_id>(discount("SOFR", "USD"));
  const correlation_manager with_empty(valuation_date, {a, c, b}, {1, 0, 2}, m);
  EXPECT_EQ(with_empty.number_of_factors(c), 0u);
  EXPECT_EQ(rows_of(with_empty.pair_correlation_matrix({c, b}, {a, c})),
            (std::vector<std::vector<double>>{{10.0}, {20.0}}));
}

TEST_F(CorrelationManager, IdsAreReachedByCheckedIndex) {
  EXPECT_EQ(manager.id(1), b);
  const auto error = root_cause([&] { manager.id(2); });
  EXPECT_NE(error.message.find("id index 2 is out of range: the manager holds 2 ids"), std::string::npos);
}

TEST_F(CorrelationManager, UnknownIdIsNotFound) {
  const error_link not_found{"find", manager_file, 115, " id not fount in the list"};
  const auto other = std::make_shared<const diffusion_ir_id>(discount("OIS", "USD"));
  EXPECT_EQ(chain_of([&] { manager.number_of_factors(other); }), std::vector<error_link>{not_found});
  EXPECT_EQ(chain_of([&] { manager.pair_correlation_matrix({a}, {b, other}); }), std::vector<error_link>{not_found});
  EXPECT_EQ(chain_of([&] { manager.number_of_factors(nullptr); }), std::vector<error_link>{not_found});
}

TEST_F(CorrelationManager, ConstructionChecksTheListsInOrder) {
  struct refusal {
    const char* label;
    id_list ids;
    std::vector<size_t> factors;
    error_link error;
  };
  const std::vector<refusal> refusals = {
      {"no ids nor factors", {}, {}, {"validate", manager_file, 139, "ids_ are empty!"}},
      {"no ids", {}, {1}, {"validate", manager_file, 139, "ids_ are empty!"}},
      {"no factors", {a}, {}, {"validate", manager_file, 140, "factors are empty!"}},
      {"three ids, two factors",
       {a, b, rate()},
       {1, 2},
       {"validate", manager_file, 146,
        "Expected ids_.size() == factors_.size() to be true, but got false.  factors size 2 is different from ids "
        "size 3"}},
  };
  for (const auto& r : refusals)
    EXPECT_EQ(chain_of([&] { correlation_manager(valuation_date, r.ids, r.factors, m); }),
              std::vector<error_link>{r.error})
        << r.label;
}

// The matrix is not checked as a correlation (its blocks are only copied out), but an entry that is no number
// would reach every simulation that reads its block.
TEST_F(CorrelationManager, EntriesThatAreNoNumbersAreRefused) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double infinity = std::numeric_limits<double>::infinity();
  struct refusal {
    size_t row;
    size_t column;
    double value;
    const char* message;
  };
  const std::vector<refusal> refusals = {
      {1, 1, nan, "the correlation holds nan at (1, 1): a correlation is a finite number"},
      {0, 2, nan, "the correlation holds nan at (0, 2): a correlation is a finite number"},
      {2, 0, -infinity, "the correlation holds -inf at (2, 0): a correlation is a finite number"},
  };
  for (const auto& r : refusals) {
    matrix<double> damaged(m);
    damaged(r.row, r.column) = r.value;
    const auto error = root_cause([&] { correlation_manager(valuation_date, {a, b}, {1, 2}, damaged); });
    EXPECT_EQ(error.function, "validate") << r.message;
    EXPECT_EQ(error.message, r.message);
  }
}

TEST_F(CorrelationManager, BlocksOutsideASmallMatrixAreRefusedNotRead) {
  const correlation_manager small(valuation_date, {a, b}, {1, 2}, matrix<double>{{1.0, 0.5}, {0.5, 1.0}});
  EXPECT_EQ(rows_of(small.pair_correlation_matrix({a}, {a})), (std::vector<std::vector<double>>{{1.0}}));
  EXPECT_THROW(small.pair_correlation_matrix({b}, {a}), Error);
  EXPECT_THROW(small.pair_correlation_matrix({a}, {b}), Error);
  // Counts so large that their sum wraps around must not lead back inside the matrix.
  const auto c = std::make_shared<const diffusion_ir_id>(discount("SOFR", "USD"));
  const correlation_manager huge(valuation_date, {a, b, c}, {1, ~size_t{0}, 2}, m);
  EXPECT_THROW(huge.pair_correlation_matrix({c}, {c}), Error);
}

TEST_F(CorrelationManager, JsonHoldsDateCountsMatrixAndIdEnvelopes) {
  const auto json = ordered_json::parse(correlation_manager::json_to_string(shared()));
  EXPECT_TRUE(json["valuation_date"].is_number_float());
  EXPECT_EQ(json["valuation_date"].get<double>(), valuation_date.serial());
  EXPECT_EQ(json["factors"], (ordered_json{1, 2}));
  for (const auto& count : json["factors"]) EXPECT_TRUE(count.is_number_unsigned());
  EXPECT_EQ(keys_of(json["correlation"]), (std::vector<std::string>{"class", "rows", "columns", "data"}));
  EXPECT_EQ(json["correlation"]["class"], "qavrek.matrix");
  EXPECT_EQ(json["correlation"]["data"][0], (ordered_json{0.0, 10.0, 20.0}));  // by column
  ASSERT_EQ(json["ids"].size(), 2u);
  EXPECT_EQ(json["ids"][0]["Class"], "qavrek::diffusion_ir_id");
  EXPECT_EQ(json["ids"][1]["Class"], "qavrek::diffusion_fx_id");
  EXPECT_EQ(keys_of(json["ids"][1]),
            (std::vector<std::string>{"Class", "diffusion_ir_id_domestic", "diffusion_ir_id_foreign"}));
}

TEST_F(CorrelationManager, BinaryListsEachIdUnderItsNameTwice) {
  multi_process_stream saved;
  serialization::save(saved, shared());

  const auto curve = [](multi_process_stream& s, const char* definition, const char* ccy) {
    s << std::string("qavrek::discount_id") << std::string("qavrek::discount_definition") << std::string(definition)
      << std::string("qavrek::currency") << std::string(ccy);
  };
  multi_process_stream expected;
  expected << std::string("qavrek::correlation_manager") << valuation_date.serial();
  expected << std::uint32_t{2} << std::uint64_t{1} << std::uint64_t{2};
  expected << std::uint64_t{3} << std::uint64_t{3};
  expected.Push(m.data(), 9);
  expected << std::uint32_t{2};
  expected << std::string("qavrek::diffusion_ir_id") << std::string("qavrek::diffusion_ir_id");
  curve(expected, "OIS", "EUR");
  expected << std::string("qavrek::diffusion_fx_id") << std::string("qavrek::diffusion_fx_id");
  expected << std::string("qavrek::diffusion_ir_id");
  curve(expected, "OIS", "EUR");
  expected << std::string("qavrek::diffusion_ir_id");
  curve(expected, "SOFR", "USD");
  EXPECT_EQ(saved.GetRawData(), expected.GetRawData());
}

TEST_F(CorrelationManager, LoadedManagerAnswersAsTheOriginal) {
  const auto json_file = path("manager.json");
  const auto binary_file = path("manager.bin");
  correlation_manager::write_to_json(json_file, shared());
  correlation_manager::write_to_binary(binary_file, shared());
  for (const auto& loaded : {correlation_manager::read_from_json(json_file),
                             correlation_manager::read_from_binary(binary_file)}) {
    EXPECT_EQ(loaded->valuation_date().serial(), valuation_date.serial());
    EXPECT_EQ(loaded->number_of_factors(exchange()), 2u);
    EXPECT_EQ(rows_of(loaded->pair_correlation_matrix({a, b}, {b})),
              (std::vector<std::vector<double>>{{1.0, 2.0}, {11.0, 12.0}, {21.0, 22.0}}));
  }
}

TEST_F(CorrelationManager, NumbersAreAcceptedInAnyNumericEncoding) {
  auto json = ordered_json::parse(correlation_manager::json_to_string(shared()));
  json["valuation_date"] = static_cast<std::int64_t>(valuation_date.serial());
  json["factors"] = {1.0, 2};
  json["correlation"]["data"] = {{0, 10, 20}, {1, 11, 21}, {2, 12, 22}};
  ptr_const<correlation_manager> loaded;
  serialization::load_shared_object(json, loaded);
  EXPECT_EQ(loaded->valuation_date().serial(), valuation_date.serial());
  EXPECT_EQ(loaded->factors(), (std::vector<size_t>{1, 2}));
  EXPECT_EQ(rows_of(loaded->correlation()), rows_of(m));
}

TEST_F(CorrelationManager, EveryRequiredEntryIsCheckedWhenLoading) {
  const auto saved = ordered_json::parse(correlation_manager::json_to_string(shared()));
  struct damage {
    const char* label;
    void (*apply)(ordered_json&);
    std::string innermost;
  };
  const std::vector<damage> damages = {
      {"no valuation date", [](ordered_json& j) { j.erase("valuation_date"); },
       "[json.exception.type_error.302] type must be number, but is null"},
      {"no matrix", [](ordered_json& j) { j.erase("correlation"); },
       "[json.exception.type_error.304] cannot use at() with null"},
      {"matrix without rows", [](ordered_json& j) { j["correlation"].erase("rows"); },
       "[json.exception.out_of_range.403] key 'rows' not found"},
      {"matrix without data", [](ordered_json& j) { j["correlation"].erase("data"); },
       "[json.exception.out_of_range.403] key 'data' not found"},
      {"a column too short", [](ordered_json& j) { j["correlation"]["data"][2].erase(2); },
       "[json.exception.out_of_range.401] array index 2 is out of range"},
      {"no ids", [](ordered_json& j) { j.erase("ids"); }, "ids_ are empty!"},
      {"a correlation that is no number",
       [](ordered_json& j) { j["correlation"]["data"][1][0] = std::numeric_limits<double>::quiet_NaN(); },
       "the correlation holds nan at (0, 1): a correlation is a finite number"},
      {"counts not a list", [](ordered_json& j) { j["factors"] = 2; },
       "[json.exception.type_error.305] cannot use operator[] with a numeric argument with number"},
  };
  for (const auto& d : damages) {
    ordered_json damaged = saved;
    d.apply(damaged);
    ptr_const<correlation_manager> loaded;
    const auto chain = chain_of([&] { serialization::load_shared_object(damaged, loaded); });
    ASSERT_FALSE(chain.empty()) << d.label;
    EXPECT_EQ(chain.back().message, d.innermost) << d.label;
    // The outer steps name the manager.
    EXPECT_EQ(chain.front().message.rfind(typeid(correlation_manager).name(), 0), 0u) << d.label;
    EXPECT_EQ(loaded, nullptr) << d.label;
  }
}

TEST_F(CorrelationManager, IdOfAnUnregisteredClassFailsTheLoadNamingIt) {
  auto json = ordered_json::parse(correlation_manager::json_to_string(shared()));
  json["ids"][1]["Class"] = "qavrek::diffusion_basket_id";

  multi_process_stream saved;
  serialization::save(saved, shared());
  auto bytes = saved.GetRawData();
  // Rename the second id in the binary form, keeping every length: "qavrek::diffusion_fx_id" becomes
  // "qavrek::diffusion_zz_id" in both of its copies.
  const std::string from = "qavrek::diffusion_fx_id";
  std::string text(bytes.begin(), bytes.end());
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + 1))
    text.replace(at + from.find("fx"), 2, "zz");
  multi_process_stream binary;
  binary.SetRawData(std::vector<unsigned char>(text.begin(), text.end()));

  ptr_const<correlation_manager> from_json, from_binary;
  const auto json_error = root_cause([&] { serialization::load_shared_object(json, from_json); });
  const auto binary_error = root_cause([&] { serialization::load_shared_object(binary, from_binary); });
  EXPECT_EQ(json_error.message, "The class qavrek::diffusion_basket_id is not registered for persistence");
  EXPECT_EQ(binary_error.message, "The class qavrek::diffusion_zz_id is not registered for persistence");
  EXPECT_EQ(json_error.function, "load_polymorphic");
  EXPECT_EQ(from_json, nullptr);
  EXPECT_EQ(from_binary, nullptr);
}

TEST_F(CorrelationManager, IdThatCannotBeLoadedBackIsNotSaved) {
  const correlation_manager with_null(valuation_date, {a, nullptr}, {1, 2}, m);
  const correlation_manager with_stranger(valuation_date, {a, std::make_shared<const unregistered_id>()}, {1, 2}, m);
  EXPECT_THROW(correlation_manager::json_to_string(std::make_shared<const correlation_manager>(with_null)), Error);
  const auto error = root_cause(
      [&] { correlation_manager::json_to_string(std::make_shared<const correlation_manager>(with_stranger)); });
  EXPECT_NE(error.message.find("unregistered_id is not registered for persistence"), std::string::npos)
      << error.message;

  auto json = ordered_json::parse(correlation_manager::json_to_string(shared()));
  json["ids"][0] = {{"Class", "null object!"}};
  ptr_const<correlation_manager> loaded;
  EXPECT_EQ(root_cause([&] { serialization::load_shared_object(json, loaded); }).message,
            "A null object cannot stand for a qavrek::diffusion_id");
}

}  // namespace
}  // namespace qavrek::ids_test
