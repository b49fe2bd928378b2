#include "Frame/wrapped_class.h"
#include "UtilPython/util_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<datetime>;

struct datetime_binding {
  using type = datetime;
  static constexpr const char* module_path = "qavrekmodules.Util.";
  static constexpr const char* library_name = "datetime";
  static constexpr const char* doc =
      "datetime() -> datetime\n"
      "C++: datetime()\n"
      "datetime(serial:float) -> datetime\n"
      "C++: explicit datetime(double serial)\n"
      "datetime(year:int, month:int, day:int) -> datetime\n"
      "C++: datetime(int year, int month, int day)\n"
      "datetime(__a:datetime) -> datetime\n"
      "C++: datetime(const &datetime)\n"
      "\n"
      "datetime - a day number counted from 1899-12-30 (2020-01-01 is 43831); no date is NaN.\n\n";

  using constructors = overloads<constructor<"@", datetime>, constructor<"-@d", datetime, double>,
                                 constructor<"@iii", datetime, int, int, int>, copy_constructor<datetime>>;

  static inline PyMethodDef methods[] = {
      entry::method<"serial", &datetime::serial>("serial(self) -> float\nC++: double serial() const\n\n"),
      entry::method<"is_valid", &datetime::is_valid>("is_valid(self) -> bool\nC++: bool is_valid() const\n\n"),
      entry::method<"year", &datetime::year>("year(self) -> int\nC++: int year() const\n\n"),
      entry::method<"month", &datetime::month>("month(self) -> int\nC++: int month() const\n\n"),
      entry::method<"day", &datetime::day>("day(self) -> int\nC++: int day() const\n\n"),
      entry::method<"weekday", &datetime::weekday>(
          "weekday(self) -> int\nC++: int weekday() const\n\n0 is Sunday, 6 Saturday.\n\n"),
      entry::method<"to_string", &datetime::to_string>(
          "to_string(self) -> str\nC++: std::string to_string() const\n\n"),
      entry::end(),
  };

  static std::string text(const ptr_const<datetime>& date) { return date->to_string(); }
  static constexpr bool ordering = true;
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_datetime(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::datetime_binding>::AddFile(module_dict);
}
