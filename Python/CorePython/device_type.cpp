#include "Frame/wrapped_enumeration.h"
#include "CorePython/core_names.h"

namespace qavrek::python {
namespace {

struct device_type_binding {
  using type = device_type;
  static constexpr const char* module_path = "qavrekmodules.Core.";
  static constexpr enumerator<device_type> enumerators[] = {{"CPU", device_type::CPU}};
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_device_type(PyObject* module_dict) {
  return qavrek::python::wrapped_enumeration<qavrek::python::device_type_binding>::AddFile(module_dict);
}
