#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <ostream>
#include <span>
#include <type_traits>
#include <utility>

#include "Core/check.h"
#include "Vectorization/aligned_buffer.h"
#include "Vectorization/expressions/compound_assignment.h"
#include "Vectorization/expressions/expressions_evaluator.h"
#include "Vectorization/expressions/operators.h"
#include "Vectorization/vector_form.h"

namespace qavrek {

// A vector of numbers in 64-byte aligned storage that it owns, or a view over someone
// else's storage (a view never frees).
//
// Value rules, the same for vector, matrix and tensor:
// - construction by copy always gives an owning deep copy, also of a view;
// - construction by move takes the storage over (a moved view stays a view) and leaves the
//   source empty; `auto r = m.row(i)` is the view itself, no copy is made;
// - assignment never changes whether the destination owns its storage. An owner receives
//   a deep copy of the source and its shape, or takes an owning source's storage over when
//   it is moved in; a view keeps its storage and shape and receives the values in place
//   (`m.row(i) = w`, `previous = states`), sizes checked. Only `rebind` re-points a container;
// - expressions and numbers are assigned element by element, sizes checked, never reallocating.
template <typename T>
class vector : public expressions::operand_tag, public expressions::compound_assignment<vector<T>> {
 public:
  using value_type = T;
  using iterator = T*;
  using const_iterator = const T*;

  vector() noexcept = default;
  explicit vector(size_t size) : buffer_(size) {}
  vector(size_t size, T value) : buffer_(size) { fill(value); }
  vector(std::initializer_list<T> values) : buffer_(values.size()) { std::copy(values.begin(), values.end(), data()); }
  explicit vector(std::span<const T> values) : buffer_(values.size()) {
    std::copy(values.begin(), values.end(), data());
  }

  // Owning storage sized like the expression, filled with its values.
  template <expressions::node E>
  vector(const E& expression) : buffer_(expressions::size_of(expression)) {
    assign_elements<expressions::assign_op>(expression);
  }

  static vector view(T* data, size_t size) noexcept { return vector(aligned_buffer<T>::view(data, size)); }

  vector(const vector&) = default;
  vector(vector&&) noexcept = default;
  ~vector() = default;

  vector& operator=(const vector& other) {
    if (this == &other) return *this;
    if (!owner()) return write_through(other);
    if (other.size() != size()) {
      aligned_buffer<T> copy(other.buffer_);
      buffer_.swap(copy);
    } else if (size() > 0) {
      std::copy(other.begin(), other.end(), begin());
    }
    return *this;
  }

  vector& operator=(vector&& other) {
    if (this == &other) return *this;
    if (!owner() || !other.owner()) return *this = std::as_const(other);
    buffer_ = std::move(other.buffer_);
    return *this;
  }

  template <typename E>
    requires(expressions::operand<E> && !std::is_same_v<E, vector>) || expressions::scalar<E>
  vector& operator=(const E& source) {
    assign_elements<expressions::assign_op>(source);
    return *this;
  }

  T* data() noexcept { return buffer_.data(); }
  const T* data() const noexcept { return buffer_.data(); }
  size_t size() const noexcept { return buffer_.size(); }
  bool empty() const noexcept { return size() == 0; }
  // False for a view over storage that someone else frees.
  bool owner() const noexcept { return buffer_.owner(); }

  T& operator[](size_t i) noexcept { return data()[i]; }
  const T& operator[](size_t i) const noexcept { return data()[i]; }
  T& operator()(size_t i) noexcept { return data()[i]; }
  const T& operator()(size_t i) const noexcept { return data()[i]; }

  iterator begin() noexcept { return data(); }
  iterator end() noexcept { return data() + size(); }
  const_iterator begin() const noexcept { return data(); }
  const_iterator end() const noexcept { return data() + size(); }

  void fill(T value) noexcept { std::fill(begin(), end(), value); }

  // The new size with every element zero; nothing is kept. A view cannot be resized.
  void resize(size_t size) {
    QAVREK_CHECK(owner(), "a view over storage it does not own cannot be resized");
    if (size == this->size()) {
      fill(T{});
    } else {
      aligned_buffer<T> fresh(size);
      buffer_.swap(fresh);
    }
  }

  // Makes this vector a view over size elements at data, releasing what it owned.
  void rebind(T* data, size_t size) noexcept { buffer_ = aligned_buffer<T>::view(data, size); }

  void swap(vector& other) noexcept { buffer_.swap(other.buffer_); }
  friend void swap(vector& a, vector& b) noexcept { a.swap(b); }

 private:
  friend class expressions::compound_assignment<vector>;
  explicit vector(aligned_buffer<T>&& buffer) noexcept : buffer_(std::move(buffer)) {}

  template <typename Assign, typename E>
  void assign_elements(const E& source) {
    expressions_evaluator::assign<Assign>(data(), size(), source, expressions_evaluator::vector_line);
  }

  vector& write_through(const vector& other) {
    assign_elements<expressions::assign_op>(other);
    return *this;
  }

  aligned_buffer<T> buffer_;
};

template <typename T>
std::ostream& operator<<(std::ostream& out, const vector<T>& values) {
  write_vector_form(out, values.data(), values.size());
  return out;
}

}  // namespace qavrek
