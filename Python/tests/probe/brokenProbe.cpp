#include "Frame/wrapped_class.h"
#include "probe_classes.h"

namespace qavrek::python {
namespace {

// Its base is registered by no module, so its registration fails.
struct orphan_binding {
  using type = probe::probe_orphan;
  using base = probe::probe_missing_base;
  static constexpr const char* module_path = "brokenProbe.";
  static constexpr const char* library_name = "probe_orphan";
  static constexpr const char* doc = "probe_orphan\n\n";
};

}  // namespace
}  // namespace qavrek::python

namespace {

PyModuleDef probe_module = {PyModuleDef_HEAD_INIT, "brokenProbe", nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr};

int add_orphan(PyObject* dict) { return qavrek::python::wrapped_class<qavrek::python::orphan_binding>::AddFile(dict); }

}  // namespace

PyMODINIT_FUNC PyInit_brokenProbe() {
  return qavrek::python::qavrekPythonUtil::InitializeModule(&probe_module, "brokenProbe", {"qavrekmodules.Core"},
                                                            {&add_orphan});
}
