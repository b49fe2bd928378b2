#include "Frame/wrapped_class.h"
#include "VectorizationPython/container_buffer.h"
#include "VectorizationPython/container_mapping.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<vector<double>>;

vector<double> vector_from_values(const std::vector<double>& values) { return vector<double>(std::span<const double>(values)); }

std::vector<size_t> vector_shape(const vector<double>& values) { return shape_of(values); }

struct vector_binding {
  using type = vector<double>;
  static constexpr const char* module_path = "qavrekmodules.Vectorization.";
  static constexpr const char* library_name = "vector<double>";
  static constexpr const char* doc =
      "vector<double>(size:int) -> vector<double>\n"
      "C++: explicit vector(size_t size)\n"
      "vector<double>(values:[float, ...]) -> vector<double>\n"
      "C++: explicit vector(std::span<const double> values)\n"
      "vector<double>(__a:vector_IdE) -> vector<double>\n"
      "C++: vector(const &vector<double>)\n"
      "vector<double>(values:array) -> vector<double>\n"
      "    from any one-dimensional array of real numbers (numpy, memoryview, ...)\n"
      "\n"
      "vector<double> - numbers in aligned storage; v[i] reads and writes an element, a size starts zero-filled.\n\n";

  using constructors = overloads<constructor<"-@i", vector<double>, size_t>,
                                 factory_constructor<"@l", &vector_from_values>, copy_constructor<vector<double>>,
                                 from_array<vector<double>, 1>>;

  static inline PyMethodDef methods[] = {
      entry::method<"size", &vector<double>::size>("size(self) -> int\nC++: size_t size() const\n\n"),
      entry::method<"shape", &vector_shape>("shape(self) -> (int, ...)\n\nThe size, as a 1-tuple.\n\n"),
      entry::method<"tolist", &to_list<vector<double>>>("tolist(self) -> [float, ...]\n\nThe values as a list.\n\n"),
      entry::end(),
  };

  static constexpr PyMappingMethods* mapping = &container_mapping<vector<double>>::methods;
  static constexpr PyBufferProcs* buffer = &container_buffer<vector<double>>::procs;
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_vector(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::vector_binding>::AddFile(module_dict);
}
