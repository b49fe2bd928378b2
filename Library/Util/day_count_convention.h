#pragma once

#include <cstdint>

#include "Core/pointers.h"
#include "Util/calendar.h"
#include "Util/datetime.h"

namespace qavrek {

enum class day_count_convention_type : std::int32_t {
  ACT_365F = 0,      // actual days / 365
  ACT_360 = 1,       // actual days / 360
  THIRTY_360 = 2,    // 30/360 bond basis
  ACT_ACT_ISDA = 3,  // days in each calendar year / that year's length
  BUSINESS_252 = 4,  // business days of the calendar / 252
};

// The year fraction between two dates. Persisted as "type" and "calendar"; the calendar is needed
// only by BUSINESS_252 and may be null otherwise.
class day_count_convention {
 public:
  // ACT/365F without calendar, as time grids and loaders start from.
  day_count_convention() = default;
  // An unknown type, or BUSINESS_252 without a calendar, is an error.
  explicit day_count_convention(day_count_convention_type type, ptr_const<qavrek::calendar> calendar = nullptr);

  // Year fraction from `from` to `to`; fraction(to, from) == -fraction(from, to), so it is negative
  // when to < from. Actual-day types count the time of day; 30/360 counts it as actual days over 360;
  // BUSINESS_252 counts whole days. NaN when either date is not set.
  double fraction(const datetime& from, const datetime& to) const;

  day_count_convention_type type() const noexcept { return type_; }
  const ptr_const<qavrek::calendar>& calendar() const noexcept { return calendar_; }

  // Setters for loaders, which then call initialize().
  void set_type(day_count_convention_type type) noexcept { type_ = type; }
  void set_calendar(ptr_const<qavrek::calendar> calendar) noexcept;
  // Checks the type and that BUSINESS_252 has its calendar.
  void initialize() const;

 private:
  double forward_fraction(const datetime& from, const datetime& to) const;

  day_count_convention_type type_ = day_count_convention_type::ACT_365F;
  ptr_const<qavrek::calendar> calendar_;
};

}  // namespace qavrek
