#include "Market/life_cycle_data.h"

namespace qavrek {

life_cycle_data::~life_cycle_data() = default;

}  // namespace qavrek
