#include "Runtime/qavrekPythonUtil.h"

extern "C" {
int PyQAVREKAddFile_device_type(PyObject* module_dict);
int PyQAVREKAddFile_aad_state_parameters_manager(PyObject* module_dict);
}

namespace {

PyModuleDef core_module = {PyModuleDef_HEAD_INIT, "Core", nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr};

}  // namespace

// The first module of the package: it readies the wrapping run time that the others check for.
extern "C" PyObject* real_initCore() {
  using qavrek::python::qavrekPythonUtil;
  if (!qavrekPythonUtil::Initialize()) return nullptr;
  return qavrekPythonUtil::InitializeModule(&core_module, "Core", {},
                                            {&PyQAVREKAddFile_device_type, &PyQAVREKAddFile_aad_state_parameters_manager});
}

PyMODINIT_FUNC PyInit_Core() { return real_initCore(); }
