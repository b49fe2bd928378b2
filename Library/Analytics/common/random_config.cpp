#include "Analytics/common/random_config.h"

#include <cstdint>

#include "Core/check.h"
#include "Serialization/serialization_impl.h"

namespace qavrek {

namespace {
constexpr const char* random_config_file = "Library/Analytics/common/random_config";
constexpr int settings_check_line = 66;
}  // namespace

random_config::random_config(random_type main_generator_type, size_t seed, size_t number_of_paths_per_batch,
                             size_t number_of_simulation_dates, size_t number_of_brownians, size_t batch_index,
                             bool use_shift, bool orthogonalization, random_type generator_type, device_type type)
    : main_generator_type_(main_generator_type),
      settings_(std::make_shared<const random_settings>(seed, number_of_paths_per_batch, number_of_simulation_dates,
                                                        number_of_brownians, batch_index, /*full_skip=*/false,
                                                        generator_type, use_shift, type, orthogonalization)) {
  validate();
}

random_config::random_config() : settings_(serialization::persistence_access::make_default<random_settings>()) {}

random_config::~random_config() = default;

void random_config::initialize() const { validate(); }

// The loaders always leave a record (a nested null record stands for a default one); this guards the
// invariant should a loader ever leave none.
void random_config::validate() const {
  if (settings_ == nullptr)
    details::check_fail("validate", random_config_file, settings_check_line, "invalide random settings!");
  QAVREK_CHECK(is_known(main_generator_type_), "unknown random_type ", static_cast<std::int32_t>(main_generator_type_));
}

// The settings record lives in the Random library, which carries no archives: its persistence functions
// are instantiated here, beside the one class that stores it.
template class serialization::persistable<random_settings>;
template class serialization::persistable<random_config>;

QAVREK_REGISTER_PERSISTABLE(random_config, config_data);

}  // namespace qavrek
