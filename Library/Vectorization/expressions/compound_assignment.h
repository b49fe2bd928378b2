#pragma once

#include "Vectorization/expressions/expressions_evaluator.h"
#include "Vectorization/expressions/operators.h"

namespace qavrek::expressions {

// The element-wise compound assignments of a container, written once: each forwards to the
// container's own checked assign_elements with its operation.
template <typename Container>
class compound_assignment {
 public:
  template <typename E>
    requires operand<E> || scalar<E>
  Container& operator+=(const E& source) {
    return apply<add_assign_op>(source);
  }

  template <typename E>
    requires operand<E> || scalar<E>
  Container& operator-=(const E& source) {
    return apply<subtract_assign_op>(source);
  }

  template <typename E>
    requires operand<E> || scalar<E>
  Container& operator*=(const E& source) {
    return apply<multiply_assign_op>(source);
  }

  template <typename E>
    requires operand<E> || scalar<E>
  Container& operator/=(const E& source) {
    return apply<divide_assign_op>(source);
  }

 private:
  template <typename Assign, typename E>
  Container& apply(const E& source) {
    auto& container = static_cast<Container&>(*this);
    container.template assign_elements<Assign>(source);
    return container;
  }
};

}  // namespace qavrek::expressions
