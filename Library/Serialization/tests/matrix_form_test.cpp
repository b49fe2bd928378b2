#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "Core/error.h"
#include "Serialization/common/matrix_form.h"

namespace qavrek {
namespace {

matrix<double> two_by_three() { return matrix<double>{{1, 2, 3}, {4, 5, 6}}; }

// The JSON library's error id of reading `text` into `m`, 0 for a refusal of the form itself, -1 when
// nothing fails.
int failure_id(const char* text, matrix<double>& m) {
  try {
    matrix_from_json(ordered_json::parse(text), m);
  } catch (const nlohmann::json::exception& error) {
    return error.id;
  } catch (const Error&) {
    return 0;
  }
  return -1;
}

TEST(MatrixForm, JsonNestsByColumn) {
  ordered_json j;
  matrix_to_json(j, two_by_three());
  EXPECT_EQ(j.dump(), R"({"class":"qavrek.matrix","rows":2,"columns":3,"data":[[1.0,4.0],[2.0,5.0],[3.0,6.0]]})");
}

TEST(MatrixForm, BinaryIsRowMajor) {
  multi_process_stream s;
  matrix_to_binary(s, two_by_three());
  multi_process_stream expected;
  const double values[] = {1, 2, 3, 4, 5, 6};
  expected << uint64_t(2) << uint64_t(3);
  expected.Push(values, 6);
  EXPECT_EQ(s.GetRawData(), expected.GetRawData());
}

// Bit for bit, NaN and the infinities included.
TEST(MatrixForm, RoundTripsInBothForms) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (const matrix<double>& m : {two_by_three(), matrix<double>(), matrix<double>(0, 3), matrix<double>{{-0.5}},
                                  matrix<double>{{nan, -inf}, {inf, 1.5}}}) {
    ordered_json j;
    matrix_to_json(j, m);
    matrix<double> from_json;
    matrix_from_json(j, from_json);
    multi_process_stream s;
    matrix_to_binary(s, m);
    multi_process_stream in;
    in.SetRawData(s.GetRawData());
    matrix<double> from_binary;
    matrix_from_binary(in, from_binary);
    for (const matrix<double>* read : {&from_json, &from_binary}) {
      ASSERT_EQ(read->rows(), m.rows());
      ASSERT_EQ(read->columns(), m.columns());
      EXPECT_TRUE(read->owner());
      if (m.size() == 0) EXPECT_EQ(read->data(), nullptr);
      else EXPECT_EQ(std::memcmp(read->data(), m.data(), m.size() * sizeof(double)), 0);
    }
  }
}

TEST(MatrixForm, JsonReadingAcceptsIntegersAndIgnoresClassAndExtras) {
  const auto j = ordered_json::parse(R"({"rows":2,"columns":1,"data":[[1,-2.5,99],[7]],"class":"other"})");
  matrix<double> m;
  matrix_from_json(j, m);
  EXPECT_EQ(m(0, 0), 1.0);
  EXPECT_EQ(m(1, 0), -2.5);
}

TEST(MatrixForm, MalformedJsonFailsWithTheLibraryErrors) {
  struct bad_case {
    const char* text;
    int id;  // the JSON library's error id
  };
  const std::vector<bad_case> cases = {
      {R"({"rows":1,"columns":1,"data":[[true]]})", 302},
      {R"({"rows":1,"columns":1,"data":[["1"]]})", 302},
      {R"({"rows":"1","columns":1,"data":[[1]]})", 302},
      {R"({"rows":1,"columns":1,"data":{"a":1}})", 304},
      {R"({"rows":2,"columns":1,"data":[[1]]})", 401},
      {R"({"rows":1,"columns":2,"data":[[1]]})", 401},
      {R"({"columns":1,"data":[[1]]})", 403},
      {R"({"rows":1,"columns":1})", 403},
  };
  for (const auto& c : cases) {
    matrix<double> m;
    EXPECT_EQ(failure_id(c.text, m), c.id) << c.text;
  }
}

TEST(MatrixForm, JsonWritesValuesThatAreNotFiniteAsNullOrText) {
  const double inf = std::numeric_limits<double>::infinity();
  ordered_json j;
  matrix_to_json(j, matrix<double>{{std::numeric_limits<double>::quiet_NaN(), -inf}, {inf, 1.5}});
  EXPECT_EQ(j["data"], ordered_json::parse(R"([[null, "Infinity"], ["-Infinity", 1.5]])"));
}

// A shape is checked against the values that stand for it before any storage is allocated: a short file
// cannot ask for gigabytes, nor an empty matrix for an endless JSON form.
TEST(MatrixForm, ShapesThatTheDataDoesNotBearAreRefused) {
  struct json_case {
    const char* text;
    int id;  // the JSON library's error id, or 0 for the form's own refusal
  };
  const std::vector<json_case> json_cases = {
      {R"({"rows":10000,"columns":10000})", 403},
      {R"({"rows":20000,"columns":20000,"data":[[1]]})", 401},
      {R"({"rows":2,"columns":2,"data":[[1,2],3]})", 304},
      {R"({"rows":0,"columns":1152921504606846976,"data":[]})", 0},
      {R"({"rows":-1,"columns":1,"data":[[1]]})", 0},
      {R"({"rows":1.5,"columns":1,"data":[[1]]})", 0},
  };
  for (const auto& c : json_cases) {
    matrix<double> m;
    EXPECT_EQ(failure_id(c.text, m), c.id) << c.text;
    EXPECT_EQ(m.data(), nullptr) << c.text;
  }

  const auto binary_of = [](uint64_t rows, uint64_t columns) {
    multi_process_stream out;
    out << rows << columns;
    out.Push(nullptr, 0);
    multi_process_stream in;
    in.SetRawData(out.GetRawData());
    return in;
  };
  for (const auto& [rows, columns] : {std::pair<uint64_t, uint64_t>{0, uint64_t(1) << 60}, {uint64_t(1) << 60, 0},
                                      {0, 65537}}) {
    multi_process_stream in = binary_of(rows, columns);
    matrix<double> m;
    EXPECT_THROW(matrix_from_binary(in, m), Error) << rows << " x " << columns;
  }
  multi_process_stream widest = binary_of(0, 65536);
  matrix<double> m;
  matrix_from_binary(widest, m);
  EXPECT_EQ(m.columns(), 65536u);
}

TEST(MatrixForm, BinaryOfFourBillionElementsIsRefused) {
  double one = 0.0;
  // A view that claims 2^32 elements; the refusal comes before any value is read.
  const matrix<double> huge = matrix<double>::view(&one, size_t(1) << 16, size_t(1) << 16);
  multi_process_stream s;
  EXPECT_THROW(matrix_to_binary(s, huge), Error);
  EXPECT_EQ(s.GetRawData().size(), 0u);
}

TEST(MatrixForm, DamagedBinarySizesAreRefused) {
  for (const auto& [rows, columns] : {std::pair<uint64_t, uint64_t>{~uint64_t(0), 2}, {1u << 20, 1u << 20}, {3, 1}}) {
    multi_process_stream out;
    out << rows << columns;
    const double value = 1.0;
    out.Push(&value, 1);
    multi_process_stream in;
    in.SetRawData(out.GetRawData());
    matrix<double> m;
    EXPECT_THROW(matrix_from_binary(in, m), Error) << rows << " x " << columns;
  }
}

}  // namespace
}  // namespace qavrek
