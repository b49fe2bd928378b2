#pragma once

#include <vector>

#include "Instrument/leg.h"
#include "Util/datetime.h"

namespace qavrek {

// The floating leg of a single-curve swap: each period pays the rate that the discount curve implies
// over it, so it is worth P(start) - P(end) today. Its `dcf` is the multiplier of that difference, 1.0.
class float_leg : public leg {
 public:
  explicit float_leg(const std::vector<datetime>& schedule);
};

}  // namespace qavrek
