#pragma once

#include <cstdint>

namespace qavrek {

// The generator families; the values are stored in configurations and must not change.
enum class random_type : std::int32_t {
  SOBOL = 0,
  SOBOL_BROWNIAN_BRIDGE = 1,
  WELL_19937 = 2,
  WELL_44497 = 3,
  MERSENNE_TWISTER = 4,
};

// Whether a value (read from a file, or cast from an integer) names one of the families.
constexpr bool is_known(random_type type) noexcept {
  return type >= random_type::SOBOL && type <= random_type::MERSENNE_TWISTER;
}

constexpr bool is_sobol(random_type type) noexcept {
  return type == random_type::SOBOL || type == random_type::SOBOL_BROWNIAN_BRIDGE;
}

}  // namespace qavrek
