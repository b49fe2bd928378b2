#pragma once

#include <type_traits>

#include "Core/pointers.h"
#include "Util/day_count_convention.h"

namespace qavrek {

// A parameter set's day-count convention field, as the persistence templates see it: a bare shared
// pointer would be saved as the envelope of a persistable class, which a convention is not, so the
// field goes through the convention's own form (day_count_convention_form.h, which the source files
// that save or load the field include). `Pointer` is ptr_const<day_count_convention>, const when
// saving. A field that older files may lack (`missing_is_default`) loads as ACT/365F without calendar
// when the JSON member is absent or null, or when the binary stream ends before it.
template <class Pointer>
struct day_count_convention_field {
  static_assert(std::is_same_v<std::remove_const_t<Pointer>, ptr_const<day_count_convention>>,
                "the field of a shared day-count convention");
  Pointer& convention;
  bool missing_is_default = false;
};

template <class Pointer>
day_count_convention_field<Pointer> persisted_day_convention(Pointer& convention) {
  return {convention, false};
}

template <class Pointer>
day_count_convention_field<Pointer> persisted_day_convention_or_default(Pointer& convention) {
  return {convention, true};
}

}  // namespace qavrek
