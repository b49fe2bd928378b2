#include "Analytics/simulation/states_variables.h"

#include <limits>
#include <new>

#include "Core/check.h"

namespace qavrek {

namespace {

size_t checked_add(size_t a, size_t b) {
  if (b > std::numeric_limits<size_t>::max() - a) throw std::bad_alloc();
  return a + b;
}

size_t checked_multiply(size_t a, size_t b) {
  if (b != 0 && a > std::numeric_limits<size_t>::max() / b) throw std::bad_alloc();
  return a * b;
}

}  // namespace

states_variables::states_variables(const std::vector<size_t>& sizes, size_t number_of_paths)
    : sizes_(sizes), number_of_paths_(number_of_paths), number_of_diffusions_(sizes.size()) {
  QAVREK_CHECK(!sizes_.empty(), "the states of a simulation need at least one diffusion");
  offsets_.resize(2 * number_of_diffusions_);
  size_t end = 0;
  for (size_t i = 0; i < number_of_diffusions_; ++i) {
    const size_t block_size = checked_multiply(number_of_paths_, sizes_[i]);
    offsets_[2 * i] = end;
    offsets_[2 * i + 1] = checked_add(end, block_size);
    end = checked_add(offsets_[2 * i + 1], block_size);
  }
  // Zero-filled: a block reads as the start state until the first write reaches it.
  if (end > 0) data_ = vector<double>(end);
}

matrix<double> states_variables::current_states(size_t i) {
  check_index(i);
  return block(i, 2 * i);
}

matrix<double> states_variables::next_states(size_t i) {
  check_index(i);
  return block(i, 2 * i + 1);
}

size_t states_variables::number_of_states(size_t i) const {
  check_index(i);
  return sizes_[i];
}

void states_variables::check_index(size_t i) const {
  QAVREK_CHECK(i < number_of_diffusions_, "diffusion ", i, " is out of range: the states hold ",
               number_of_diffusions_, " diffusions");
}

matrix<double> states_variables::block(size_t i, size_t offset_index) {
  double* start = data_.empty() ? nullptr : data_.data() + offsets_[offset_index];
  return matrix<double>::view(start, sizes_[i], number_of_paths_);
}

}  // namespace qavrek
