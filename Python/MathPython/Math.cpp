#include "Runtime/qavrekPythonUtil.h"

extern "C" int PyQAVREKAddFile_normal_distribution(PyObject* module_dict);

namespace {

PyModuleDef math_module = {PyModuleDef_HEAD_INIT, "Math", nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr};

}  // namespace

extern "C" PyObject* real_initMath() {
  return qavrek::python::qavrekPythonUtil::InitializeModule(&math_module, "Math",
                                                            {"qavrekmodules.Core", "qavrekmodules.Vectorization"},
                                                            {&PyQAVREKAddFile_normal_distribution});
}

PyMODINIT_FUNC PyInit_Math() { return real_initMath(); }
