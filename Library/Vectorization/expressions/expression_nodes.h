#pragma once

#include <concepts>
#include <cstddef>
#include <type_traits>
#include <utility>

// Element-wise expressions over the flat elements of vectors, matrices and tensors.
// A node holds only pointers and sizes (never a container), so it is cheap to copy and
// evaluates element i on demand; the evaluator runs one plain loop over the destination.
// An expression refers to its operands: evaluate it in the statement that builds it.
namespace qavrek::expressions {

// Containers derive from this empty tag so that argument-dependent lookup finds the
// operators and element-wise functions of this namespace for them.
struct operand_tag {};

template <typename X>
concept container = std::derived_from<X, operand_tag> && requires(const X& x) {
  x.data();
  x.size();
};

template <typename X>
concept node = requires { X::is_expression_node; };

template <typename X>
concept operand = container<std::remove_cvref_t<X>> || node<std::remove_cvref_t<X>>;

template <typename X>
concept scalar = std::is_arithmetic_v<X>;

// The elements of a container, read in place.
template <typename T>
struct terminal {
  static constexpr bool is_expression_node = true;
  using value_type = T;

  const T* values;
  size_t count;

  T operator[](size_t i) const { return values[i]; }
  size_t size() const { return count; }

  template <typename F>
  void for_each_terminal(F&& f) const {
    f(*this);
  }
};

// A number broadcast over every element.
template <typename T>
struct constant {
  static constexpr bool is_expression_node = true;
  using value_type = T;

  T value;

  T operator[](size_t) const { return value; }

  template <typename F>
  void for_each_terminal(F&&) const {}
};

template <typename Op, typename A>
struct unary_node {
  static constexpr bool is_expression_node = true;
  using value_type = decltype(Op{}(std::declval<typename A::value_type>()));

  A a;

  value_type operator[](size_t i) const { return Op{}(a[i]); }

  template <typename F>
  void for_each_terminal(F&& f) const {
    a.for_each_terminal(f);
  }
};

template <typename Op, typename A, typename B>
struct binary_node {
  static constexpr bool is_expression_node = true;
  using value_type = decltype(Op{}(std::declval<typename A::value_type>(), std::declval<typename B::value_type>()));

  A a;
  B b;

  value_type operator[](size_t i) const { return Op{}(a[i], b[i]); }

  template <typename F>
  void for_each_terminal(F&& f) const {
    a.for_each_terminal(f);
    b.for_each_terminal(f);
  }
};

template <operand X>
auto as_node(const X& x) {
  if constexpr (node<X>) {
    return x;
  } else {
    using element = std::remove_cv_t<std::remove_pointer_t<decltype(x.data())>>;
    return terminal<element>{x.data(), x.size()};
  }
}

template <operand X>
using node_of = decltype(as_node(std::declval<const X&>()));

// Elements an expression has: the size of its first operand container (0 for constants alone).
template <node E>
size_t size_of(const E& expr) {
  size_t size = 0;
  bool found = false;
  expr.for_each_terminal([&](const auto& leaf) {
    if (!found) size = leaf.size();
    found = true;
  });
  return size;
}

}  // namespace qavrek::expressions
