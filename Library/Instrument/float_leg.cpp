#include "Instrument/float_leg.h"

namespace qavrek {

float_leg::float_leg(const std::vector<datetime>& schedule)
    : leg(schedule, std::vector<double>(schedule.size() < 2 ? 0 : schedule.size() - 1, 1.0)) {}

}  // namespace qavrek
