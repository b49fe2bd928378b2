#include "AnalyticsPython/analytics_names.h"
#include "Frame/wrapped_class.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using model = lognormal_fx_with_mhjm_ir;

// calibrate is the base type's.
struct lognormal_fx_with_mhjm_ir_binding {
  using type = model;
  using base = lognormal_model_with_mhjm_ir;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "lognormal_fx_with_mhjm_ir";
  static constexpr const char* doc =
      "lognormal_fx_with_mhjm_ir(valution_date:datetime,\n"
      "    correlation_matrix:matrix_IdE,\n"
      "    parameter_ir_domestic:parameterMarkovianHjm,\n"
      "    parameter_ir_foreign:parameterMarkovianHjm)\n"
      "    -> lognormal_fx_with_mhjm_ir\n"
      "C++: lognormal_fx_with_mhjm_ir(const datetime &valution_date,\n"
      "    const matrix<double> &correlation_matrix,\n"
      "    const ptr_const<parameter_markovian_hjm> &parameter_ir_domestic,\n"
      "    const ptr_const<parameter_markovian_hjm> &parameter_ir_foreign)\n"
      "lognormal_fx_with_mhjm_ir(__a:lognormalFxWithMhjmIr)\n"
      "    -> lognormal_fx_with_mhjm_ir\n"
      "C++: lognormal_fx_with_mhjm_ir(const &lognormal_fx_with_mhjm_ir)\n"
      "\n"
      "lognormal_fx_with_mhjm_ir - no description provided.\n"
      "\n"
      "Superclass: lognormal_model_with_mhjm_ir\n\n";

  using constructors =
      overloads<constructor<"-@WWWW datetime matrix_IdE parameterMarkovianHjm parameterMarkovianHjm", model,
                            const datetime&, const matrix<double>&, const ptr_const<parameter_markovian_hjm>&,
                            const ptr_const<parameter_markovian_hjm>&>,
                copy_constructor<model>>;

  static inline PyMethodDef methods[] = {methods_of<model>::end()};
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_lognormal_fx_with_mhjm_ir(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::lognormal_fx_with_mhjm_ir_binding>::AddFile(module_dict);
}
