#pragma once

#include <cstdint>

namespace qavrek {

// How the Markovian HJM models read a row of decays: as mean-reversion speeds (HULL_WHITE) or as the
// value of the decay itself on the row's interval (PICEWISE_CONSTANT).
enum class parameter_markovian_hjm_type : std::int32_t {
  HULL_WHITE = 0,
  PICEWISE_CONSTANT = 1,
};

}  // namespace qavrek
