#include "Random/random.h"

#include <cstdint>
#include <memory>
#include <vector>

#include "Core/check.h"
#include "Random/mersenne_twister.h"
#include "Random/sobol_generator.h"
#include "Random/well_19937a.h"
#include "Random/well_44497a.h"

namespace qavrek {
namespace {

// One word per Sobol dimension from the settings' pseudo-random generator; uniforms are w 2^-32 exactly.
std::vector<std::uint32_t> digital_shift(const ptr_const<random_settings>& config, size_t dimension) {
  const bool pseudo_random = !is_sobol(config->generator_type());
  QAVREK_CHECK(pseudo_random,
               "the digital shift of a Sobol sequence is drawn from a pseudo-random generator_type, not ",
               static_cast<std::int32_t>(config->generator_type()));
  std::vector<double> uniforms(dimension);
  random::random_generator_factory(config->generator_type(), config)->uniforms(uniforms.data(), dimension, 0);
  std::vector<std::uint32_t> shift(dimension);
  for (size_t d = 0; d < dimension; ++d) shift[d] = static_cast<std::uint32_t>(uniforms[d] * 0x1p32);
  return shift;
}

ptr_mutable<random> make_sobol(const ptr_const<random_settings>& config, bool brownian_bridge) {
  const size_t dimension = sobol_generator::dimension(*config);
  std::vector<std::uint32_t> shift;
  if (config->use_shift()) shift = digital_shift(config, dimension);
  return std::make_shared<sobol_generator>(*config, brownian_bridge, std::move(shift));
}

}  // namespace

random::~random() = default;

ptr_mutable<random> random::random_generator_factory(random_type generator_type,
                                                     const ptr_const<random_settings>& config) {
  const bool has_settings = config != nullptr;
  QAVREK_CHECK(has_settings, "a generator needs random settings");
  switch (generator_type) {
    case random_type::SOBOL:
      return make_sobol(config, false);
    case random_type::SOBOL_BROWNIAN_BRIDGE:
      return make_sobol(config, true);
    case random_type::WELL_19937:
      return std::make_shared<well_19937a>(config->seed());
    case random_type::WELL_44497:
      return std::make_shared<well_44497a>(config->seed());
    case random_type::MERSENNE_TWISTER:
      return std::make_shared<mersenne_twister>(config->seed());
  }
  QAVREK_FAIL("unknown random_type ", static_cast<std::int32_t>(generator_type));
}

bool random::generate_upfront_onley(random_type type) {
  switch (type) {
    case random_type::SOBOL:
    case random_type::SOBOL_BROWNIAN_BRIDGE:
      return true;
    case random_type::WELL_19937:
    case random_type::WELL_44497:
    case random_type::MERSENNE_TWISTER:
      return false;
  }
  QAVREK_FAIL("unknown random_type ", static_cast<std::int32_t>(type));
}

}  // namespace qavrek
