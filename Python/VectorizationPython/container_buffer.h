#pragma once

#include <Python.h>

#include <cstddef>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "Frame/constructors.h"
#include "Frame/wrapped_object.h"
#include "Runtime/numeric_buffer.h"
#include "Runtime/object_use.h"
#include "Runtime/python_error.h"
#include "Runtime/qavrekPythonArgs.h"
#include "VectorizationPython/container_mapping.h"

namespace qavrek::python {

// The buffer protocol of a row-major container: its own storage as float64 items of its shape, which
// numpy and memoryview read and write without a copy. The buffer keeps the Python object (and so its
// library object) alive, and while it lives the container keeps its storage (see object_use).
template <class Container>
struct container_buffer {
  // What an export owns: the object whose storage it shows, and the shape and strides it hands out.
  struct exported {
    ptr_const<Container> values;
    std::vector<Py_ssize_t> shape;
    std::vector<Py_ssize_t> strides;
  };

  static int get(PyObject* self, Py_buffer* view, int flags) noexcept {
    view->obj = nullptr;
    return guarded<int>(-1, [&] {
      auto export_record = std::make_unique<exported>();
      export_record->values = held<Container>(self);
      if (export_record->values == nullptr) return -1;
      const std::vector<size_t> extents = shape_of(*export_record->values);
      // A container without dimensions (a tensor whose contents were handed over) shows no item.
      std::vector<Py_ssize_t>& shape = export_record->shape;
      shape.assign(extents.begin(), extents.end());
      if (shape.empty()) shape.push_back(0);
      std::vector<Py_ssize_t>& strides = export_record->strides;
      strides.assign(shape.size(), static_cast<Py_ssize_t>(sizeof(double)));
      for (size_t d = shape.size() - 1; d > 0; --d) strides[d - 1] = strides[d] * shape[d];
      if ((flags & PyBUF_F_CONTIGUOUS) == PyBUF_F_CONTIGUOUS && !fortran_contiguous(shape)) {
        PyErr_Format(PyExc_BufferError, "%s values are stored row by row, not column by column",
                     python_name<Container>);
        return -1;
      }
      static double no_item = 0.0;
      Container& values = library_object(export_record->values);
      const size_t size = values.size();
      view->buf = size > 0 ? static_cast<void*>(values.data()) : static_cast<void*>(&no_item);
      view->len = static_cast<Py_ssize_t>(size * sizeof(double));
      view->itemsize = sizeof(double);
      view->readonly = 0;
      view->format = (flags & PyBUF_FORMAT) != 0 ? const_cast<char*>("d") : nullptr;
      const bool with_shape = (flags & PyBUF_ND) == PyBUF_ND;
      view->ndim = with_shape ? static_cast<int>(shape.size()) : 1;
      view->shape = with_shape ? shape.data() : nullptr;
      view->strides = (flags & PyBUF_STRIDES) == PyBUF_STRIDES ? strides.data() : nullptr;
      view->suboffsets = nullptr;
      object_use::add_export(export_record->values);
      view->internal = export_record.release();
      view->obj = Py_NewRef(self);
      return 0;
    });
  }

  static void release(PyObject*, Py_buffer* view) noexcept {
    const std::unique_ptr<exported> export_record(static_cast<exported*>(view->internal));
    object_use::remove_export(export_record->values);
  }

  static inline PyBufferProcs procs{&get, &release};

 private:
  // Row-major storage is column-major too when at most one extent exceeds 1.
  static bool fortran_contiguous(const std::vector<Py_ssize_t>& shape) {
    size_t long_axes = 0;
    for (Py_ssize_t extent : shape) long_axes += extent > 1 ? 1 : 0;
    return long_axes <= 1;
  }
};

// A zero-filled container of the shape.
template <class Container>
Container shaped(const std::vector<size_t>& shape) {
  if constexpr (std::is_same_v<Container, vector<double>>)
    return Container(shape[0]);
  else if constexpr (std::is_same_v<Container, matrix<double>>)
    return Container(shape[0], shape[1]);
  else
    return Container(shape);
}

// The constructor from an array: any object that exports a buffer of real numbers (a numpy array of any
// real dtype, in C or Fortran order) with `Dimensions` dimensions (0: any number of at least one), its
// values converted to floats in one pass.
template <class Container, size_t Dimensions>
struct from_array {
  static constexpr Py_ssize_t minimum = 1;
  static constexpr Py_ssize_t maximum = 1;
  static const char* signature() { return "@a"; }

  template <class Binding>
  static PyObject* wrapper(PyObject*, PyObject* args) noexcept {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
      qavrekPythonArgs parser(args, Binding::library_name);
      if (!in_range<Binding>(parser, minimum, maximum)) return nullptr;
      PyObject* argument = parser.NextArg();
      if (argument == nullptr) return nullptr;
      numeric_buffer numbers;
      const numeric_buffer::outcome outcome = numbers.acquire(argument);
      if (outcome == numeric_buffer::outcome::failed) return nullptr;
      if (outcome == numeric_buffer::outcome::not_numbers) {
        parser.Fail(PyExc_ValueError, 0, "expected an array of real numbers");
        return nullptr;
      }
      const size_t dimensions = numbers.dimension();
      if (Dimensions != 0 ? dimensions != Dimensions : dimensions == 0) {
        const std::string expected = Dimensions != 0 ? std::to_string(Dimensions) : std::string("at least 1");
        parser.Fail(PyExc_ValueError, 0,
                    "expected an array of " + expected + " dimensions, got " + std::to_string(dimensions));
        return nullptr;
      }
      auto values = std::make_shared<Container>(shaped<Container>(numbers.shape()));
      numbers.copy_to(values->data());
      return build_owning<Container>(std::move(values));
    });
  }
};

}  // namespace qavrek::python
