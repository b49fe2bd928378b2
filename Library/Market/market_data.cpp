#include "Market/market_data.h"

#include "Core/check.h"

namespace qavrek {

market_data::~market_data() = default;

void market_data::finalize(const datetime& date) const {
  check_finalize_date(date);
  valuation_date_ = date;
}

void market_data::check_finalize_date(const datetime& date) {
  QAVREK_CHECK(date.is_valid(), "the date is not set");
}

}  // namespace qavrek
