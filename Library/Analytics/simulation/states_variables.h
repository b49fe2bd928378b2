#pragma once

#include <cstddef>
#include <vector>

#include "Vectorization/matrix.h"
#include "Vectorization/vector.h"

namespace qavrek {

// The simulated states of every diffusion of one simulation for one batch of paths, in one aligned buffer
// that starts zero-filled. Diffusion i owns two blocks, its current states and then its next states, each
// of sizes[i] rows by number_of_paths columns (row-major, so a state variable of all paths is contiguous);
// the blocks follow each other in diffusion order.
//
// The accessors hand out views that do not own the memory: whoever keeps one beyond a step also keeps a
// shared pointer to the storage (the simulated market-data views do).
class states_variables {
 public:
  // At least one diffusion; a size or path count that does not fit in memory throws std::bad_alloc.
  states_variables(const std::vector<size_t>& sizes, size_t number_of_paths);

  states_variables(const states_variables&) = delete;
  states_variables& operator=(const states_variables&) = delete;

  // Views of diffusion i's blocks; i must be below number_of_diffusions().
  matrix<double> current_states(size_t i);
  matrix<double> next_states(size_t i);

  size_t number_of_states(size_t i) const;
  size_t number_of_diffusions() const noexcept { return number_of_diffusions_; }
  size_t number_of_paths() const noexcept { return number_of_paths_; }

 private:
  void check_index(size_t i) const;
  matrix<double> block(size_t i, size_t offset_index);

  vector<double> data_;
  std::vector<size_t> sizes_;
  size_t number_of_paths_ = 0;
  size_t number_of_diffusions_ = 0;
  // Two per diffusion: the start of its current block, then of its next block.
  std::vector<size_t> offsets_;
};

}  // namespace qavrek
