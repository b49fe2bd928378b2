#pragma once

#include <memory>

#include "Analytics/parameters/day_count_convention_field.h"
#include "Core/multi_process_stream.h"
#include "Core/pointers.h"
#include "Serialization/common/value_kinds.h"
#include "Serialization/serialization.h"
#include "Util/day_count_convention.h"

namespace qavrek {

// A day-count convention inside a persisted object, with its calendar:
//   JSON    {"Class": <convention class>, "type": <int>,
//            "calendar": {"Class": <calendar class>, "use_weekends": <bool>, "dates": [<serial>, ...]}}
//   binary  class name, type as i32, then calendar class name, use_weekends as a byte, dates as a u32
//           count and doubles.
// A null convention or calendar is the class name "null object!" alone. Loading never gives a null
// pointer: a null convention comes back as ACT/365F without calendar, and a stored convention always
// comes back with a calendar (a default one where a null calendar was stored).
void day_count_convention_to_json(ordered_json& j, const day_count_convention* convention);
ptr_const<day_count_convention> day_count_convention_from_json(const ordered_json& j);
void day_count_convention_to_binary(multi_process_stream& s, const day_count_convention* convention);
ptr_const<day_count_convention> day_count_convention_from_binary(multi_process_stream& s);

namespace serialization {

template <class Pointer>
struct persistent_form<day_count_convention_field<Pointer>> {
  using field = day_count_convention_field<Pointer>;

  static void save(ordered_json& j, const field& f) { day_count_convention_to_json(j, f.convention.get()); }
  static void save(multi_process_stream& s, const field& f) { day_count_convention_to_binary(s, f.convention.get()); }

  static void load(const ordered_json& j, field& f) {
    f.convention = f.missing_is_default && j.is_null() ? std::make_shared<const day_count_convention>()
                                                       : day_count_convention_from_json(j);
  }
  static void load(multi_process_stream& s, field& f) {
    f.convention = f.missing_is_default && s.remaining() == 0 ? std::make_shared<const day_count_convention>()
                                                              : day_count_convention_from_binary(s);
  }
};

}  // namespace serialization
}  // namespace qavrek
