#include "Runtime/qavrekPythonUtil.h"

namespace {

PyModuleDef probe_module = {PyModuleDef_HEAD_INIT, "isolatedProbe", nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr};

}  // namespace

// Imports no sibling, so it finds the run time initialised only when Core was imported before it.
PyMODINIT_FUNC PyInit_isolatedProbe() {
  return qavrek::python::qavrekPythonUtil::InitializeModule(&probe_module, "isolatedProbe", {}, {});
}
