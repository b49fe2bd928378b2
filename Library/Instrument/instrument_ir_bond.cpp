#include "Instrument/instrument_ir_bond.h"

#include <cmath>

#include "Core/check.h"
#include "Instrument/path_valuation.h"
#include "Market/discount_curve.h"

namespace qavrek {

instrument_ir_bond::instrument_ir_bond(const datetime& expiry, const datetime& maturity,
                                       const ptr_const<day_count_convention>& convention)
    : expiry_(expiry), maturity_(maturity), convention_(convention) {
  QAVREK_CHECK(expiry.is_valid() && maturity.is_valid() && expiry < maturity, "a bond from ", expiry, " to ", maturity,
               " does not end after it starts");
  QAVREK_CHECK(convention_ != nullptr, "a bond needs a day-count convention");
}

void instrument_ir_bond::value(const datetime& date, const std::vector<ptr_const<market_data>>& mkt_data,
                               tensor<double>& output) const {
  QAVREK_CHECK(date.is_valid() && date <= maturity_, "a bond maturing on ", maturity_, " has no value on ", date);
  const auto& curve = market_data_at<discount_curve>(mkt_data, 0, "discount curve");
  vector<double> values = vector<double>::view(output.data(), output_paths(output, size()));
  curve.log_df(values, date, maturity_);
  for (double& v : values) v = std::exp(v);
}

}  // namespace qavrek
