#include "Frame/wrapped_class.h"
#include "VectorizationPython/container_buffer.h"
#include "VectorizationPython/container_mapping.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<tensor<double>>;

tensor<double> tensor_from_nested(const nested_values& values) {
  tensor<double> result(values.shape);
  std::copy(values.values.begin(), values.values.end(), result.begin());
  return result;
}

std::vector<size_t> tensor_shape(const tensor<double>& values) { return values.shape(); }

// The zero-filled tensor of one extent per argument.
struct tensor_from_extents {
  static constexpr Py_ssize_t minimum = 1;
  static constexpr Py_ssize_t maximum = 8;
  static const char* signature() { return "-@i|iiiiiii"; }

  template <class Binding>
  static PyObject* wrapper(PyObject*, PyObject* args) noexcept {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
      qavrekPythonArgs parser(args, Binding::library_name);
      if (!in_range<Binding>(parser, minimum, maximum)) return nullptr;
      std::vector<size_t> shape(static_cast<size_t>(parser.GetArgCount()));
      for (size_t& extent : shape)
        if (!parser.GetValue(extent)) return nullptr;
      return build_owning<tensor<double>>(std::make_shared<tensor<double>>(std::move(shape)));
    });
  }
};

struct tensor_binding {
  using type = tensor<double>;
  static constexpr const char* module_path = "qavrekmodules.Vectorization.";
  static constexpr const char* library_name = "tensor<double>";
  static constexpr const char* doc =
      "tensor<double>(extent:int, ...) -> tensor<double>\n"
      "C++: explicit tensor(std::vector<size_t> shape)\n"
      "tensor<double>(values:[...]) -> tensor<double>\n"
      "tensor<double>(__a:tensor_IdE) -> tensor<double>\n"
      "C++: tensor(const &tensor<double>)\n"
      "tensor<double>(values:array) -> tensor<double>\n"
      "    from any array of real numbers of at least one dimension\n"
      "\n"
      "tensor<double> - a row-major array of up to 8 dimensions from extents (zero-filled), nested lists or arrays;\n"
      "t[i, j, k] reads and writes an element.\n\n";

  using constructors =
      overloads<tensor_from_extents, factory_constructor<"@l", &tensor_from_nested>, copy_constructor<tensor<double>>,
                                 from_array<tensor<double>, 0>>;

  static inline PyMethodDef methods[] = {
      entry::method<"dimension", &tensor<double>::dimension>("dimension(self) -> int\nC++: size_t dimension() const\n\n"),
      entry::method<"size", &tensor<double>::size>("size(self) -> int\nC++: size_t size() const\n\n"),
      entry::method<"shape", &tensor_shape>(
          "shape(self) -> (int, ...)\nC++: const std::vector<size_t> &shape() const\n\n"),
      entry::method<"tolist", &to_list<tensor<double>>>("tolist(self) -> [...]\n\nThe values as nested lists.\n\n"),
      entry::end(),
  };

  static constexpr PyMappingMethods* mapping = &container_mapping<tensor<double>>::methods;
  static constexpr PyBufferProcs* buffer = &container_buffer<tensor<double>>::procs;
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_tensor(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::tensor_binding>::AddFile(module_dict);
}
