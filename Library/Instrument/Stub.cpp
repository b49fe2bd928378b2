#include "Instrument/Stub.h"

#include "Core/check.h"

namespace qavrek {

Stub::Stub(stub_type type) : type_(type) {
  QAVREK_CHECK(type == stub_type::SIMPLE || type == stub_type::BOND || type == stub_type::NONE, "stub type ",
               static_cast<std::int32_t>(type), " is unknown");
}

double Stub::payment(const datetime& prevCouponDate, const datetime& nextCouponDate, const datetime& stubStart,
                     const datetime& stubEnd, const ptr_const<day_count_convention>& dcc) const {
  QAVREK_CHECK(dcc != nullptr, "a stub payment needs a day-count convention");
  QAVREK_CHECK(prevCouponDate.is_valid() && nextCouponDate.is_valid() && prevCouponDate < nextCouponDate,
               "the regular period from ", prevCouponDate, " to ", nextCouponDate, " is not a positive period");
  QAVREK_CHECK(stubStart.is_valid() && stubEnd.is_valid() && stubStart <= stubEnd, "the stub from ", stubStart,
               " to ", stubEnd, " ends before it starts");
  const double regular = dcc->fraction(prevCouponDate, nextCouponDate);
  switch (type_) {
    case stub_type::SIMPLE:
      return dcc->fraction(stubStart, stubEnd);
    case stub_type::BOND:
      return regular * (stubEnd.serial() - stubStart.serial()) / (nextCouponDate.serial() - prevCouponDate.serial());
    case stub_type::NONE:
      return regular;
  }
  QAVREK_FAIL("stub type ", static_cast<std::int32_t>(type_), " is unknown");
}

std::string Stub::to_string() const {
  switch (type_) {
    case stub_type::SIMPLE:
      return "SIMPLE";
    case stub_type::BOND:
      return "BOND";
    case stub_type::NONE:
      return "NONE";
  }
  QAVREK_FAIL("stub type ", static_cast<std::int32_t>(type_), " is unknown");
}

}  // namespace qavrek
