#include "Random/random_settings.h"

#include <cstdint>

#include "Core/check.h"

namespace qavrek {

random_settings::random_settings(size_t seed, size_t number_of_paths_per_batch, size_t number_of_simulation_dates,
                                 size_t number_of_brownians, size_t batch_index, bool full_skip,
                                 random_type generator_type, bool use_shift, device_type type, bool orthogonalization)
    : seed_(seed),
      number_of_paths_per_batch_(number_of_paths_per_batch),
      number_of_simulation_dates_(number_of_simulation_dates),
      number_of_brownians_(number_of_brownians),
      batch_index_(batch_index),
      full_skip_(full_skip),
      generator_type_(generator_type),
      use_shift_(use_shift),
      type_(type),
      orthogonalization_(orthogonalization) {
  initialize();
}

void random_settings::initialize() const {
  QAVREK_CHECK(is_known(generator_type_), "unknown random_type ", static_cast<std::int32_t>(generator_type_));
  const bool cpu = type_ == device_type::CPU;
  QAVREK_CHECK(cpu, "unsupported device_type ", static_cast<std::int32_t>(type_));
}

}  // namespace qavrek
