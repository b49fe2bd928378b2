#include "Frame/wrapped_class.h"
#include "InstrumentPython/instrument_methods.h"
#include "InstrumentPython/instrument_names.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<instrument_ir_spread_option>;
using instrument_entry = instrument_methods<instrument_ir_spread_option>;

struct instrument_ir_spread_option_binding {
  using type = instrument_ir_spread_option;
  using base = instrument;
  static constexpr const char* module_path = "qavrekmodules.Instrument.";
  static constexpr const char* library_name = "instrument_ir_spread_option";
  static constexpr const char* doc =
      "instrument_ir_spread_option(__a:instrumentIrSpreadOption)\n"
      "    -> instrument_ir_spread_option\n"
      "C++: instrument_ir_spread_option(const &instrument_ir_spread_option)\n"
      "instrument_ir_spread_option(is_call:bool, curve:discountCurve,\n"
      "    expiry:datetime, short_maturity:datetime, long_maturity:datetime,\n"
      "    frequency:tenor, convention:dayCountConvention, strikes:(float, ...))\n"
      "    -> instrument_ir_spread_option\n"
      "C++: instrument_ir_spread_option(bool is_call, const ptr_const<discount_curve> &curve,\n"
      "                            const datetime &expiry, const datetime &short_maturity,\n"
      "                            const datetime &long_maturity, const tenor &frequency,\n"
      "                            const ptr_const<day_count_convention> &convention,\n"
      "                            const std::vector<double> &strikes)\n"
      "\n"
      "instrument_ir_spread_option - no description provided.\n"
      "\n"
      "Superclass: instrument\n\n";

  using constructors =
      overloads<copy_constructor<instrument_ir_spread_option>,
                constructor<"@bWWWWWWv discountCurve datetime datetime datetime tenor dayCountConvention",
                            instrument_ir_spread_option, bool, ptr_const<discount_curve>, datetime, datetime, datetime,
                            tenor, ptr_const<day_count_convention>, std::vector<double>>>;

  static inline PyMethodDef methods[] = {
      instrument_entry::value(value_override_doc),
      entry::method<"is_call", &instrument_ir_spread_option::is_call>(
          "is_call(self) -> bool\nC++: bool is_call() const\n\n"),
      instrument_entry::size(size_override_doc),
      entry::method<"spread", &instrument_ir_spread_option::spread>(
          "spread(self) -> interestRateSpread\nC++: const ptr_const<interest_rate_spread> &spread() const\n\n"),
      entry::method<"strikes", &instrument_ir_spread_option::strikes>(
          "strikes(self) -> (float, ...)\nC++: const std::vector<double> &strikes() const\n\n"),
      entry::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_instrument_ir_spread_option(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::instrument_ir_spread_option_binding>::AddFile(module_dict);
}
