#include "Vectorization/expressions/expressions_evaluator.h"

#include "Core/check.h"

namespace qavrek {

namespace {

struct extent {
  size_t count;
  size_t size() const { return count; }
};

}  // namespace

void expressions_evaluator::size_mismatch(size_t expression_size, size_t destination_size, int line) {
  const extent expr{expression_size};
  const extent rhs{destination_size};
  QAVREK_CHECK_AT("run", file, line, expr.size() == rhs.size(), "expression has diferrent size ", expr.size(),
                  " than destination ", rhs.size());
}

}  // namespace qavrek
