#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <type_traits>
#include <utility>

#include "Core/check.h"
#include "Vectorization/aligned_buffer.h"
#include "Vectorization/expressions/compound_assignment.h"
#include "Vectorization/expressions/expressions_evaluator.h"
#include "Vectorization/expressions/operators.h"
#include "Vectorization/vector.h"

namespace qavrek {

// A row-major matrix: element (i, j) lies at i * columns() + j. Owning or a view, with the
// value rules written at the top of vector.h. A matrix with no element has no storage.
template <typename T>
class matrix : public expressions::operand_tag, public expressions::compound_assignment<matrix<T>> {
 public:
  using value_type = T;
  using iterator = T*;
  using const_iterator = const T*;

  matrix() noexcept = default;

  // Zero-filled; std::bad_alloc when rows * columns does not fit in memory.
  matrix(size_t rows, size_t columns)
      : buffer_(aligned_buffer<T>::checked_product(rows, columns)), rows_(rows), columns_(columns) {}

  matrix(size_t rows, size_t columns, T value) : matrix(rows, columns) { fill(value); }

  // Rows written out, e.g. {{1, 2, 3}, {4, 5, 6}}; every row must have the same length.
  matrix(std::initializer_list<std::initializer_list<T>> rows)
      : matrix(rows.size(), rows.size() == 0 ? 0 : rows.begin()->size()) {
    size_t i = 0;
    for (const auto& row : rows) {
      QAVREK_CHECK(row.size() == columns_, "row ", i, " has ", row.size(), " values instead of ", columns_);
      std::copy(row.begin(), row.end(), (*this)[i]);
      ++i;
    }
  }

  static matrix view(T* data, size_t rows, size_t columns) noexcept {
    return matrix(aligned_buffer<T>::view(data, rows * columns), rows, columns);
  }

  matrix(const matrix&) = default;
  matrix(matrix&& other) noexcept
      : buffer_(std::move(other.buffer_)),
        rows_(std::exchange(other.rows_, 0)),
        columns_(std::exchange(other.columns_, 0)) {}
  ~matrix() = default;

  matrix& operator=(const matrix& other) {
    if (this == &other) return *this;
    if (!owner()) return write_through(other);
    if (other.size() != size()) {
      aligned_buffer<T> copy(other.buffer_);
      buffer_.swap(copy);
    } else if (size() > 0) {
      std::copy(other.begin(), other.end(), begin());
    }
    rows_ = other.rows_;
    columns_ = other.columns_;
    return *this;
  }

  matrix& operator=(matrix&& other) {
    if (this == &other) return *this;
    if (!owner() || !other.owner()) return *this = std::as_const(other);
    buffer_ = std::move(other.buffer_);
    rows_ = std::exchange(other.rows_, 0);
    columns_ = std::exchange(other.columns_, 0);
    return *this;
  }

  template <typename E>
    requires(expressions::operand<E> && !std::is_same_v<E, matrix>) || expressions::scalar<E>
  matrix& operator=(const E& source) {
    assign_elements<expressions::assign_op>(source);
    return *this;
  }

  size_t rows() const noexcept { return rows_; }
  size_t columns() const noexcept { return columns_; }
  T* data() noexcept { return buffer_.data(); }
  const T* data() const noexcept { return buffer_.data(); }
  size_t size() const noexcept { return buffer_.size(); }
  bool empty() const noexcept { return size() == 0; }
  bool owner() const noexcept { return buffer_.owner(); }

  T& operator()(size_t i, size_t j) noexcept { return data()[i * columns_ + j]; }
  const T& operator()(size_t i, size_t j) const noexcept { return data()[i * columns_ + j]; }

  // The first element of row i.
  T* operator[](size_t i) noexcept { return data() + i * columns_; }
  const T* operator[](size_t i) const noexcept { return data() + i * columns_; }

  // Row i as a vector view. The view of a const matrix is const: keep it so.
  vector<T> row(size_t i) noexcept { return vector<T>::view((*this)[i], columns_); }
  const vector<T> row(size_t i) const noexcept { return vector<T>::view(const_cast<T*>((*this)[i]), columns_); }

  iterator begin() noexcept { return data(); }
  iterator end() noexcept { return data() + size(); }
  const_iterator begin() const noexcept { return data(); }
  const_iterator end() const noexcept { return data() + size(); }

  void fill(T value) noexcept { std::fill(begin(), end(), value); }

  // The new shape with every element zero; nothing is kept. A view cannot be resized.
  void resize(size_t rows, size_t columns) {
    QAVREK_CHECK(owner(), "a view over storage it does not own cannot be resized");
    const size_t size = aligned_buffer<T>::checked_product(rows, columns);
    if (size == this->size()) {
      fill(T{});
    } else {
      aligned_buffer<T> fresh(size);
      buffer_.swap(fresh);
    }
    rows_ = rows;
    columns_ = columns;
  }

  // Makes this matrix a view over rows x columns elements at data, releasing what it owned.
  void rebind(T* data, size_t rows, size_t columns) noexcept {
    buffer_ = aligned_buffer<T>::view(data, rows * columns);
    rows_ = rows;
    columns_ = columns;
  }

  void swap(matrix& other) noexcept {
    buffer_.swap(other.buffer_);
    std::swap(rows_, other.rows_);
    std::swap(columns_, other.columns_);
  }
  friend void swap(matrix& a, matrix& b) noexcept { a.swap(b); }

 private:
  friend class expressions::compound_assignment<matrix>;
  matrix(aligned_buffer<T>&& buffer, size_t rows, size_t columns) noexcept
      : buffer_(std::move(buffer)), rows_(rows), columns_(columns) {}

  template <typename Assign, typename E>
  void assign_elements(const E& source) {
    expressions_evaluator::assign<Assign>(data(), size(), source, expressions_evaluator::vector_line);
  }

  matrix& write_through(const matrix& other) {
    assign_elements<expressions::assign_op>(other);
    return *this;
  }

  aligned_buffer<T> buffer_;
  size_t rows_ = 0;
  size_t columns_ = 0;
};

}  // namespace qavrek
