#pragma once

// The volatilities that a Cheyette calibration's targets have under a known parameter set, priced as the
// driver prices them: what a test plants on a surface to see the calibration find the set again.

#include <memory>
#include <vector>

#include "Analytics/calibration/ir/cheyette/calibration_ir_cheyette.h"
#include "Analytics/models/model_cheyette.h"
#include "Analytics/parameters/parameter_cheyette.h"
#include "Core/pointers.h"
#include "Util/datetime.h"

namespace qavrek::cheyette_test {

// One row per target, one volatility per strike, in the driver's order.
inline std::vector<std::vector<double>> target_volatilities(const calibration_ir_cheyette& driver,
                                                            const ptr_const<parameter_cheyette>& parameter,
                                                            const datetime& valuation_date) {
  const auto model = std::make_shared<const model_cheyette>(*parameter, valuation_date,
                                                            parameter->parameters()->volatilities_dates(), true, false);
  std::vector<std::vector<double>> out(driver.swaptions().size());
  for (size_t i = 0; i < out.size(); ++i)
    driver.swaptions()[i]->values(out[i], model, model->variance(driver.swaptions()[i]->expiry()));
  return out;
}

}  // namespace qavrek::cheyette_test
