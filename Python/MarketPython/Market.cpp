#include "Runtime/qavrekPythonUtil.h"

extern "C" {
int PyQAVREKAddFile_config_data(PyObject* module_dict);
int PyQAVREKAddFile_config_data_id(PyObject* module_dict);
int PyQAVREKAddFile_market_data(PyObject* module_dict);
int PyQAVREKAddFile_market_data_id(PyObject* module_dict);
int PyQAVREKAddFile_life_cycle_data(PyObject* module_dict);
int PyQAVREKAddFile_currency(PyObject* module_dict);
int PyQAVREKAddFile_discount_definition(PyObject* module_dict);
int PyQAVREKAddFile_discount_id(PyObject* module_dict);
int PyQAVREKAddFile_default_id(PyObject* module_dict);
int PyQAVREKAddFile_discount_curve(PyObject* module_dict);
int PyQAVREKAddFile_survival_curve(PyObject* module_dict);
int PyQAVREKAddFile_equity_spot(PyObject* module_dict);
int PyQAVREKAddFile_fx_spot(PyObject* module_dict);
int PyQAVREKAddFile_ir_volatility_surface(PyObject* module_dict);
}

namespace {

PyModuleDef market_module = {PyModuleDef_HEAD_INIT, "Market", nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr};

}  // namespace

// The bases come first: the ids and the market objects find them by name when they are readied.
extern "C" PyObject* real_initMarket() {
  return qavrek::python::qavrekPythonUtil::InitializeModule(
      &market_module, "Market", {"qavrekmodules.Core", "qavrekmodules.Util", "qavrekmodules.Vectorization"},
      {&PyQAVREKAddFile_config_data, &PyQAVREKAddFile_config_data_id, &PyQAVREKAddFile_market_data,
       &PyQAVREKAddFile_market_data_id, &PyQAVREKAddFile_life_cycle_data, &PyQAVREKAddFile_currency,
       &PyQAVREKAddFile_discount_definition, &PyQAVREKAddFile_discount_id, &PyQAVREKAddFile_default_id,
       &PyQAVREKAddFile_discount_curve, &PyQAVREKAddFile_survival_curve, &PyQAVREKAddFile_equity_spot,
       &PyQAVREKAddFile_fx_spot, &PyQAVREKAddFile_ir_volatility_surface});
}

PyMODINIT_FUNC PyInit_Market() { return real_initMarket(); }
