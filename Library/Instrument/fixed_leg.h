#pragma once

#include <vector>

#include "Instrument/leg.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"

namespace qavrek {

// The fixed leg of a swap: each period pays strike x accrual at its end, the accrual (`dcf`) being the
// year fraction of the period under the swap's day count.
class fixed_leg : public leg {
 public:
  fixed_leg(const std::vector<datetime>& schedule, const day_count_convention& convention);
};

}  // namespace qavrek
