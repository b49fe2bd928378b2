#include "Runtime/qavrekPythonUtil.h"

extern "C" {
int PyQAVREKAddFile_datetime(PyObject* module_dict);
int PyQAVREKAddFile_tenor(PyObject* module_dict);
int PyQAVREKAddFile_key(PyObject* module_dict);
int PyQAVREKAddFile_calendar(PyObject* module_dict);
int PyQAVREKAddFile_day_count_convention(PyObject* module_dict);
}

namespace {

PyModuleDef util_module = {PyModuleDef_HEAD_INIT, "Util", nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr};

}  // namespace

extern "C" PyObject* real_initUtil() {
  return qavrek::python::qavrekPythonUtil::InitializeModule(
      &util_module, "Util", {"qavrekmodules.Core"},
      {&PyQAVREKAddFile_datetime, &PyQAVREKAddFile_tenor, &PyQAVREKAddFile_key, &PyQAVREKAddFile_calendar,
       &PyQAVREKAddFile_day_count_convention});
}

PyMODINIT_FUNC PyInit_Util() { return real_initUtil(); }
