#pragma once

#include <cmath>

#include "Vectorization/expressions/expression_nodes.h"

// Arithmetic and elementary functions, element by element. Each operand is a container,
// another expression or (for the binary operations) a number.
namespace qavrek::expressions {

struct negate_op {
  template <typename X>
  auto operator()(X x) const { return -x; }
};
struct plus_op {
  template <typename X, typename Y>
  auto operator()(X x, Y y) const { return x + y; }
};
struct minus_op {
  template <typename X, typename Y>
  auto operator()(X x, Y y) const { return x - y; }
};
struct multiplies_op {
  template <typename X, typename Y>
  auto operator()(X x, Y y) const { return x * y; }
};
struct divides_op {
  template <typename X, typename Y>
  auto operator()(X x, Y y) const { return x / y; }
};
struct pow_op {
  template <typename X, typename Y>
  auto operator()(X x, Y y) const { return std::pow(x, y); }
};
struct exp_op {
  template <typename X>
  auto operator()(X x) const { return std::exp(x); }
};
struct expm1_op {
  template <typename X>
  auto operator()(X x) const { return std::expm1(x); }
};
struct log_op {
  template <typename X>
  auto operator()(X x) const { return std::log(x); }
};
struct log1p_op {
  template <typename X>
  auto operator()(X x) const { return std::log1p(x); }
};
struct sqrt_op {
  template <typename X>
  auto operator()(X x) const { return std::sqrt(x); }
};
struct abs_op {
  template <typename X>
  auto operator()(X x) const { return std::abs(x); }
};

template <typename Op, operand A>
auto make_unary(const A& a) {
  return unary_node<Op, node_of<A>>{as_node(a)};
}

// A number next to an expression takes the expression's element type, so that
// 2 * v stays in double arithmetic for a vector of doubles.
template <typename Op, typename A, typename B>
auto make_binary(const A& a, const B& b) {
  if constexpr (scalar<A>) {
    using element = typename node_of<B>::value_type;
    return binary_node<Op, constant<element>, node_of<B>>{constant<element>{static_cast<element>(a)}, as_node(b)};
  } else if constexpr (scalar<B>) {
    using element = typename node_of<A>::value_type;
    return binary_node<Op, node_of<A>, constant<element>>{as_node(a), constant<element>{static_cast<element>(b)}};
  } else {
    return binary_node<Op, node_of<A>, node_of<B>>{as_node(a), as_node(b)};
  }
}

// At least one side of a binary operation is an expression or a container.
template <typename A, typename B>
concept binary_operands = (operand<A> && operand<B>) || (operand<A> && scalar<B>) || (scalar<A> && operand<B>);

template <typename A, typename B>
  requires binary_operands<A, B>
auto operator+(const A& a, const B& b) {
  return make_binary<plus_op>(a, b);
}

template <typename A, typename B>
  requires binary_operands<A, B>
auto operator-(const A& a, const B& b) {
  return make_binary<minus_op>(a, b);
}

template <typename A, typename B>
  requires binary_operands<A, B>
auto operator*(const A& a, const B& b) {
  return make_binary<multiplies_op>(a, b);
}

template <typename A, typename B>
  requires binary_operands<A, B>
auto operator/(const A& a, const B& b) {
  return make_binary<divides_op>(a, b);
}

template <typename A, typename B>
  requires binary_operands<A, B>
auto pow(const A& a, const B& b) {
  return make_binary<pow_op>(a, b);
}

template <operand A>
auto operator-(const A& a) {
  return make_unary<negate_op>(a);
}

template <operand A>
auto exp(const A& a) {
  return make_unary<exp_op>(a);
}

template <operand A>
auto expm1(const A& a) {
  return make_unary<expm1_op>(a);
}

template <operand A>
auto log(const A& a) {
  return make_unary<log_op>(a);
}

template <operand A>
auto log1p(const A& a) {
  return make_unary<log1p_op>(a);
}

template <operand A>
auto sqrt(const A& a) {
  return make_unary<sqrt_op>(a);
}

template <operand A>
auto abs(const A& a) {
  return make_unary<abs_op>(a);
}

}  // namespace qavrek::expressions
