#pragma once

#include <cstddef>

#include "Random/device_type.h"
#include "Random/random_type.h"
#include "Serialization/common/persistable.h"
#include "Serialization/common/persistence_access.h"

namespace qavrek {

// What a generator needs to know about the Monte Carlo run it serves.
//
// The stream of a Sobol generator is laid out in batches of number_of_paths_per_batch paths: a batch is
// number_of_simulation_dates blocks, one per date, of number_of_brownians rows of one number per path. The
// pseudo-random generators read the seed alone (its low 32 bits); batch_index is read by the callers, which
// turn it into a discard count. A Sobol generator with use_shift XORs every dimension with a word drawn from
// a pseudo-random generator of type generator_type seeded with the seed. full_skip is kept for the stored
// configurations; no generator reads it.
//
// The record is persistable (JSON keys as the field names, binary in field order, the device type as a
// 32-bit integer). The Random library only declares the five whole-object functions: their definitions
// are instantiated by the analytics library, which carries the archives.
class random_settings : public serialization::persistable<random_settings> {
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
  // The loaders build a default record, read the fields in order and then call initialize().
  friend struct serialization::persistence_access;

  random_settings() = default;

  // Refuses enumerator values that no generator knows (a loaded record may carry any integer).
  void initialize() const;

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("seed", self.seed_);
    field("number_of_paths_per_batch", self.number_of_paths_per_batch_);
    field("number_of_simulation_dates", self.number_of_simulation_dates_);
    field("number_of_brownians", self.number_of_brownians_);
    field("batch_index", self.batch_index_);
    field("full_skip", self.full_skip_);
    field("generator_type", self.generator_type_);
    field("use_shift", self.use_shift_);
    field("type", self.type_);
    field("orthogonalization", self.orthogonalization_);
  }

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
