#pragma once

#include <cstdint>

namespace qavrek {

// Where the numbers are generated; only the CPU exists.
enum class device_type : std::int16_t {
  CPU = 0,
};

}  // namespace qavrek
