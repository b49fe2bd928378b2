#pragma once

#include <cstddef>

#include "Vectorization/expressions/expression_nodes.h"

namespace qavrek {

namespace expressions {

struct assign_op {
  template <typename X, typename Y>
  void operator()(X& x, Y y) const { x = y; }
};
struct add_assign_op {
  template <typename X, typename Y>
  void operator()(X& x, Y y) const { x += y; }
};
struct subtract_assign_op {
  template <typename X, typename Y>
  void operator()(X& x, Y y) const { x -= y; }
};
struct multiply_assign_op {
  template <typename X, typename Y>
  void operator()(X& x, Y y) const { x *= y; }
};
struct divide_assign_op {
  template <typename X, typename Y>
  void operator()(X& x, Y y) const { x /= y; }
};

}  // namespace expressions

// Writes an element-wise expression into a destination block in one plain loop, after
// checking that every container of the expression has the destination's size.
class expressions_evaluator {
 public:
  // The location that a size mismatch reports is fixed, so that a failing update reads the
  // same whatever code drives it: one line for vectors and matrices, one for tensors.
  static constexpr const char* file = "Library/Vectorization/expressions/expressions_evaluator";
  static constexpr int vector_line = 68;
  static constexpr int tensor_line = 30;

  template <typename Assign, typename T, expressions::node E>
  static void run(T* destination, size_t size, const E& expression, int line) {
    check_sizes(size, expression, line);
    // A local copy of the node tells the compiler that its pointers stay put while the
    // destination is written, which lets the loop vectorise.
    const E local = expression;
    for (size_t i = 0; i < size; ++i) Assign{}(destination[i], local[i]);
  }

  // The same check for a loop written by hand over `source_size` entries into `destination_size`.
  static void check_size(size_t source_size, size_t destination_size) {
    if (source_size != destination_size) [[unlikely]]
      size_mismatch(source_size, destination_size, vector_line);
  }

  // The containers' entry: a number is broadcast, a container or expression is checked.
  template <typename Assign, typename T, typename E>
    requires expressions::operand<E> || expressions::scalar<E>
  static void assign(T* destination, size_t size, const E& source, int line) {
    if constexpr (expressions::scalar<E>) {
      run<Assign>(destination, size, expressions::constant<T>{static_cast<T>(source)}, line);
    } else {
      run<Assign>(destination, size, expressions::as_node(source), line);
    }
  }

 private:
  template <typename E>
  static void check_sizes(size_t destination_size, const E& expression, int line) {
    expression.for_each_terminal([&](const auto& leaf) {
      if (leaf.size() != destination_size) [[unlikely]]
        size_mismatch(leaf.size(), destination_size, line);
    });
  }

  // Out of line: the loops above stay small, and the message is built in one place.
  static void size_mismatch(size_t expression_size, size_t destination_size, int line);
};

}  // namespace qavrek
