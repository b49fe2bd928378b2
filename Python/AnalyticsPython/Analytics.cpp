#include "Runtime/qavrekPythonUtil.h"

// One registration per wrapped header; a header without a Python type registers nothing.
extern "C" {
int PyQAVREKAddFile_black_karasinski_pde_solver(PyObject* module_dict);
int PyQAVREKAddFile_calibration_black_karasinski_settings(PyObject* module_dict);
int PyQAVREKAddFile_calibration_cheyette_settings(PyObject* module_dict);
int PyQAVREKAddFile_calibration_hjm_settings(PyObject* module_dict);
int PyQAVREKAddFile_lognormal_model_with_mhjm_ir(PyObject* module_dict);
int PyQAVREKAddFile_calibration_credit_black_karasinski(PyObject* module_dict);
int PyQAVREKAddFile_lognormal_equity_with_mhjm_ir(PyObject* module_dict);
int PyQAVREKAddFile_lognormal_fx_with_mhjm_ir(PyObject* module_dict);
int PyQAVREKAddFile_calibration_ir_targets_configuration(PyObject* module_dict);
int PyQAVREKAddFile_calibration_ir_cheyette(PyObject* module_dict);
int PyQAVREKAddFile_calibration_ir_cheyette_swaption(PyObject* module_dict);
int PyQAVREKAddFile_calibration_ir_hjm(PyObject* module_dict);
int PyQAVREKAddFile_calibration_ir_hjm_helper(PyObject* module_dict);
int PyQAVREKAddFile_calibration_ir_hjm_spread_option(PyObject* module_dict);
int PyQAVREKAddFile_calibration_ir_hjm_swaption(PyObject* module_dict);
int PyQAVREKAddFile_change_of_measure(PyObject* module_dict);
int PyQAVREKAddFile_measure_id(PyObject* module_dict);
int PyQAVREKAddFile_measures(PyObject* module_dict);
int PyQAVREKAddFile_correlation_manager(PyObject* module_dict);
int PyQAVREKAddFile_pde_manager(PyObject* module_dict);
int PyQAVREKAddFile_random_config(PyObject* module_dict);
int PyQAVREKAddFile_random_manager(PyObject* module_dict);
int PyQAVREKAddFile_simulation_helper(PyObject* module_dict);
int PyQAVREKAddFile_simulation_manager(PyObject* module_dict);
int PyQAVREKAddFile_diffusion(PyObject* module_dict);
int PyQAVREKAddFile_diffusion_id(PyObject* module_dict);
int PyQAVREKAddFile_model(PyObject* module_dict);
int PyQAVREKAddFile_diffusion_credit(PyObject* module_dict);
int PyQAVREKAddFile_diffusion_credit_black_karasinski(PyObject* module_dict);
int PyQAVREKAddFile_diffusion_credit_extended_cir(PyObject* module_dict);
int PyQAVREKAddFile_diffusion_credit_markovian_hjm(PyObject* module_dict);
int PyQAVREKAddFile_diffusion_credit_id(PyObject* module_dict);
int PyQAVREKAddFile_survival_curve_diffusion(PyObject* module_dict);
int PyQAVREKAddFile_diffusion_equity(PyObject* module_dict);
int PyQAVREKAddFile_diffusion_equity_lognormal(PyObject* module_dict);
int PyQAVREKAddFile_equity_spot_diffusion(PyObject* module_dict);
int PyQAVREKAddFile_diffusion_equity_id(PyObject* module_dict);
int PyQAVREKAddFile_diffusion_fx(PyObject* module_dict);
int PyQAVREKAddFile_diffusion_fx_lognormal(PyObject* module_dict);
int PyQAVREKAddFile_fx_spot_diffusion(PyObject* module_dict);
int PyQAVREKAddFile_diffusion_fx_id(PyObject* module_dict);
int PyQAVREKAddFile_diffusion_ir(PyObject* module_dict);
int PyQAVREKAddFile_diffusion_ir_black_karasinski(PyObject* module_dict);
int PyQAVREKAddFile_diffusion_ir_cheyette(PyObject* module_dict);
int PyQAVREKAddFile_diffusion_ir_extended_cir(PyObject* module_dict);
int PyQAVREKAddFile_diffusion_ir_markovian_hjm(PyObject* module_dict);
int PyQAVREKAddFile_discount_curve_diffusion(PyObject* module_dict);
int PyQAVREKAddFile_diffusion_ir_id(PyObject* module_dict);
int PyQAVREKAddFile_parameter_black_karasinski(PyObject* module_dict);
int PyQAVREKAddFile_parameter_cheyette(PyObject* module_dict);
int PyQAVREKAddFile_parameter_extended_cir(PyObject* module_dict);
int PyQAVREKAddFile_parameter_lognormal(PyObject* module_dict);
int PyQAVREKAddFile_parameter_markovian_hjm(PyObject* module_dict);
}

namespace {

PyModuleDef analytics_module = {
    PyModuleDef_HEAD_INIT, "Analytics", nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr};

}  // namespace

// The siblings first: the bases and enumerations of other modules are found by name while the types
// are readied. A derived class of this module is registered after its base.
extern "C" PyObject* real_initAnalytics() {
  return qavrek::python::qavrekPythonUtil::InitializeModule(
      &analytics_module, "Analytics",
      {"qavrekmodules.Core", "qavrekmodules.Instrument", "qavrekmodules.Market", "qavrekmodules.Math",
       "qavrekmodules.Random", "qavrekmodules.Util", "qavrekmodules.Vectorization"},
      {&PyQAVREKAddFile_black_karasinski_pde_solver,
       &PyQAVREKAddFile_calibration_black_karasinski_settings,
       &PyQAVREKAddFile_calibration_cheyette_settings,
       &PyQAVREKAddFile_calibration_hjm_settings,
       &PyQAVREKAddFile_lognormal_model_with_mhjm_ir,
       &PyQAVREKAddFile_calibration_credit_black_karasinski,
       &PyQAVREKAddFile_lognormal_equity_with_mhjm_ir,
       &PyQAVREKAddFile_lognormal_fx_with_mhjm_ir,
       &PyQAVREKAddFile_calibration_ir_targets_configuration,
       &PyQAVREKAddFile_calibration_ir_cheyette,
       &PyQAVREKAddFile_calibration_ir_cheyette_swaption,
       &PyQAVREKAddFile_calibration_ir_hjm,
       &PyQAVREKAddFile_calibration_ir_hjm_helper,
       &PyQAVREKAddFile_calibration_ir_hjm_spread_option,
       &PyQAVREKAddFile_calibration_ir_hjm_swaption,
       &PyQAVREKAddFile_change_of_measure,
       &PyQAVREKAddFile_measure_id,
       &PyQAVREKAddFile_measures,
       &PyQAVREKAddFile_correlation_manager,
       &PyQAVREKAddFile_pde_manager,
       &PyQAVREKAddFile_random_config,
       &PyQAVREKAddFile_random_manager,
       &PyQAVREKAddFile_simulation_helper,
       &PyQAVREKAddFile_simulation_manager,
       &PyQAVREKAddFile_diffusion,
       &PyQAVREKAddFile_diffusion_id,
       &PyQAVREKAddFile_model,
       &PyQAVREKAddFile_diffusion_credit,
       &PyQAVREKAddFile_diffusion_credit_black_karasinski,
       &PyQAVREKAddFile_diffusion_credit_extended_cir,
       &PyQAVREKAddFile_diffusion_credit_markovian_hjm,
       &PyQAVREKAddFile_diffusion_credit_id,
       &PyQAVREKAddFile_survival_curve_diffusion,
       &PyQAVREKAddFile_diffusion_equity,
       &PyQAVREKAddFile_diffusion_equity_lognormal,
       &PyQAVREKAddFile_equity_spot_diffusion,
       &PyQAVREKAddFile_diffusion_equity_id,
       &PyQAVREKAddFile_diffusion_fx,
       &PyQAVREKAddFile_diffusion_fx_lognormal,
       &PyQAVREKAddFile_fx_spot_diffusion,
       &PyQAVREKAddFile_diffusion_fx_id,
       &PyQAVREKAddFile_diffusion_ir,
       &PyQAVREKAddFile_diffusion_ir_black_karasinski,
       &PyQAVREKAddFile_diffusion_ir_cheyette,
       &PyQAVREKAddFile_diffusion_ir_extended_cir,
       &PyQAVREKAddFile_diffusion_ir_markovian_hjm,
       &PyQAVREKAddFile_discount_curve_diffusion,
       &PyQAVREKAddFile_diffusion_ir_id,
       &PyQAVREKAddFile_parameter_black_karasinski,
       &PyQAVREKAddFile_parameter_cheyette,
       &PyQAVREKAddFile_parameter_extended_cir,
       &PyQAVREKAddFile_parameter_lognormal,
       &PyQAVREKAddFile_parameter_markovian_hjm});
}

PyMODINIT_FUNC PyInit_Analytics() { return real_initAnalytics(); }
