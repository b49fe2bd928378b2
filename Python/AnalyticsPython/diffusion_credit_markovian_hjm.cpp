#include <vector>

#include "AnalyticsPython/analytics_names.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using intensity = diffusion_credit_markovian_hjm;
using entry = methods_of<intensity>;

// Built on its simulation dates (the first is the valuation date of its model), its market survival curve
// and the parameter set, which it shares.
struct diffusion_credit_markovian_hjm_binding {
  using type = intensity;
  using base = diffusion_credit;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "diffusion_credit_markovian_hjm";
  static constexpr const char* doc =
      "diffusion_credit_markovian_hjm(dates:(datetime, ...),\n"
      "    curve:survivalCurve, params:parameterMarkovianHjm)\n"
      "    -> diffusion_credit_markovian_hjm\n"
      "C++: diffusion_credit_markovian_hjm(\n"
      "    const std::vector<datetime> &dates,\n"
      "    const ptr_const<survival_curve> &curve,\n"
      "    const ptr_const<parameter_markovian_hjm> &params)\n"
      "\n"
      "diffusion_credit_markovian_hjm - no description provided.\n"
      "\n"
      "Superclass: diffusion_credit\n\n";

  using constructors =
      overloads<constructor<"@vWW survivalCurve parameterMarkovianHjm", intensity, const std::vector<datetime>&,
                            const ptr_const<survival_curve>&, const ptr_const<parameter_markovian_hjm>&>>;

  static inline PyMethodDef methods[] = {
      entry::method<"log_conditional_survival_probability", &intensity::log_conditional_survival_probability>(
          "log_conditional_survival_probability(self, output:vector_IdE,\n"
          "    states:matrix_IdE, from_:datetime, to:datetime) -> None\n"
          "C++: void log_conditional_survival_probability(\n"
          "    vector<double> &output, const matrix<double> &states,\n"
          "    const datetime &from, const datetime &to) override;\n\n"),
      entry::method<"survival_probability", &intensity::survival_probability>(
          "survival_probability(self, output:vector_IdE, states:matrix_IdE,\n"
          "    from_:datetime) -> None\n"
          "C++: void survival_probability(vector<double> &output,\n"
          "    const matrix<double> &states, const datetime &from) override;\n\n"),
      entry::method<"number_of_states", &intensity::number_of_states>(
          "number_of_states(self) -> int\nC++: size_t number_of_states() override;\n\n"),
      entry::method<"number_of_factors", &intensity::number_of_factors>(
          "number_of_factors(self) -> int\nC++: size_t number_of_factors() override;\n\n"),
      entry::method<"states_initialize", &intensity::states_initialize>(
          "states_initialize(self, states:matrix_IdE) -> None\n"
          "C++: void states_initialize(matrix<double> &states) override;\n\n"),
      entry::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_diffusion_credit_markovian_hjm(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::diffusion_credit_markovian_hjm_binding>::AddFile(module_dict);
}
