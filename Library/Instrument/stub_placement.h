#pragma once

#include <cstdint>

#include "Util/datetime.h"
#include "Util/tenor.h"

namespace qavrek {

// Where a schedule puts its stub when the tenor does not divide it.
enum class stub_placement_type : std::int32_t {
  FRONT = 0,  // at the start: the regular dates are counted back from the end
  BACK = 1,   // at the end: the regular dates are counted on from the start
  AUTO = 2,   // at the start when there is a stub (the market's usual choice)
};

// A stub by its place and its length: a short stub is the remainder as a period of its own, a long stub
// joins the remainder to its neighbouring regular period.
enum class stub_type : std::int32_t {
  LONGSTART = 0,
  SHORTSTART = 1,
  LONGEND = 2,
  SHORTEND = 3,
};

// The stub rule of a schedule: its placement and whether the stub is long or short.
class stub_placement {
 public:
  // Short stubs at the given place.
  explicit stub_placement(stub_placement_type placement);
  // The stub the type names: LONGSTART and SHORTSTART at the FRONT, LONGEND and SHORTEND at the BACK.
  explicit stub_placement(stub_type type);

  stub_placement_type placement() const noexcept { return placement_; }
  bool isLongStub() const noexcept { return is_long_; }
  bool isShortStub() const noexcept { return !is_long_; }

  // Whether the stub of a schedule from startDate to endDate with regular periods of `t` goes at the end:
  // true for BACK, false for FRONT; for AUTO true unless the periods counted on from startDate miss
  // endDate, that is unless there is a stub, which AUTO then puts at the start. The tenor must be a
  // positive period and the dates set, startDate before endDate.
  bool isEndStub(const tenor& t, const datetime& startDate, const datetime& endDate) const;

 private:
  stub_placement_type placement_;
  bool is_long_ = false;
};

}  // namespace qavrek
