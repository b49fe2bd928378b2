#pragma once

#include <algorithm>
#include <array>
#include <concepts>
#include <cstddef>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

#include "Core/check.h"
#include "Vectorization/aligned_buffer.h"
#include "Vectorization/expressions/compound_assignment.h"
#include "Vectorization/expressions/expressions_evaluator.h"
#include "Vectorization/expressions/operators.h"
#include "Vectorization/matrix.h"

namespace qavrek {

// An n-dimensional row-major array: the element at indices (i_0, ..., i_{n-1}) lies at
// the sum of i_j times the product of the sizes after dimension j. Owning or a view, with
// the value rules written at the top of vector.h. An empty shape holds no element.
template <typename T>
class tensor : public expressions::operand_tag, public expressions::compound_assignment<tensor<T>> {
 public:
  using value_type = T;
  using iterator = T*;
  using const_iterator = const T*;

  static constexpr const char* file = "Library/Vectorization/tensor";
  static constexpr const char* wrong_arity = "number of idx is defferent from dimension!";

  tensor() noexcept = default;

  // Zero-filled; std::bad_alloc when the shape does not fit in memory.
  explicit tensor(std::vector<size_t> shape) : buffer_(element_count(shape)), shape_(std::move(shape)) {
    strides_ = strides_of(shape_);
  }

  tensor(std::vector<size_t> shape, T value) : tensor(std::move(shape)) { fill(value); }

  static tensor view(T* data, std::vector<size_t> shape) {
    const size_t count = element_count(shape);
    return tensor(aligned_buffer<T>::view(data, count), std::move(shape));
  }

  tensor(const tensor&) = default;
  tensor(tensor&& other) noexcept
      : buffer_(std::move(other.buffer_)), shape_(std::move(other.shape_)), strides_(std::move(other.strides_)) {
    other.shape_.clear();
    other.strides_.clear();
  }
  ~tensor() = default;

  tensor& operator=(const tensor& other) {
    if (this == &other) return *this;
    if (!owner()) return write_through(other);
    if (other.size() != size()) {
      aligned_buffer<T> copy(other.buffer_);
      buffer_.swap(copy);
    } else if (size() > 0) {
      std::copy(other.begin(), other.end(), begin());
    }
    shape_ = other.shape_;
    strides_ = other.strides_;
    return *this;
  }

  tensor& operator=(tensor&& other) {
    if (this == &other) return *this;
    if (!owner() || !other.owner()) return *this = std::as_const(other);
    buffer_ = std::move(other.buffer_);
    shape_ = std::exchange(other.shape_, {});
    strides_ = std::exchange(other.strides_, {});
    return *this;
  }

  template <typename E>
    requires(expressions::operand<E> && !std::is_same_v<E, tensor>) || expressions::scalar<E>
  tensor& operator=(const E& source) {
    assign_elements<expressions::assign_op>(source);
    return *this;
  }

  const std::vector<size_t>& shape() const noexcept { return shape_; }
  size_t dimension() const noexcept { return shape_.size(); }
  T* data() noexcept { return buffer_.data(); }
  const T* data() const noexcept { return buffer_.data(); }
  size_t size() const noexcept { return buffer_.size(); }
  bool empty() const noexcept { return size() == 0; }
  bool owner() const noexcept { return buffer_.owner(); }

  // Element by its position in storage.
  T& operator[](size_t i) noexcept { return data()[i]; }
  const T& operator[](size_t i) const noexcept { return data()[i]; }

  // Element by one index per dimension; the ranges are the caller's to respect.
  template <std::integral... I>
  T& operator()(I... indices) {
    return data()[offset(indices...)];
  }
  template <std::integral... I>
  const T& operator()(I... indices) const {
    return data()[offset(indices...)];
  }

  // Storage position of the given indices. Missing trailing indices count as 0; more
  // indices than dimensions, or an index outside its dimension, fail.
  size_t linearized_index(std::span<const size_t> indices) const {
    if (indices.size() > dimension()) details::check_fail("linearized_index", file, __LINE__, wrong_arity);
    size_t position = 0;
    for (size_t j = 0; j < indices.size(); ++j) {
      QAVREK_CHECK_AT("linearized_index", file, __LINE__, indices[j] < shape_[j], "index ", indices[j],
                      " is outside dimension ", j, " of size ", shape_[j]);
      position += indices[j] * strides_[j];
    }
    return position;
  }
  size_t linearized_index(std::initializer_list<size_t> indices) const {
    return linearized_index(std::span<const size_t>(indices.begin(), indices.size()));
  }

  // A matrix view of the slice spanned by the last two dimensions, from the row that the
  // indices name: get_matrix(i, 0, 0) is the i-th n x n block of an m x n x n tensor.
  // A one-dimensional tensor gives a single row. One index per dimension is required.
  matrix<T> get_matrix(std::span<const size_t> indices) { return matrix_at(indices); }
  const matrix<T> get_matrix(std::span<const size_t> indices) const { return matrix_at(indices); }

  template <std::integral... I>
  matrix<T> get_matrix(I... indices) {
    const std::array<size_t, sizeof...(I)> list{static_cast<size_t>(indices)...};
    return matrix_at(list);
  }
  template <std::integral... I>
  const matrix<T> get_matrix(I... indices) const {
    const std::array<size_t, sizeof...(I)> list{static_cast<size_t>(indices)...};
    return matrix_at(list);
  }

  iterator begin() noexcept { return data(); }
  iterator end() noexcept { return data() + size(); }
  const_iterator begin() const noexcept { return data(); }
  const_iterator end() const noexcept { return data() + size(); }

  void fill(T value) noexcept { std::fill(begin(), end(), value); }

  // The new shape with every element zero; nothing is kept. A view cannot be resized.
  void resize(std::vector<size_t> shape) {
    QAVREK_CHECK(owner(), "a view over storage it does not own cannot be resized");
    const size_t count = element_count(shape);
    if (count == size()) {
      fill(T{});
    } else {
      aligned_buffer<T> fresh(count);
      buffer_.swap(fresh);
    }
    shape_ = std::move(shape);
    strides_ = strides_of(shape_);
  }

  // Makes this tensor a view of the given shape over data, releasing what it owned.
  void rebind(T* data, std::vector<size_t> shape) {
    const size_t count = element_count(shape);
    std::vector<size_t> strides = strides_of(shape);
    buffer_ = aligned_buffer<T>::view(data, count);
    shape_ = std::move(shape);
    strides_ = std::move(strides);
  }

  void swap(tensor& other) noexcept {
    buffer_.swap(other.buffer_);
    shape_.swap(other.shape_);
    strides_.swap(other.strides_);
  }
  friend void swap(tensor& a, tensor& b) noexcept { a.swap(b); }

 private:
  friend class expressions::compound_assignment<tensor>;
  tensor(aligned_buffer<T>&& buffer, std::vector<size_t> shape)
      : buffer_(std::move(buffer)), shape_(std::move(shape)), strides_(strides_of(shape_)) {}

  static size_t element_count(const std::vector<size_t>& shape) {
    if (shape.empty()) return 0;
    size_t count = 1;
    for (size_t extent : shape) count = aligned_buffer<T>::checked_product(count, extent);
    return count;
  }

  static std::vector<size_t> strides_of(const std::vector<size_t>& shape) {
    std::vector<size_t> strides(shape.size(), 1);
    for (size_t j = shape.size(); j-- > 1;) strides[j - 1] = strides[j] * shape[j];
    return strides;
  }

  template <typename... I>
  size_t offset(I... indices) const {
    if (sizeof...(I) != dimension()) details::check_fail("operator()", file, __LINE__, wrong_arity);
    size_t position = 0;
    size_t j = 0;
    ((position += static_cast<size_t>(indices) * strides_[j++]), ...);
    return position;
  }

  matrix<T> matrix_at(std::span<const size_t> indices) const {
    if (indices.size() != dimension()) details::check_fail("get_matrix", file, __LINE__, wrong_arity);
    if (indices.empty()) return matrix<T>();
    const size_t position = linearized_index(indices);
    QAVREK_CHECK_AT("get_matrix", file, __LINE__, indices.back() == 0, "a matrix view starts at the first column, not ",
                    indices.back());
    const size_t n = dimension();
    const size_t rows = n >= 2 ? shape_[n - 2] - indices[n - 2] : 1;
    return matrix<T>::view(const_cast<T*>(data()) + position, rows, shape_[n - 1]);
  }

  template <typename Assign, typename E>
  void assign_elements(const E& source) {
    expressions_evaluator::assign<Assign>(data(), size(), source, expressions_evaluator::tensor_line);
  }

  tensor& write_through(const tensor& other) {
    assign_elements<expressions::assign_op>(other);
    return *this;
  }

  aligned_buffer<T> buffer_;
  std::vector<size_t> shape_;
  std::vector<size_t> strides_;
};

}  // namespace qavrek
