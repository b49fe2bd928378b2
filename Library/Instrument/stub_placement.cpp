#include "Instrument/stub_placement.h"

#include "Core/check.h"
#include "Util/datetime_helper.h"

namespace qavrek {

stub_placement::stub_placement(stub_placement_type placement) : placement_(placement) {
  QAVREK_CHECK(placement == stub_placement_type::FRONT || placement == stub_placement_type::BACK ||
                   placement == stub_placement_type::AUTO,
               "stub placement type ", static_cast<std::int32_t>(placement), " is unknown");
}

stub_placement::stub_placement(stub_type type)
    : placement_(type == stub_type::LONGEND || type == stub_type::SHORTEND ? stub_placement_type::BACK
                                                                           : stub_placement_type::FRONT),
      is_long_(type == stub_type::LONGSTART || type == stub_type::LONGEND) {
  QAVREK_CHECK(type == stub_type::LONGSTART || type == stub_type::SHORTSTART || type == stub_type::LONGEND ||
                   type == stub_type::SHORTEND,
               "stub type ", static_cast<std::int32_t>(type), " is unknown");
}

bool stub_placement::isEndStub(const tenor& t, const datetime& startDate, const datetime& endDate) const {
  QAVREK_CHECK(t.count() > 0, "tenor ", t.to_string(), " is not a positive period");
  QAVREK_CHECK(startDate.is_valid() && endDate.is_valid() && startDate < endDate, "the schedule from ", startDate,
               " to ", endDate, " is not a positive period");
  if (placement_ != stub_placement_type::AUTO) return placement_ == stub_placement_type::BACK;
  // Counted from the start each time, as the swaps count their schedules.
  datetime regular = startDate;
  for (int k = 1; regular < endDate; ++k) regular = datetime_helper::add_tenor(startDate, t, k);
  return regular == endDate;
}

}  // namespace qavrek
