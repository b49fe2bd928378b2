#include "Market/market_data.h"

namespace qavrek {

market_data::~market_data() = default;

void market_data::finalize(const datetime& date) const { valuation_date_ = date; }

}  // namespace qavrek
