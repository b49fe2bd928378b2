#include "Frame/wrapped_class.h"
#include "VectorizationPython/container_buffer.h"
#include "VectorizationPython/container_mapping.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<matrix<double>>;

// Rows written out, [[1, 2, 3], [4, 5, 6]]; an empty list is the empty matrix.
matrix<double> matrix_from_rows(const nested_values& rows) {
  if (rows.shape.size() == 1 && rows.shape[0] == 0) return matrix<double>();
  if (rows.shape.size() != 2) {
    PyErr_Format(PyExc_ValueError, "matrix<double>() argument 1: expected a list of rows, got %zu levels of lists",
                 rows.shape.size());
    throw python_error_already_set();
  }
  matrix<double> values(rows.shape[0], rows.shape[1]);
  std::copy(rows.values.begin(), rows.values.end(), values.begin());
  return values;
}

std::vector<size_t> matrix_shape(const matrix<double>& values) { return shape_of(values); }

struct matrix_binding {
  using type = matrix<double>;
  static constexpr const char* module_path = "qavrekmodules.Vectorization.";
  static constexpr const char* library_name = "matrix<double>";
  static constexpr const char* doc =
      "matrix<double>(rows:int, columns:int) -> matrix<double>\n"
      "C++: matrix(size_t rows, size_t columns)\n"
      "matrix<double>(rows:[[float, ...], ...]) -> matrix<double>\n"
      "C++: matrix(std::initializer_list<std::initializer_list<double>> rows)\n"
      "matrix<double>(__a:matrix_IdE) -> matrix<double>\n"
      "C++: matrix(const &matrix<double>)\n"
      "matrix<double>(values:array) -> matrix<double>\n"
      "    from any two-dimensional array of real numbers, in C or Fortran order\n"
      "\n"
      "matrix<double> - a row-major matrix; m[i, j] reads and writes an element, a shape starts zero-filled.\n\n";

  using constructors = overloads<constructor<"-@ii", matrix<double>, size_t, size_t>,
                                 factory_constructor<"@l", &matrix_from_rows>, copy_constructor<matrix<double>>,
                                 from_array<matrix<double>, 2>>;

  static inline PyMethodDef methods[] = {
      entry::method<"rows", &matrix<double>::rows>("rows(self) -> int\nC++: size_t rows() const\n\n"),
      entry::method<"columns", &matrix<double>::columns>("columns(self) -> int\nC++: size_t columns() const\n\n"),
      entry::method<"size", &matrix<double>::size>("size(self) -> int\nC++: size_t size() const\n\n"),
      entry::method<"shape", &matrix_shape>("shape(self) -> (int, int)\n\nThe rows and the columns.\n\n"),
      entry::method<"tolist", &to_list<matrix<double>>>("tolist(self) -> [[float, ...], ...]\n\nThe rows as lists.\n\n"),
      entry::end(),
  };

  static constexpr PyMappingMethods* mapping = &container_mapping<matrix<double>>::methods;
  static constexpr PyBufferProcs* buffer = &container_buffer<matrix<double>>::procs;
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_matrix(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::matrix_binding>::AddFile(module_dict);
}
