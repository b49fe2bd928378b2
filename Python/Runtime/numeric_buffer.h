#pragma once

#include <Python.h>

#include <cstddef>
#include <vector>

namespace qavrek::python {

// The numbers of an object that exports a buffer: numpy arrays of any real dtype (booleans, integers,
// floats of 2, 4 or 8 bytes, either byte order) in any memory order, array.array, memoryview, the
// library's vectors, matrices and tensors. They are read in row-major order as floats, in one pass.
class numeric_buffer {
 public:
  enum class outcome { read, not_numbers, failed };

  numeric_buffer() noexcept = default;
  ~numeric_buffer();
  numeric_buffer(const numeric_buffer&) = delete;
  numeric_buffer& operator=(const numeric_buffer&) = delete;

  // True for objects whose buffer holds values rather than text: str, bytes and bytearray are excluded.
  static bool offered_by(PyObject* object) noexcept;

  // Takes the object's buffer: `read`, or `not_numbers` (no error set) when its items are not real
  // numbers (Python objects, complex numbers, records), or `failed` with the exporter's Python error.
  outcome acquire(PyObject* object);

  size_t dimension() const noexcept { return shape_.size(); }
  const std::vector<size_t>& shape() const noexcept { return shape_; }
  size_t size() const noexcept { return size_; }

  // Writes the size() values into `out` in row-major order.
  void copy_to(double* out) const noexcept;

 private:
  enum class kind { boolean, signed_integer, unsigned_integer, floating };

  bool parse_format();
  double item(const char* at) const noexcept;

  Py_buffer view_{};
  bool held_ = false;
  kind kind_ = kind::floating;
  bool swapped_ = false;
  std::vector<size_t> shape_;
  std::vector<Py_ssize_t> strides_;
  size_t size_ = 0;
};

}  // namespace qavrek::python
