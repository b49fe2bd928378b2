#include "Instrument/leg.h"

#include <utility>

#include "Core/check.h"

namespace qavrek {

leg::leg(const std::vector<datetime>& schedule, std::vector<double> dcfs) : dcfs_(std::move(dcfs)) {
  QAVREK_CHECK(schedule.size() >= 2, "a leg needs at least two dates, got ", schedule.size());
  const size_t periods = schedule.size() - 1;
  QAVREK_CHECK(dcfs_.size() == periods, "dcfs size ", dcfs_.size(), " is different from the ", periods, " periods");
  for (size_t i = 0; i < periods; ++i) {
    QAVREK_CHECK(schedule[i] < schedule[i + 1], "schedule date ", schedule[i + 1], " at ", i + 1,
                 " is not after the previous date");
    start_dates_.push_back(schedule[i]);
    end_dates_.push_back(schedule[i + 1]);
    payment_dates_.push_back(schedule[i + 1]);
    start_index_.push_back(i);
    end_index_.push_back(i + 1);
    pay_index_.push_back(i + 1);
  }
}

double leg::dcf(size_t period) const {
  QAVREK_CHECK(period < dcfs_.size(), "period ", period, " is out of range for ", dcfs_.size(), " periods");
  return dcfs_[period];
}

}  // namespace qavrek
