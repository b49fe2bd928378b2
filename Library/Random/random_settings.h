#pragma once

#include <cstddef>

#include "Random/device_type.h"
#include "Random/random_type.h"

namespace qavrek {

class random_settings_access;

// What a generator needs to know about the Monte Carlo run it serves.
//
// The stream of a Sobol generator is laid out in batches of number_of_paths_per_batch paths: a batch is
// number_of_simulation_dates blocks, one per date, of number_of_brownians rows of one number per path. The
// pseudo-random generators read the seed alone (its low 32 bits); batch_index is read by the callers, which
// turn it into a discard count. A Sobol generator with use_shift XORs every dimension with a word drawn from
// a pseudo-random generator of type generator_type seeded with the seed. full_skip is kept for the stored
// configurations; no generator reads it.
class random_settings {
 public:
  // The seed of a default-constructed std::mt19937.
  static constexpr size_t default_seed = 5489;

  random_settings(size_t seed, size_t number_of_paths_per_batch, size_t number_of_simulation_dates,
                  size_t number_of_brownians = 1, size_t batch_index = 0, bool full_skip = false,
                  random_type generator_type = random_type::WELL_19937, bool use_shift = true,
                  device_type type = device_type::CPU, bool orthogonalization = false);

  size_t seed() const noexcept { return seed_; }
  size_t number_of_paths_per_batch() const noexcept { return number_of_paths_per_batch_; }
  size_t number_of_simulation_dates() const noexcept { return number_of_simulation_dates_; }
  size_t number_of_brownians() const noexcept { return number_of_brownians_; }
  size_t batch_index() const noexcept { return batch_index_; }
  bool full_skip() const noexcept { return full_skip_; }
  random_type generator_type() const noexcept { return generator_type_; }
  bool use_shift() const noexcept { return use_shift_; }
  device_type type() const noexcept { return type_; }
  bool orthogonalization() const noexcept { return orthogonalization_; }

 private:
  // The loaders build an empty record, write the fields in order and then call initialize(); they reach
  // these members through random_settings_access, which the persistence code defines.
  friend class random_settings_access;

  random_settings() = default;

  // Refuses enumerator values that no generator knows (a loaded record may carry any integer).
  void initialize() const;

  size_t seed_ = default_seed;
  size_t number_of_paths_per_batch_ = 0;
  size_t number_of_simulation_dates_ = 0;
  size_t number_of_brownians_ = 1;
  size_t batch_index_ = 0;
  bool full_skip_ = false;
  random_type generator_type_ = random_type::WELL_19937;
  bool use_shift_ = true;
  device_type type_ = device_type::CPU;
  bool orthogonalization_ = false;
};

}  // namespace qavrek
