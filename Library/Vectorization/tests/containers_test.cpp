#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <new>
#include <numeric>
#include <string>
#include <utility>

#include "Core/error.h"
#include "Vectorization/matrix.h"
#include "Vectorization/scratch_block.h"
#include "Vectorization/vector.h"

namespace qavrek {
namespace {

bool is_aligned_64(const void* p) { return reinterpret_cast<std::uintptr_t>(p) % 64 == 0; }

template <typename Container>
bool all_equal_to(const Container& c, double value) {
  for (double x : c)
    if (x != value) return false;
  return true;
}

struct shape_case {
  size_t rows;
  size_t columns;
};

void PrintTo(const shape_case& c, std::ostream* out) { *out << c.rows << " x " << c.columns; }

class FreshMatrix : public ::testing::TestWithParam<shape_case> {};

TEST_P(FreshMatrix, IsZeroFilledAlignedAndOwning) {
  const auto [rows, columns] = GetParam();
  const matrix<double> m(rows, columns);
  EXPECT_EQ(m.rows(), rows);
  EXPECT_EQ(m.columns(), columns);
  EXPECT_EQ(m.size(), rows * columns);
  EXPECT_TRUE(m.owner());
  EXPECT_TRUE(all_equal_to(m, 0.0));
  if (m.size() == 0) {
    EXPECT_EQ(m.data(), nullptr);  // no element, no storage
  } else {
    EXPECT_TRUE(is_aligned_64(m.data()));
  }

  const vector<double> v(rows * columns);
  EXPECT_EQ(v.size(), rows * columns);
  EXPECT_TRUE(v.owner());
  EXPECT_TRUE(all_equal_to(v, 0.0));
  if (!v.empty()) {
    EXPECT_TRUE(is_aligned_64(v.data()));
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, FreshMatrix,
                         ::testing::Values(shape_case{0, 0}, shape_case{0, 4}, shape_case{1, 1}, shape_case{3, 5},
                                           shape_case{7, 8}, shape_case{100, 33}),
                         [](const auto& info) {
                           return std::to_string(info.param.rows) + "x" + std::to_string(info.param.columns);
                         });

TEST(Matrix, IsRowMajor) {
  matrix<double> m{{1.0, 2.0, 3.0}, {4.0, 5.0, 6.0}};
  ASSERT_EQ(m.rows(), 2u);
  ASSERT_EQ(m.columns(), 3u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(m[i], m.data() + 3 * i);
    for (size_t j = 0; j < 3; ++j) {
      EXPECT_EQ(&m(i, j), m.data() + 3 * i + j);
      EXPECT_EQ(m(i, j), 3.0 * i + j + 1.0);
    }
  }

  vector<double> second = m.row(1);  // a view: writes land in the matrix
  EXPECT_FALSE(second.owner());
  second[2] = 60.0;
  m.row(0) = second;
  EXPECT_EQ(m(0, 0), 4.0);
  EXPECT_EQ(m(0, 2), 60.0);
  EXPECT_EQ(m(1, 2), 60.0);
}

TEST(Matrix, RaggedRowsAreRefused) {
  EXPECT_THROW((matrix<double>{{1.0, 2.0}, {3.0}}), Error);
}

TEST(Containers, CopyIsAnOwningDeepCopyEvenOfAView) {
  std::array<double, 6> storage{1, 2, 3, 4, 5, 6};
  const matrix<double> source = matrix<double>::view(storage.data(), 2, 3);
  const vector<double> source_vector = vector<double>::view(storage.data(), 6);

  matrix<double> copy = source;
  vector<double> copy_vector = source_vector;
  EXPECT_TRUE(copy.owner());
  EXPECT_TRUE(copy_vector.owner());
  EXPECT_NE(copy.data(), storage.data());
  EXPECT_NE(copy_vector.data(), storage.data());
  EXPECT_EQ(copy.rows(), 2u);
  EXPECT_EQ(copy.columns(), 3u);
  EXPECT_TRUE(is_aligned_64(copy.data()));

  copy(1, 2) = -1.0;
  copy_vector[0] = -1.0;
  EXPECT_EQ(storage[5], 6.0);
  EXPECT_EQ(storage[0], 1.0);
  EXPECT_EQ(copy(0, 1), 2.0);
  EXPECT_EQ(copy_vector[5], 6.0);

  matrix<double> assigned(1, 1);
  assigned = copy;  // an owner takes the source's shape
  EXPECT_EQ(assigned.rows(), 2u);
  EXPECT_EQ(assigned.columns(), 3u);
  EXPECT_NE(assigned.data(), copy.data());
  EXPECT_EQ(assigned(1, 2), -1.0);
}

// A view over memory that was never heap-allocated: freeing it would be caught at once
// (crash, or the address sanitizer's bad-free report).
TEST(Containers, ViewNeverFreesTheBufferItViews) {
  std::array<double, 6> storage{};
  {
    vector<double> v = vector<double>::view(storage.data(), storage.size());
    matrix<double> m = matrix<double>::view(storage.data(), 2, 3);
    EXPECT_FALSE(v.owner());
    EXPECT_FALSE(m.owner());
    v[1] = 7.0;
    m(1, 0) = 8.0;
    vector<double> moved = std::move(v);  // a moved view is still a view
    EXPECT_FALSE(moved.owner());
  }
  EXPECT_EQ(storage[1], 7.0);
  EXPECT_EQ(storage[3], 8.0);

  matrix<double> owner(2, 3, 1.5);
  { const matrix<double> view = matrix<double>::view(owner.data(), 2, 3); }
  EXPECT_TRUE(all_equal_to(owner, 1.5));  // still readable after the view's end
}

TEST(Containers, MoveHandsTheStorageOverAndLeavesTheSourceEmpty) {
  matrix<double> source(3, 4, 2.0);
  const double* storage = source.data();

  matrix<double> moved(std::move(source));
  EXPECT_EQ(moved.data(), storage);
  EXPECT_TRUE(moved.owner());
  EXPECT_EQ(moved.rows(), 3u);
  EXPECT_EQ(source.data(), nullptr);
  EXPECT_EQ(source.size(), 0u);
  EXPECT_EQ(source.rows(), 0u);
  EXPECT_EQ(source.columns(), 0u);

  matrix<double> target(1, 1);
  target = std::move(moved);
  EXPECT_EQ(target.data(), storage);
  EXPECT_EQ(moved.data(), nullptr);
  EXPECT_EQ(moved.size(), 0u);

  vector<double> v(5, 1.0);
  const double* vector_storage = v.data();
  vector<double> w;
  w = std::move(v);
  EXPECT_EQ(w.data(), vector_storage);
  EXPECT_TRUE(v.empty());
  EXPECT_EQ(v.data(), nullptr);
}

TEST(Containers, AssignmentKeepsWhetherTheDestinationOwns) {
  std::array<double, 4> first{1, 2, 3, 4};
  std::array<double, 4> second{};
  vector<double> view = vector<double>::view(second.data(), 4);

  const vector<double> values = vector<double>::view(first.data(), 4);
  view = values;  // a view receives the values in its own buffer
  EXPECT_EQ(view.data(), second.data());
  EXPECT_EQ(second, first);

  view = vector<double>{5, 6, 7, 8};  // moving in changes nothing to that
  EXPECT_EQ(view.data(), second.data());
  EXPECT_EQ(second[3], 8.0);

  matrix<double> m{{1, 2}, {3, 4}};
  m.row(0) = m.row(1);
  EXPECT_EQ(m(0, 0), 3.0);
  EXPECT_EQ(m(0, 1), 4.0);

  vector<double> work(2);
  work = m.row(0);  // an owner handed a view takes a copy: writing it leaves the matrix alone
  EXPECT_TRUE(work.owner());
  work[0] = -1.0;
  EXPECT_EQ(m(0, 0), 3.0);

  view.rebind(first.data(), 4);  // re-pointing is explicit
  EXPECT_EQ(view.data(), first.data());
  EXPECT_FALSE(view.owner());
  EXPECT_EQ(second[0], 5.0);
}

TEST(Containers, AViewKeepsItsSize) {
  std::array<double, 4> storage{};
  vector<double> view = vector<double>::view(storage.data(), 4);
  const vector<double> three(3, 1.0);
  EXPECT_THROW(view = three, Error);
  EXPECT_THROW(view.resize(3), Error);
  matrix<double> matrix_view = matrix<double>::view(storage.data(), 2, 2);
  EXPECT_THROW(matrix_view.resize(1, 4), Error);
  EXPECT_TRUE(all_equal_to(storage, 0.0));  // nothing was written by the failed calls
}

TEST(Containers, ResizeGivesZerosOfTheNewShape) {
  matrix<double> m(2, 2, 3.0);
  m.resize(3, 5);
  EXPECT_EQ(m.rows(), 3u);
  EXPECT_EQ(m.columns(), 5u);
  EXPECT_TRUE(all_equal_to(m, 0.0));
  EXPECT_TRUE(is_aligned_64(m.data()));

  vector<double> v(4, 3.0);
  v.resize(4);
  EXPECT_TRUE(all_equal_to(v, 0.0));
  v.resize(0);
  EXPECT_EQ(v.data(), nullptr);
}

TEST(Containers, ImpossibleSizesThrowBadAlloc) {
  const size_t huge = std::numeric_limits<size_t>::max() / 4;
  EXPECT_THROW(vector<double> v(huge), std::bad_alloc);
  EXPECT_THROW(matrix<double>(size_t(1) << 33, size_t(1) << 33), std::bad_alloc);  // rows x columns wraps
  matrix<double> m;
  EXPECT_THROW(m.resize(huge, 2), std::bad_alloc);
  EXPECT_EQ(m.size(), 0u);
}

TEST(ScratchBlock, EachResetZeroesWhatItCarvesAndKeepsItsStorage) {
  scratch_block block;
  block.reset(8);
  vector<double> v;
  matrix<double> m;
  block.carve(v, 2);
  block.carve(m, 2, 3);
  v.fill(1.0);
  m.fill(2.0);
  EXPECT_THROW(block.carve(1), Error);  // all eight are taken
  const double* first = v.data();
  block.reset(5);  // smaller: the same storage, zero again
  block.carve(m, 1, 5);
  EXPECT_EQ(m.data(), first);
  for (double x : m) EXPECT_EQ(x, 0.0);
  block.reset(20);  // larger: new storage, zero
  block.carve(v, 20);
  for (double x : v) EXPECT_EQ(x, 0.0);
}

}  // namespace
}  // namespace qavrek
