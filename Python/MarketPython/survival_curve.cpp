#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<survival_curve>;

std::tuple<ptr_const<default_id>, ptr_const<day_count_convention>> no_id_nor_convention() { return {nullptr, nullptr}; }

using dates_query = double (survival_curve::*)(const datetime&, const datetime&) const;
using path_dates_query = void (survival_curve::*)(vector<double>&, const datetime&, const datetime&) const;
constexpr auto scalar_log_probability = static_cast<dates_query>(&survival_curve::log_survival_probability);
constexpr auto path_log_probability = static_cast<path_dates_query>(&survival_curve::log_survival_probability);
constexpr auto scalar_probability = static_cast<dates_query>(&survival_curve::survival_probability);
constexpr auto path_probability = static_cast<void (survival_curve::*)(vector<double>&, const datetime&) const>(
    &survival_curve::survival_probability);

struct survival_curve_binding {
  using type = survival_curve;
  using base = market_data;
  static constexpr const char* module_path = "qavrekmodules.Market.";
  static constexpr const char* library_name = "survival_curve";
  static constexpr const char* doc =
      "survival_curve(valuation_date:datetime, hazard_rate:float, id:defaultId=None,\n"
      "    convention:dayCountConvention=None) -> survival_curve\n"
      "C++: survival_curve(const datetime &valuation_date, double hazard_rate, ptr_const<default_id> id = nullptr,\n"
      "               ptr_const<day_count_convention> convention = nullptr)\n"
      "survival_curve(valuation_date:datetime, dates:[datetime, ...],\n"
      "    probabilities:[float, ...], id:defaultId=None,\n"
      "    convention:dayCountConvention=None) -> survival_curve\n"
      "C++: survival_curve(const datetime &valuation_date, const std::vector<datetime> &dates,\n"
      "               const std::vector<double> &probabilities, ptr_const<default_id> id = nullptr,\n"
      "               ptr_const<day_count_convention> convention = nullptr)\n"
      "\n"
      "survival_curve - no description provided.\n"
      "\n"
      "Superclass: market_data\n\n";

  using constructors = overloads<
      constructor_with_defaults<"@Wd|WW datetime defaultId dayCountConvention", survival_curve, &no_id_nor_convention,
                                datetime, double, ptr_const<default_id>, ptr_const<day_count_convention>>,
      constructor_with_defaults<"@Wlv|WW datetime defaultId dayCountConvention", survival_curve, &no_id_nor_convention,
                                datetime, std::vector<datetime>, std::vector<double>, ptr_const<default_id>,
                                ptr_const<day_count_convention>>>;

  static inline PyMethodDef methods[] = {
      entry::overloaded<"log_survival_probability",
                        method_overload<"@WWW vector_IdE datetime datetime", path_log_probability>,
                        method_overload<"@WW datetime datetime", scalar_log_probability>>(
          "log_survival_probability(self, output:vector_IdE, from_:datetime, to:datetime) -> None\n"
          "C++: virtual void log_survival_probability(vector<double> &output, const datetime &from,\n"
          "                                          const datetime &to) const\n\n"
          "log_survival_probability(self, from_:datetime, to:datetime) -> float\n"
          "C++: virtual double log_survival_probability(const datetime &from, const datetime &to) const\n\n"),
      entry::overloaded<"survival_probability", method_overload<"@WW vector_IdE datetime", path_probability>,
                        method_overload<"@WW datetime datetime", scalar_probability>>(
          "survival_probability(self, output:vector_IdE, date:datetime) -> None\n"
          "C++: virtual void survival_probability(vector<double> &output, const datetime &date) const\n\n"
          "survival_probability(self, from_:datetime, to:datetime) -> float\n"
          "C++: virtual double survival_probability(const datetime &from, const datetime &to) const\n\n"),
      entry::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_survival_curve(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::survival_curve_binding>::AddFile(module_dict);
}
