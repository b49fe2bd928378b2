#include "Market/market_data_id.h"

namespace qavrek {

market_data_id::~market_data_id() = default;

}  // namespace qavrek
