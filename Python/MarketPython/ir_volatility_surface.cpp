#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<ir_volatility_surface>;

std::tuple<ptr_const<day_count_convention>> no_convention() { return {nullptr}; }

constexpr auto volatility_by_dates =
    static_cast<double (ir_volatility_surface::*)(const datetime&, const datetime&, double) const>(
        &ir_volatility_surface::volatility);
constexpr auto volatility_by_tenors =
    static_cast<double (ir_volatility_surface::*)(const tenor&, const tenor&, double) const>(
        &ir_volatility_surface::volatility);

struct ir_volatility_surface_binding {
  using type = ir_volatility_surface;
  using base = market_data;
  static constexpr const char* module_path = "qavrekmodules.Market.";
  static constexpr const char* library_name = "ir_volatility_surface";
  static constexpr const char* doc =
      "ir_volatility_surface(valuation_date:datetime, expiries:[tenor, ...],\n"
      "    tenors:[tenor, ...], strikes:[float, ...], volatilities:tensor_IdE,\n"
      "    convention:dayCountConvention=None) -> ir_volatility_surface\n"
      "C++: ir_volatility_surface(const datetime &valuation_date, const std::vector<tenor> &expiries,\n"
      "                      const std::vector<tenor> &tenors, const std::vector<double> &strikes,\n"
      "                      const tensor<double> &volatilities, ptr_const<day_count_convention> convention = "
      "nullptr)\n"
      "ir_volatility_surface(__a:irVolatilitySurface) -> ir_volatility_surface\n"
      "C++: ir_volatility_surface(const &ir_volatility_surface)\n"
      "\n"
      "ir_volatility_surface - no description provided.\n"
      "\n"
      "Superclass: market_data\n\n";

  using constructors =
      overloads<constructor_with_defaults<"@WllvW|W datetime tensor_IdE dayCountConvention", ir_volatility_surface,
                                          &no_convention, datetime, std::vector<tenor>, std::vector<tenor>,
                                          std::vector<double>, const tensor<double>&, ptr_const<day_count_convention>>,
                copy_constructor<ir_volatility_surface>>;

  static inline PyMethodDef methods[] = {
      entry::overloaded<"volatility", method_overload<"@WWd datetime datetime", volatility_by_dates>,
                        method_overload<"@WWd tenor tenor", volatility_by_tenors>>(
          "volatility(self, expiry:datetime, maturity:datetime, strike:float) -> float\n"
          "C++: double volatility(const datetime &expiry, const datetime &maturity, double strike) const\n\n"
          "volatility(self, expiry:tenor, swap_tenor:tenor, strike:float) -> float\n"
          "C++: double volatility(const tenor &expiry, const tenor &swap_tenor, double strike) const\n\n"),
      entry::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_ir_volatility_surface(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::ir_volatility_surface_binding>::AddFile(module_dict);
}
