#include "Frame/wrapped_class.h"
#include "InstrumentPython/instrument_names.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<interest_rate_spread>;

std::tuple<double, double> unit_weights() { return {1.0, 1.0}; }

struct interest_rate_spread_binding {
  using type = interest_rate_spread;
  static constexpr const char* module_path = "qavrekmodules.Instrument.";
  static constexpr const char* library_name = "interest_rate_spread";
  static constexpr const char* doc =
      "interest_rate_spread(curve:discountCurve, expiry:datetime,\n"
      "    long_maturity:datetime, short_maturity:datetime, frequency:tenor,\n"
      "    convention:dayCountConvention, long_weight:float=1.,\n"
      "    short_weight:float=1.) -> interest_rate_spread\n"
      "C++: interest_rate_spread(const ptr_const<discount_curve> &curve, const datetime &expiry,\n"
      "                     const datetime &long_maturity, const datetime &short_maturity,\n"
      "                     const tenor &frequency, const ptr_const<day_count_convention> &convention,\n"
      "                     const double long_weight=1., const double short_weight=1.)\n"
      "interest_rate_spread(__a:interestRateSpread) -> interest_rate_spread\n"
      "C++: interest_rate_spread(const &interest_rate_spread)\n"
      "\n"
      "interest_rate_spread - no description provided.\n\n";

  using constructors =
      overloads<constructor_with_defaults<"@WWWWWW|dd discountCurve datetime datetime datetime tenor dayCountConvention",
                                          interest_rate_spread, &unit_weights, ptr_const<discount_curve>, datetime,
                                          datetime, datetime, tenor, ptr_const<day_count_convention>, double, double>,
                copy_constructor<interest_rate_spread>>;

  static inline PyMethodDef methods[] = {
      entry::method<"value", &interest_rate_spread::value>(
          "value(self, strike:float, dfs:(float, ...)) -> float\n"
          "C++: double value(double strike, const std::vector<double> &dfs) const\n\n"),
      entry::method<"value_aad", &interest_rate_spread::value_aad>(
          "value_aad(self, log_dfs_aad:[float, ...], ret_aad:float,\n"
          "    dfs:(float, ...)) -> None\n"
          "C++: void value_aad(std::vector<double> &log_dfs_aad, double ret_aad,\n"
          "                    const std::vector<double> &dfs) const\n\n"),
      entry::method<"hessian", &interest_rate_spread::hessian>(
          "hessian(self, output:matrix_IdE, value_aad:float,\n"
          "    integral_decays:matrix_IdE, dfs:(float, ...)) -> None\n"
          "C++: void hessian(matrix<double> &output, double value_aad, const matrix<double> &integral_decays,\n"
          "                  const std::vector<double> &dfs) const\n\n"),
      entry::method<"simulated_value", &interest_rate_spread::simulated_value, call_mode::long_running>(
          "simulated_value(self, mm:vector_IdE, curve:discountCurve,\n"
          "    strikes:(float, ...), is_call:bool, moment_matching:bool) -> (float, ...)\n"
          "C++: std::vector<double> simulated_value(const vector<double> &mm,\n"
          "                                         const ptr_const<discount_curve> &curve,\n"
          "                                         const std::vector<double> &strikes, bool is_call,\n"
          "                                         bool moment_matching)\n\n"),
      entry::method<"long_swap", &interest_rate_spread::long_swap>(
          "long_swap(self) -> interestRateSwap\nC++: const ptr_const<interest_rate_swap> &long_swap() const\n\n"),
      entry::method<"short_swap", &interest_rate_spread::short_swap>(
          "short_swap(self) -> interestRateSwap\nC++: const ptr_const<interest_rate_swap> &short_swap() const\n\n"),
      entry::method<"long_weight", &interest_rate_spread::long_weight>(
          "long_weight(self) -> float\nC++: double long_weight() const\n\n"),
      entry::method<"short_weight", &interest_rate_spread::short_weight>(
          "short_weight(self) -> float\nC++: double short_weight() const\n\n"),
      entry::method<"expiry", &interest_rate_spread::expiry>(
          "expiry(self) -> datetime\nC++: const datetime &expiry() const\n\n"),
      entry::method<"all_dates", &interest_rate_spread::all_dates>(
          "all_dates(self) -> (datetime, ...)\nC++: const std::vector<datetime> &all_dates() const\n\n"),
      entry::method<"dfs", &interest_rate_spread::dfs>("dfs(self) -> (float, ...)\nC++: const std::vector<double> &dfs() const\n\n"),
      entry::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_interest_rate_spread(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::interest_rate_spread_binding>::AddFile(module_dict);
}
