#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<discount_curve>;

std::tuple<ptr_const<discount_id>, ptr_const<day_count_convention>> no_id_nor_convention() {
  return {nullptr, nullptr};
}

constexpr auto scalar_log_df =
    static_cast<double (discount_curve::*)(const datetime&, const datetime&) const>(&discount_curve::log_df);
constexpr auto path_log_df =
    static_cast<void (discount_curve::*)(vector<double>&, const datetime&, const datetime&) const>(
        &discount_curve::log_df);

struct discount_curve_binding {
  using type = discount_curve;
  using base = market_data;
  static constexpr const char* module_path = "qavrekmodules.Market.";
  static constexpr const char* library_name = "discount_curve";
  static constexpr const char* doc =
      "discount_curve(valuation_date:datetime, rate:float, id:discountId=None,\n"
      "    convention:dayCountConvention=None) -> discount_curve\n"
      "C++: discount_curve(const datetime &valuation_date, double rate, ptr_const<discount_id> id = nullptr,\n"
      "               ptr_const<day_count_convention> convention = nullptr)\n"
      "discount_curve(valuation_date:datetime, dates:[datetime, ...],\n"
      "    dfs:[float, ...], id:discountId=None,\n"
      "    convention:dayCountConvention=None) -> discount_curve\n"
      "C++: discount_curve(const datetime &valuation_date, const std::vector<datetime> &dates,\n"
      "               const std::vector<double> &dfs, ptr_const<discount_id> id = nullptr,\n"
      "               ptr_const<day_count_convention> convention = nullptr)\n"
      "\n"
      "discount_curve - no description provided.\n"
      "\n"
      "Superclass: market_data\n\n";

  using constructors = overloads<
      constructor_with_defaults<"@Wd|WW datetime discountId dayCountConvention", discount_curve, &no_id_nor_convention,
                                datetime, double, ptr_const<discount_id>, ptr_const<day_count_convention>>,
      constructor_with_defaults<"@Wlv|WW datetime discountId dayCountConvention", discount_curve, &no_id_nor_convention,
                                datetime, std::vector<datetime>, std::vector<double>, ptr_const<discount_id>,
                                ptr_const<day_count_convention>>>;

  static inline PyMethodDef methods[] = {
      entry::method<"df", &discount_curve::df>(
          "df(self, from_:datetime, to:datetime) -> float\n"
          "C++: virtual double df(const datetime &from, const datetime &to) const\n\n"),
      entry::overloaded<"log_df", method_overload<"@WWW vector_IdE datetime datetime", path_log_df>,
                        method_overload<"@WW datetime datetime", scalar_log_df>>(
          "log_df(self, output:vector_IdE, from_:datetime, to:datetime) -> None\n"
          "C++: virtual void log_df(vector<double> &output, const datetime &from, const datetime &to) const\n\n"
          "log_df(self, from_:datetime, to:datetime) -> float\n"
          "C++: virtual double log_df(const datetime &from, const datetime &to) const\n\n"),
      entry::method<"discounting", &discount_curve::discounting>(
          "discounting(self, output:vector_IdE, date:datetime) -> None\n"
          "C++: virtual void discounting(vector<double> &output, const datetime &date) const\n\n"),
      entry::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_discount_curve(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::discount_curve_binding>::AddFile(module_dict);
}
