#include "Frame/wrapped_class.h"
#include "Frame/wrapped_enumeration.h"
#include "UtilPython/util_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<day_count_convention>;

std::tuple<ptr_const<calendar>> no_calendar() { return {nullptr}; }

struct day_count_convention_binding {
  using type = day_count_convention;
  static constexpr const char* module_path = "qavrekmodules.Util.";
  static constexpr const char* library_name = "day_count_convention";
  static constexpr const char* doc =
      "day_count_convention() -> day_count_convention\n"
      "C++: day_count_convention()\n"
      "day_count_convention(type:day_count_convention_type, calendar:calendar=...) -> day_count_convention\n"
      "C++: explicit day_count_convention(day_count_convention_type type,\n"
      "    ptr_const<qavrek::calendar> calendar = nullptr)\n"
      "day_count_convention(__a:dayCountConvention) -> day_count_convention\n"
      "C++: day_count_convention(const &day_count_convention)\n"
      "\n"
      "day_count_convention - the year fraction between two dates.\n\n";

  using constructors =
      overloads<constructor<"@", day_count_convention>,
                constructor_with_defaults<"-@E|W day_count_convention_type calendar", day_count_convention, &no_calendar,
                                          day_count_convention_type, ptr_const<calendar>>,
                copy_constructor<day_count_convention>>;

  static inline PyMethodDef methods[] = {
      entry::method<"type", &day_count_convention::type>(
          "type(self) -> day_count_convention_type\nC++: day_count_convention_type type() const\n\n"),
      entry::method<"calendar", &day_count_convention::calendar>(
          "calendar(self) -> calendar\nC++: const ptr_const<qavrek::calendar> &calendar() const\n\n"),
      entry::method<"fraction", &day_count_convention::fraction>(
          "fraction(self, from:datetime, to:datetime) -> float\n"
          "C++: double fraction(const datetime &from, const datetime &to) const\n\n"),
      entry::end(),
  };
};

struct day_count_convention_type_binding {
  using type = day_count_convention_type;
  static constexpr const char* module_path = "qavrekmodules.Util.";
  static constexpr enumerator<day_count_convention_type> enumerators[] = {
      {"ACT_365F", day_count_convention_type::ACT_365F},         {"ACT_360", day_count_convention_type::ACT_360},
      {"THIRTY_360", day_count_convention_type::THIRTY_360},     {"ACT_ACT_ISDA", day_count_convention_type::ACT_ACT_ISDA},
      {"BUSINESS_252", day_count_convention_type::BUSINESS_252},
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_day_count_convention(PyObject* module_dict) {
  using namespace qavrek::python;
  if (wrapped_enumeration<day_count_convention_type_binding>::AddFile(module_dict) < 0) return -1;
  return wrapped_class<day_count_convention_binding>::AddFile(module_dict);
}
