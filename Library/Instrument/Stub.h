#pragma once

#include <cstdint>
#include <string>

#include "Core/pointers.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"

namespace qavrek {

// How a stub, an irregular period of a coupon schedule, accrues against the regular coupon period
// [prevCouponDate, nextCouponDate] that it belongs to.
class Stub {
 public:
  enum class stub_type : std::int32_t {
    SIMPLE = 0,  // the stub's own year fraction
    BOND = 1,    // the regular period's year fraction, prorated by actual days
    NONE = 2,    // no stub treatment: the regular period's year fraction
  };

  explicit Stub(stub_type type);

  stub_type type() const noexcept { return type_; }

  // The accrual of the stub [stubStart, stubEnd] in the regular period [prevCouponDate, nextCouponDate]
  // under `dcc`:
  //   SIMPLE  dcc(stubStart, stubEnd)
  //   BOND    dcc(prevCouponDate, nextCouponDate) x days(stubStart, stubEnd) / days(prevCouponDate, nextCouponDate)
  //   NONE    dcc(prevCouponDate, nextCouponDate)
  // A long stub may reach beyond the regular period. Every date must be set, the regular period must
  // have a positive length and the stub must not end before it starts.
  double payment(const datetime& prevCouponDate, const datetime& nextCouponDate, const datetime& stubStart,
                 const datetime& stubEnd, const ptr_const<day_count_convention>& dcc) const;

  // The type's name: "SIMPLE", "BOND" or "NONE".
  std::string to_string() const;

 private:
  stub_type type_;
};

}  // namespace qavrek
