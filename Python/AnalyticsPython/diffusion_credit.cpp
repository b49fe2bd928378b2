#include "AnalyticsPython/analytics_names.h"
#include "AnalyticsPython/diffusion_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<diffusion_credit>;

// The base of the credit diffusions. The queries write into the vector given, one entry per path of the
// states, and are asked from a simulation date of the diffusion.
struct diffusion_credit_binding {
  using type = diffusion_credit;
  using base = diffusion;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "diffusion_credit";
  static constexpr const char* doc = "diffusion_credit - no description provided.\n\nSuperclass: diffusion\n\n";

  static inline PyMethodDef methods[] = {
      entry::method<"log_conditional_survival_probability", &diffusion_credit::log_conditional_survival_probability>(
          "log_conditional_survival_probability(self, output:vector_IdE,\n"
          "    states:matrix_IdE, from_:datetime, to:datetime) -> None\n"
          "C++: virtual void log_conditional_survival_probability(\n"
          "    vector<double> &output, const matrix<double> &states,\n"
          "    const datetime &from, const datetime &to)\n\n"),
      entry::method<"survival_probability", &diffusion_credit::survival_probability>(
          "survival_probability(self, output:vector_IdE, states:matrix_IdE,\n"
          "    from_:datetime) -> None\n"
          "C++: virtual void survival_probability(vector<double> &output,\n"
          "    const matrix<double> &states, const datetime &from)\n\n"),
      entry::method<"create_market_data", &create_market_data>(create_market_data_doc),
      entry::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_diffusion_credit(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::diffusion_credit_binding>::AddFile(module_dict);
}
