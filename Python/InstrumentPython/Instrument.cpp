#include "Runtime/qavrekPythonUtil.h"

extern "C" {
int PyQAVREKAddFile_instrument(PyObject* module_dict);
int PyQAVREKAddFile_Stub(PyObject* module_dict);
int PyQAVREKAddFile_stub_placement(PyObject* module_dict);
int PyQAVREKAddFile_swap_default_convention(PyObject* module_dict);
int PyQAVREKAddFile_instrument_credit_bond(PyObject* module_dict);
int PyQAVREKAddFile_fixed_leg(PyObject* module_dict);
int PyQAVREKAddFile_float_leg(PyObject* module_dict);
int PyQAVREKAddFile_instrument_bermudan_swaption(PyObject* module_dict);
int PyQAVREKAddFile_instrument_ir_bond(PyObject* module_dict);
int PyQAVREKAddFile_instrument_ir_spread_option(PyObject* module_dict);
int PyQAVREKAddFile_instrument_ir_swaption(PyObject* module_dict);
int PyQAVREKAddFile_interest_rate_spread(PyObject* module_dict);
int PyQAVREKAddFile_interest_rate_swap(PyObject* module_dict);
}

namespace {

PyModuleDef instrument_module = {PyModuleDef_HEAD_INIT, "Instrument", nullptr, 0, nullptr, nullptr, nullptr, nullptr,
                                 nullptr};

}  // namespace

// The instrument base comes first: the instruments find it by name when they are readied. The stub
// placements register after the stubs, so that "stub_type" ends as the placements' enumeration.
extern "C" PyObject* real_initInstrument() {
  return qavrek::python::qavrekPythonUtil::InitializeModule(
      &instrument_module, "Instrument",
      {"qavrekmodules.Core", "qavrekmodules.Market", "qavrekmodules.Math", "qavrekmodules.Util",
       "qavrekmodules.Vectorization"},
      {&PyQAVREKAddFile_instrument, &PyQAVREKAddFile_Stub, &PyQAVREKAddFile_stub_placement,
       &PyQAVREKAddFile_swap_default_convention, &PyQAVREKAddFile_instrument_credit_bond, &PyQAVREKAddFile_fixed_leg,
       &PyQAVREKAddFile_float_leg, &PyQAVREKAddFile_instrument_bermudan_swaption, &PyQAVREKAddFile_instrument_ir_bond,
       &PyQAVREKAddFile_instrument_ir_spread_option, &PyQAVREKAddFile_instrument_ir_swaption,
       &PyQAVREKAddFile_interest_rate_spread, &PyQAVREKAddFile_interest_rate_swap});
}

PyMODINIT_FUNC PyInit_Instrument() { return real_initInstrument(); }
