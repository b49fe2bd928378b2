#include "Frame/wrapped_class.h"
#include "InstrumentPython/instrument_methods.h"
#include "InstrumentPython/instrument_names.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<instrument_ir_swaption>;
using instrument_entry = instrument_methods<instrument_ir_swaption>;

std::tuple<std::vector<double>, bool> no_strikes_as_ratios() { return {std::vector<double>{}, true}; }

struct instrument_ir_swaption_binding {
  using type = instrument_ir_swaption;
  using base = instrument;
  static constexpr const char* module_path = "qavrekmodules.Instrument.";
  static constexpr const char* library_name = "instrument_ir_swaption";
  static constexpr const char* doc =
      "instrument_ir_swaption(is_call:bool, curve:discountCurve, expiry:datetime,\n"
      "    maturity:datetime, frequency:tenor, convention:dayCountConvention,\n"
      "    strikes:(float, ...)=..., is_ratios:bool=True) -> instrument_ir_swaption\n"
      "C++: instrument_ir_swaption(bool is_call, const ptr_const<discount_curve> &curve, const datetime &expiry,\n"
      "                       const datetime &maturity, const tenor &frequency,\n"
      "                       const ptr_const<day_count_convention> &convention,\n"
      "                       const std::vector<double> &strikes={ }, bool is_ratios=true)\n"
      "instrument_ir_swaption(__a:instrumentIrSwaption) -> instrument_ir_swaption\n"
      "C++: instrument_ir_swaption(const &instrument_ir_swaption)\n"
      "\n"
      "instrument_ir_swaption - no description provided.\n"
      "\n"
      "Superclass: instrument\n\n";

  using constructors = overloads<
      constructor_with_defaults<"@bWWWWW|vb discountCurve datetime datetime tenor dayCountConvention",
                                instrument_ir_swaption, &no_strikes_as_ratios, bool, ptr_const<discount_curve>,
                                datetime, datetime, tenor, ptr_const<day_count_convention>, std::vector<double>, bool>,
      copy_constructor<instrument_ir_swaption>>;

  static inline PyMethodDef methods[] = {
      instrument_entry::value(value_override_doc),
      entry::method<"is_call", &instrument_ir_swaption::is_call>("is_call(self) -> bool\nC++: bool is_call() const\n\n"),
      instrument_entry::size(size_override_doc),
      entry::method<"swap", &instrument_ir_swaption::swap>(
          "swap(self) -> interestRateSwap\nC++: const ptr_const<interest_rate_swap> &swap() const\n\n"),
      entry::method<"strikes", &instrument_ir_swaption::strikes>(
          "strikes(self) -> (float, ...)\nC++: const std::vector<double> &strikes() const\n\n"),
      entry::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_instrument_ir_swaption(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::instrument_ir_swaption_binding>::AddFile(module_dict);
}
