#include <vector>

#include "AnalyticsPython/analytics_names.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using rate = diffusion_ir_markovian_hjm;
using entry = methods_of<rate>;

// Built on its simulation dates (the first is the valuation date of its model), its market curve and the
// parameter set, which it shares.
struct diffusion_ir_markovian_hjm_binding {
  using type = rate;
  using base = diffusion_ir;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "diffusion_ir_markovian_hjm";
  static constexpr const char* doc =
      "diffusion_ir_markovian_hjm(dates:(datetime, ...), curve:discountCurve,\n"
      "     params:parameterMarkovianHjm) -> diffusion_ir_markovian_hjm\n"
      "C++: diffusion_ir_markovian_hjm(const std::vector<datetime> &dates,\n"
      "    const ptr_const<discount_curve> &curve,\n"
      "    const ptr_const<parameter_markovian_hjm> &params)\n"
      "\n"
      "diffusion_ir_markovian_hjm - no description provided.\n"
      "\n"
      "Superclass: diffusion_ir\n\n";

  using constructors =
      overloads<constructor<"@vWW discountCurve parameterMarkovianHjm", rate, const std::vector<datetime>&,
                            const ptr_const<discount_curve>&, const ptr_const<parameter_markovian_hjm>&>>;

  static inline PyMethodDef methods[] = {
      entry::method<"log_df", &rate::log_df>(
          "log_df(self, output:vector_IdE, states:matrix_IdE, from_:datetime,\n"
          "     to:datetime) -> None\n"
          "C++: void log_df(vector<double> &output,\n"
          "    const matrix<double> &states, const datetime &from,\n"
          "    const datetime &to) override;\n\n"),
      entry::method<"discounting", &rate::discounting>(
          "discounting(self, output:vector_IdE, states:matrix_IdE,\n"
          "    from_:datetime) -> None\n"
          "C++: void discounting(vector<double> &output,\n"
          "    const matrix<double> &states, const datetime &from) override;\n\n"),
      entry::method<"number_of_states", &rate::number_of_states>(
          "number_of_states(self) -> int\nC++: size_t number_of_states() override;\n\n"),
      entry::method<"number_of_factors", &rate::number_of_factors>(
          "number_of_factors(self) -> int\nC++: size_t number_of_factors() override;\n\n"),
      entry::method<"states_initialize", &rate::states_initialize>(
          "states_initialize(self, states:matrix_IdE) -> None\n"
          "C++: void states_initialize(matrix<double> &states) override;\n\n"),
      entry::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_diffusion_ir_markovian_hjm(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::diffusion_ir_markovian_hjm_binding>::AddFile(module_dict);
}
