#include "Frame/wrapped_class.h"
#include "InstrumentPython/instrument_methods.h"
#include "InstrumentPython/instrument_names.h"
#include "UtilPython/util_names.h"

namespace qavrek::python {
namespace {

std::tuple<bool> paid_at_maturity() { return {false}; }

struct instrument_credit_bond_binding {
  using type = instrument_credit_bond;
  using base = instrument;
  static constexpr const char* module_path = "qavrekmodules.Instrument.";
  static constexpr const char* library_name = "instrument_credit_bond";
  static constexpr const char* doc =
      "instrument_credit_bond(expiry:datetime, maturity:datetime,\n"
      "    convention:dayCountConvention, is_adp:bool=False)\n"
      "    -> instrument_credit_bond\n"
      "C++: instrument_credit_bond(const datetime &expiry, const datetime &maturity,\n"
      "                       const ptr_const<day_count_convention> &convention, bool is_adp=false)\n"
      "\n"
      "instrument_credit_bond - no description provided.\n"
      "\n"
      "Superclass: instrument\n\n";

  using constructors =
      overloads<constructor_with_defaults<"@WWW|b datetime datetime dayCountConvention", instrument_credit_bond,
                                          &paid_at_maturity, datetime, datetime, ptr_const<day_count_convention>,
                                          bool>>;
  static constexpr bool overload_reports_count = true;

  static constexpr auto& methods = bond_methods<instrument_credit_bond>;
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_instrument_credit_bond(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::instrument_credit_bond_binding>::AddFile(module_dict);
}
