#pragma once

#include <cstdint>

namespace qavrek {

// How the Markovian HJM models read a row of decays: as mean-reversion speeds (HULL_WHITE) or as the
// value of the decay itself on the row's interval (PICEWISE_CONSTANT).
enum class parameter_markovian_hjm_type : std::int32_t {
  HULL_WHITE = 0,
  PICEWISE_CONSTANT = 1,
};

// Whether a value (read from a file, or cast from an integer) names one of the types.
constexpr bool is_known(parameter_markovian_hjm_type type) noexcept {
  return type == parameter_markovian_hjm_type::HULL_WHITE || type == parameter_markovian_hjm_type::PICEWISE_CONSTANT;
}

}  // namespace qavrek
