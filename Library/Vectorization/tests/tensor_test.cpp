#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "Core/error.h"
#include "Vectorization/tensor.h"

namespace qavrek {
namespace {

// A 2 x 3 x 4 tensor holding 0, 1, ..., 23 in storage order.
tensor<double> counting_tensor() {
  tensor<double> t({2, 3, 4});
  std::iota(t.begin(), t.end(), 0.0);
  return t;
}

struct index_case {
  size_t i, j, k;
  size_t offset;  // i * 12 + j * 4 + k, worked out by hand
};

void PrintTo(const index_case& c, std::ostream* out) { *out << "(" << c.i << ", " << c.j << ", " << c.k << ")"; }

class TensorIndexing : public ::testing::TestWithParam<index_case> {};

TEST_P(TensorIndexing, FollowsRowMajorOffsets) {
  const auto c = GetParam();
  tensor<double> t = counting_tensor();
  EXPECT_EQ(t.linearized_index({c.i, c.j, c.k}), c.offset);
  EXPECT_EQ(&t(c.i, c.j, c.k), t.data() + c.offset);
  EXPECT_EQ(t(c.i, c.j, c.k), static_cast<double>(c.offset));
}

INSTANTIATE_TEST_SUITE_P(Corners, TensorIndexing,
                         ::testing::Values(index_case{0, 0, 0, 0}, index_case{0, 0, 3, 3}, index_case{0, 2, 0, 8},
                                           index_case{1, 0, 0, 12}, index_case{1, 1, 2, 18},
                                           index_case{1, 2, 3, 23}),
                         [](const auto& info) {
                           return "at_" + std::to_string(info.param.i) + "_" + std::to_string(info.param.j) + "_" +
                                  std::to_string(info.param.k);
                         });

TEST(Tensor, MissingTrailingIndicesCountAsZero) {
  const tensor<double> t = counting_tensor();
  EXPECT_EQ(t.linearized_index({}), 0u);
  EXPECT_EQ(t.linearized_index({1}), 12u);
  EXPECT_EQ(t.linearized_index({1, 2}), 20u);
}

TEST(Tensor, FreshTensorIsZeroFilledAlignedAndOwning) {
  const tensor<double> t({4, 5, 3});
  EXPECT_EQ(t.dimension(), 3u);
  EXPECT_EQ(t.size(), 60u);
  EXPECT_TRUE(t.owner());
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(t.data()) % 64, 0u);
  for (double x : t) EXPECT_EQ(x, 0.0);

  const tensor<double> no_values({0});  // the shape of an absent coefficient
  EXPECT_EQ(no_values.dimension(), 1u);
  EXPECT_EQ(no_values.size(), 0u);
  EXPECT_EQ(no_values.data(), nullptr);
}

TEST(Tensor, GetMatrixViewsTheSliceOfTheLastTwoDimensions) {
  tensor<double> t({3, 2, 2});
  std::iota(t.begin(), t.end(), 0.0);
  for (size_t i = 0; i < 3; ++i) {
    matrix<double> slice = t.get_matrix(i, 0, 0);
    EXPECT_FALSE(slice.owner());
    EXPECT_EQ(slice.data(), t.data() + 4 * i);
    ASSERT_EQ(slice.rows(), 2u);
    ASSERT_EQ(slice.columns(), 2u);
    for (size_t a = 0; a < 2; ++a)
      for (size_t b = 0; b < 2; ++b) EXPECT_EQ(slice(a, b), 4.0 * i + 2.0 * a + b);
  }

  t.get_matrix(2, 0, 0)(1, 0) = -1.0;  // the view writes into the tensor
  EXPECT_EQ(t(2, 1, 0), -1.0);

  const matrix<double> lower_row = t.get_matrix(1, 1, 0);  // from row 1 of slice 1 on
  EXPECT_EQ(lower_row.rows(), 1u);
  EXPECT_EQ(lower_row.data(), t.data() + 6);

  const tensor<double>& read_only = t;
  EXPECT_EQ(read_only.get_matrix(std::vector<size_t>{0, 0, 0}).data(), t.data());

  const tensor<double> flat = tensor<double>({5}, 2.0);
  const matrix<double> single_row = flat.get_matrix(0);
  EXPECT_EQ(single_row.rows(), 1u);
  EXPECT_EQ(single_row.columns(), 5u);
}

struct arity_case {
  std::string name;
  std::function<void(tensor<double>&)> call;
  std::string function;
};

void PrintTo(const arity_case& c, std::ostream* out) { *out << c.name; }

class TensorWrongArity : public ::testing::TestWithParam<arity_case> {};

TEST_P(TensorWrongArity, FailsWithTheDimensionMessage) {
  tensor<double> t = counting_tensor();
  try {
    GetParam().call(t);
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_STREQ(error.what(), "number of idx is defferent from dimension!");
    EXPECT_EQ(error.location().function, GetParam().function);
    EXPECT_EQ(error.location().file, "Library/Vectorization/tensor");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Calls, TensorWrongArity,
    ::testing::Values(arity_case{"MatrixOfTwoIndices", [](tensor<double>& t) { t.get_matrix(0, 0); }, "get_matrix"},
                      arity_case{"MatrixOfFourIndices", [](tensor<double>& t) { t.get_matrix(0, 0, 0, 0); },
                                 "get_matrix"},
                      arity_case{"IndexOfFourIndices", [](tensor<double>& t) { t.linearized_index({0, 0, 0, 0}); },
                                 "linearized_index"},
                      arity_case{"ElementOfTwoIndices", [](tensor<double>& t) { t(1, 1); }, "operator()"}),
    [](const auto& info) { return info.param.name; });

TEST(Tensor, IndexOutsideItsDimensionFails) {
  const tensor<double> t = counting_tensor();
  EXPECT_THROW(t.linearized_index({2, 0, 0}), Error);
  EXPECT_THROW(t.linearized_index({0, 0, 4}), Error);
  EXPECT_THROW(t.get_matrix(0, 3, 0), Error);
  EXPECT_THROW(t.get_matrix(0, 0, 1), Error);  // a matrix view starts at the first column
}

TEST(Tensor, CopyIsDeepAndMoveEmptiesTheSource) {
  tensor<double> source = counting_tensor();
  tensor<double> copy = source;
  EXPECT_NE(copy.data(), source.data());
  EXPECT_EQ(copy.shape(), source.shape());
  copy(1, 2, 3) = -5.0;
  EXPECT_EQ(source(1, 2, 3), 23.0);

  const double* storage = source.data();
  tensor<double> moved = std::move(source);
  EXPECT_EQ(moved.data(), storage);
  EXPECT_EQ(moved.shape(), (std::vector<size_t>{2, 3, 4}));
  EXPECT_EQ(source.data(), nullptr);
  EXPECT_EQ(source.size(), 0u);
  EXPECT_EQ(source.dimension(), 0u);
}

TEST(Tensor, ViewOverPartOfAnotherBuffer) {
  tensor<double> results({3, 4});
  tensor<double> second = tensor<double>::view(results.data() + 4, {2, 2});  // the values of result 1
  EXPECT_FALSE(second.owner());
  second(1, 1) = 9.0;
  EXPECT_EQ(results(1, 3), 9.0);
  second.fill(1.0);
  EXPECT_EQ(results(1, 0), 1.0);
  EXPECT_EQ(results(2, 0), 0.0);
  EXPECT_THROW(second.resize({4}), Error);
}

}  // namespace
}  // namespace qavrek
