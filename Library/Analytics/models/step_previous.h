#pragma once

#include <algorithm>
#include <cstddef>

#include "Vectorization/matrix.h"

namespace qavrek {

// Before a vector step that copies rows [0, moved_rows) of `states` to `previous` as it reads them: a `previous`
// of another shape (or none yet) takes the whole copy here, else only the rows from `moved_rows` on, which the
// step does not touch.
inline void copy_rows_the_step_skips(const matrix<double>& states, size_t moved_rows, matrix<double>& previous) {
  const size_t paths = states.columns();
  if (previous.rows() != states.rows() || previous.columns() != paths) {
    previous = states;
    return;
  }
  std::copy(states.data() + moved_rows * paths, states.data() + states.size(), previous.data() + moved_rows * paths);
}

}  // namespace qavrek
