#include "Market/life_cycle_data_id.h"

namespace qavrek {

life_cycle_data_id::~life_cycle_data_id() = default;

}  // namespace qavrek
