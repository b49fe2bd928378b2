#include "Instrument/fixed_leg.h"

namespace qavrek {

namespace {

std::vector<double> accruals(const std::vector<datetime>& schedule, const day_count_convention& convention) {
  std::vector<double> out;
  for (size_t i = 0; i + 1 < schedule.size(); ++i) out.push_back(convention.fraction(schedule[i], schedule[i + 1]));
  return out;
}

}  // namespace

fixed_leg::fixed_leg(const std::vector<datetime>& schedule, const day_count_convention& convention)
    : leg(schedule, accruals(schedule, convention)) {}

}  // namespace qavrek
