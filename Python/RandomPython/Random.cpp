#include "Runtime/qavrekPythonUtil.h"

extern "C" {
int PyQAVREKAddFile_random(PyObject* module_dict);
int PyQAVREKAddFile_random_settings(PyObject* module_dict);
int PyQAVREKAddFile_random_type(PyObject* module_dict);
}

namespace {

PyModuleDef random_module = {PyModuleDef_HEAD_INIT, "Random", nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr};

}  // namespace

extern "C" PyObject* real_initRandom() {
  return qavrek::python::qavrekPythonUtil::InitializeModule(
      &random_module, "Random", {"qavrekmodules.Core", "qavrekmodules.Math", "qavrekmodules.Vectorization"},
      {&PyQAVREKAddFile_random, &PyQAVREKAddFile_random_settings, &PyQAVREKAddFile_random_type});
}

PyMODINIT_FUNC PyInit_Random() { return real_initRandom(); }
