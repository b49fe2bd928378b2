#include "AnalyticsPython/analytics_names.h"
#include "AnalyticsPython/diffusion_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<diffusion_ir>;

// The base of the interest-rate diffusions. The queries write into the vector given, one entry per path
// of the states, and are asked from a simulation date of the diffusion. log_normalized_discounting comes
// back as a vector of its own, not a view of the states.
struct diffusion_ir_binding {
  using type = diffusion_ir;
  using base = diffusion;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "diffusion_ir";
  static constexpr const char* doc = "diffusion_ir - no description provided.\n\nSuperclass: diffusion\n\n";

  static inline PyMethodDef methods[] = {
      entry::method<"log_df", &diffusion_ir::log_df>(
          "log_df(self, output:vector_IdE, states:matrix_IdE, from_:datetime,\n"
          "     to:datetime) -> None\n"
          "C++: virtual void log_df(vector<double> &output,\n"
          "    const matrix<double> &states, const datetime &from,\n"
          "    const datetime &to)\n\n"),
      entry::method<"discounting", &diffusion_ir::discounting>(
          "discounting(self, output:vector_IdE, states:matrix_IdE,\n"
          "    from_:datetime) -> None\n"
          "C++: virtual void discounting(vector<double> &output,\n"
          "    const matrix<double> &states, const datetime &from)\n\n"),
      entry::method<"log_normalized_discounting", &diffusion_ir::log_normalized_discounting>(
          "log_normalized_discounting(self, states:matrix_IdE) -> vector_IdE\n"
          "C++: vector<double> log_normalized_discounting(\n"
          "    const matrix<double> &states)\n\n"),
      entry::method<"create_market_data", &create_market_data>(create_market_data_doc),
      entry::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_diffusion_ir(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::diffusion_ir_binding>::AddFile(module_dict);
}
