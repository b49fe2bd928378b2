#include "Frame/wrapped_class.h"
#include "UtilPython/util_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<calendar>;

struct calendar_binding {
  using type = calendar;
  static constexpr const char* module_path = "qavrekmodules.Util.";
  static constexpr const char* library_name = "calendar";
  static constexpr const char* doc =
      "calendar() -> calendar\n"
      "C++: calendar()\n"
      "calendar(use_weekends:bool, holidays:[datetime, ...]) -> calendar\n"
      "C++: calendar(bool use_weekends, std::vector<datetime> holidays)\n"
      "calendar(__a:calendar) -> calendar\n"
      "C++: calendar(const &calendar)\n"
      "\n"
      "calendar - business days: neither holidays nor, when use_weekends is set, weekends.\n\n";

  using constructors = overloads<constructor<"@", calendar>, constructor<"@bl", calendar, bool, std::vector<datetime>>,
                                 copy_constructor<calendar>>;

  static inline PyMethodDef methods[] = {
      entry::method<"use_weekends", &calendar::use_weekends>("use_weekends(self) -> bool\nC++: bool use_weekends() const\n\n"),
      entry::method<"dates", &calendar::dates>(
          "dates(self) -> (datetime, ...)\nC++: const std::vector<datetime> &dates() const\n\n"),
      entry::method<"is_business_day", &calendar::is_business_day>(
          "is_business_day(self, date:datetime) -> bool\nC++: bool is_business_day(const datetime &date) const\n\n"),
      entry::method<"business_days_between", &calendar::business_days_between>(
          "business_days_between(self, from:datetime, to:datetime) -> int\n"
          "C++: std::int64_t business_days_between(const datetime &from, const datetime &to) const\n\n"),
      entry::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_calendar(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::calendar_binding>::AddFile(module_dict);
}
