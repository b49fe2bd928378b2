#include "Runtime/qavrekPythonUtil.h"

extern "C" {
int PyQAVREKAddFile_vector(PyObject* module_dict);
int PyQAVREKAddFile_matrix(PyObject* module_dict);
int PyQAVREKAddFile_tensor(PyObject* module_dict);
}

namespace {

PyModuleDef vectorization_module = {PyModuleDef_HEAD_INIT, "Vectorization", nullptr, 0, nullptr, nullptr, nullptr,
                                    nullptr, nullptr};

}  // namespace

extern "C" PyObject* real_initVectorization() {
  return qavrek::python::qavrekPythonUtil::InitializeModule(
      &vectorization_module, "Vectorization", {"qavrekmodules.Core"},
      {&PyQAVREKAddFile_vector, &PyQAVREKAddFile_matrix, &PyQAVREKAddFile_tensor});
}

PyMODINIT_FUNC PyInit_Vectorization() { return real_initVectorization(); }
