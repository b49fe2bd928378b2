#include "Frame/wrapped_class.h"
#include "InstrumentPython/instrument_names.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<interest_rate_swap>;

constexpr auto swap_rate_on =
    static_cast<double (interest_rate_swap::*)(const std::vector<double>&) const>(&interest_rate_swap::swap_rate);
constexpr auto market_swap_rate =
    static_cast<double (interest_rate_swap::*)() const noexcept>(&interest_rate_swap::swap_rate);
constexpr auto annuity_on =
    static_cast<double (interest_rate_swap::*)(const std::vector<double>&) const>(&interest_rate_swap::annuity);
constexpr auto market_annuity = static_cast<double (interest_rate_swap::*)() const noexcept>(&interest_rate_swap::annuity);
constexpr auto volatility_of_price = static_cast<double (interest_rate_swap::*)(double, double, double) const>(
    &interest_rate_swap::implied_volatility);
constexpr auto volatility_on_surface =
    static_cast<double (interest_rate_swap::*)(const ptr_const<ir_volatility_surface>&, double) const>(
        &interest_rate_swap::implied_volatility);

// The price overload with is_call left at its default, a payer.
double payer_volatility_of_price(const interest_rate_swap& swap, double value, double strike) {
  return swap.implied_volatility(value, strike);
}

constexpr call_mode long_running = call_mode::long_running;

struct interest_rate_swap_binding {
  using type = interest_rate_swap;
  static constexpr const char* module_path = "qavrekmodules.Instrument.";
  static constexpr const char* library_name = "interest_rate_swap";
  static constexpr const char* doc =
      "interest_rate_swap(__a:interestRateSwap) -> interest_rate_swap\n"
      "C++: interest_rate_swap(const &interest_rate_swap)\n"
      "interest_rate_swap(curve:discountCurve, expiry:datetime, maturity:datetime,\n"
      "    frequency:tenor, convention:dayCountConvention) -> interest_rate_swap\n"
      "C++: interest_rate_swap(const ptr_const<discount_curve> &curve, const datetime &expiry,\n"
      "                   const datetime &maturity, const tenor &frequency,\n"
      "                   const ptr_const<day_count_convention> &convention)\n"
      "\n"
      "interest_rate_swap - no description provided.\n\n";

  using constructors =
      overloads<copy_constructor<interest_rate_swap>,
                constructor<"@WWWWW discountCurve datetime datetime tenor dayCountConvention", interest_rate_swap,
                            ptr_const<discount_curve>, datetime, datetime, tenor, ptr_const<day_count_convention>>>;

  static inline PyMethodDef methods[] = {
      entry::method<"simulated_value", &interest_rate_swap::simulated_value, long_running>(
          "simulated_value(self, mm:vector_IdE, curve:discountCurve,\n"
          "    strikes:(float, ...), is_call:bool, moment_matching:bool, debug:bool)\n"
          "    -> (float, ...)\n"
          "C++: std::vector<double> simulated_value(const vector<double> &mm,\n"
          "                                         const ptr_const<discount_curve> &curve,\n"
          "                                         const std::vector<double> &strikes, bool is_call,\n"
          "                                         bool moment_matching, bool debug)\n\n"),
      entry::method<"value", &interest_rate_swap::value>(
          "value(self, strike:float, dfs:(float, ...)) -> float\n"
          "C++: double value(double strike, const std::vector<double> &dfs) const\n\n"),
      entry::overloaded<"swap_rate", method_overload<"@v", swap_rate_on>, method_overload<"@", market_swap_rate>>(
          "swap_rate(self, dfs:(float, ...)) -> float\n"
          "C++: double swap_rate(const std::vector<double> &dfs) const\n\n"
          "swap_rate(self) -> float\n"
          "C++: double swap_rate() const\n\n"),
      entry::method<"swap_rate_aad", &interest_rate_swap::swap_rate_aad>(
          "swap_rate_aad(self, value_aad:float, dfs:(float, ...),\n"
          "    dfs_aad:[float, ...]) -> None\n"
          "C++: void swap_rate_aad(double value_aad, const std::vector<double> &dfs,\n"
          "                        std::vector<double> &dfs_aad) const\n\n"),
      entry::static_function<"gradient", &interest_rate_swap::gradient>(
          "gradient(output:vector_IdE, integral_decays:matrix_IdE,\n"
          "    log_dfs_aad:(float, ...)) -> None\n"
          "C++: static void gradient(vector<double> &output, const matrix<double> &integral_decays,\n"
          "                          const std::vector<double> &log_dfs_aad)\n\n"),
      entry::method<"hessian", &interest_rate_swap::hessian>(
          "hessian(self, output:matrix_IdE, value_aad:float, G:matrix_IdE,\n"
          "    dfs:(float, ...)) -> None\n"
          "C++: void hessian(matrix<double> &output, double value_aad, const matrix<double> &G,\n"
          "                  const std::vector<double> &dfs) const\n\n"),
      entry::overloaded<"annuity", method_overload<"@v", annuity_on>, method_overload<"@", market_annuity>>(
          "annuity(self, dfs:(float, ...)) -> float\n"
          "C++: double annuity(const std::vector<double> &dfs) const\n\n"
          "annuity(self) -> float\n"
          "C++: double annuity() const\n\n"),
      entry::method<"annuity_aad", &interest_rate_swap::annuity_aad>(
          "annuity_aad(self, dfs_aad:[float, ...], dfs:(float, ...)) -> None\n"
          "C++: void annuity_aad(std::vector<double> &dfs_aad, const std::vector<double> &dfs) const\n\n"),
      // Two arguments are a price and a strike or a surface and a strike; three, a price, a strike and
      // the option's side.
      entry::overloaded<"implied_volatility", method_overload<"@dd|d", &payer_volatility_of_price>,
                        method_overload<"@Wd irVolatilitySurface", volatility_on_surface>,
                        method_overload<"@dd|d", volatility_of_price>>(
          "implied_volatility(self, value:float, strike:float, is_call:float=1) -> float\n"
          "C++: double implied_volatility(double value, double strike, double is_call=1) const\n\n"
          "implied_volatility(self, volatility_surface:irVolatilitySurface,\n"
          "    strike:float) -> float\n"
          "C++: double implied_volatility(const ptr_const<ir_volatility_surface> &volatility_surface,\n"
          "                               double strike) const\n\n"),
      entry::method<"all_dates", &interest_rate_swap::all_dates>(
          "all_dates(self) -> (datetime, ...)\nC++: const std::vector<datetime> &all_dates() const\n\n"),
      entry::method<"expiry", &interest_rate_swap::expiry>(
          "expiry(self) -> datetime\nC++: const datetime &expiry() const\n\n"),
      entry::method<"maturity", &interest_rate_swap::maturity>(
          "maturity(self) -> datetime\nC++: const datetime &maturity() const\n\n"),
      entry::method<"is_caplet", &interest_rate_swap::is_caplet>(
          "is_caplet(self) -> bool\nC++: bool is_caplet() const\n\n"),
      entry::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_interest_rate_swap(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::interest_rate_swap_binding>::AddFile(module_dict);
}
