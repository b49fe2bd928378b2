#pragma once

#include <cstddef>

#include "Core/pointers.h"
#include "Market/config_data.h"
#include "Random/device_type.h"
#include "Random/random_settings.h"
#include "Random/random_type.h"
#include "Serialization/common/persistable.h"
#include "Serialization/common/persistence_access.h"

namespace qavrek {

// What the Monte Carlo simulation needs to create its random-number generator: the type of the main
// generator and the generator settings, built once and shared, never modified.
class random_config : public config_data, public serialization::persistable<random_config> {
 public:
  // The settings never skip fully, and unlike random_settings they default to no shift. Both generator
  // types must name a family.
  random_config(random_type main_generator_type, size_t seed, size_t number_of_paths_per_batch,
                size_t number_of_simulation_dates, size_t number_of_brownians = 1, size_t batch_index = 0,
                bool use_shift = false, bool orthogonalization = false,
                random_type generator_type = random_type::WELL_19937, device_type type = device_type::CPU);
  random_config(const random_config&) = default;
  ~random_config() override;

  random_type main_generator_type() const noexcept { return main_generator_type_; }
  // Never null.
  ptr_const<random_settings> settings() const noexcept { return settings_; }

 private:
  friend struct serialization::persistence_access;

  // Used only by the loaders. A null record keeps this state, so it must be usable: a Sobol main
  // generator over default settings rather than no settings at all.
  random_config();

  void initialize() const;
  void validate() const;

  template <class Self, class Field>
  static void persisted_fields(Self& self, Field& field) {
    field("main_generator_type", self.main_generator_type_);
    field("settings", self.settings_);
  }

  random_type main_generator_type_ = random_type::SOBOL;
  ptr_const<random_settings> settings_;
};

}  // namespace qavrek
