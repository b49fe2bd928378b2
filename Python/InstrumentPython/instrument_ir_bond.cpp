#include "Frame/wrapped_class.h"
#include "InstrumentPython/instrument_methods.h"
#include "InstrumentPython/instrument_names.h"
#include "UtilPython/util_names.h"

namespace qavrek::python {
namespace {

struct instrument_ir_bond_binding {
  using type = instrument_ir_bond;
  using base = instrument;
  static constexpr const char* module_path = "qavrekmodules.Instrument.";
  static constexpr const char* library_name = "instrument_ir_bond";
  static constexpr const char* doc =
      "instrument_ir_bond(expiry:datetime, maturity:datetime,\n"
      "    convention:dayCountConvention) -> instrument_ir_bond\n"
      "C++: instrument_ir_bond(const datetime &expiry, const datetime &maturity,\n"
      "                   const ptr_const<day_count_convention> &convention)\n"
      "\n"
      "instrument_ir_bond - no description provided.\n"
      "\n"
      "Superclass: instrument\n\n";

  using constructors = overloads<constructor<"@WWW datetime datetime dayCountConvention", instrument_ir_bond,
                                             datetime, datetime, ptr_const<day_count_convention>>>;
  static constexpr bool overload_reports_count = true;

  static constexpr auto& methods = bond_methods<instrument_ir_bond>;
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_instrument_ir_bond(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::instrument_ir_bond_binding>::AddFile(module_dict);
}
