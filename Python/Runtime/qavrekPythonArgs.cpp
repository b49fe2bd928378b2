#include "Runtime/qavrekPythonArgs.h"

#include <climits>
#include <cmath>
#include <limits>
#include <string_view>
#include <type_traits>

#include "Runtime/PyQAVREKEnum.h"
#include "Runtime/PyQAVREKObject.h"
#include "Runtime/numeric_buffer.h"
#include "Runtime/py_reference.h"
#include "Runtime/python_error.h"
#include "Runtime/qavrekPythonUtil.h"

namespace qavrek::python {
namespace {

const char* type_name(PyObject* object) { return qavrekPythonUtil::StripModule(Py_TYPE(object)->tp_name); }

bool is_real_number(PyObject* object) {
  return PyFloat_Check(object) || (PyIndex_Check(object) && !PyBool_Check(object));
}

// A Python int read as a signed value within [low, high]; a failure leaves OverflowError or TypeError.
bool signed_value(PyObject* object, long long low, long long high, long long& value) {
  py_reference integer = py_reference::steal(PyNumber_Index(object));
  if (!integer) return false;
  int overflow = 0;
  value = PyLong_AsLongLongAndOverflow(integer.get(), &overflow);
  if (value == -1 && PyErr_Occurred()) return false;
  if (overflow != 0 || value < low || value > high) {
    PyErr_SetString(PyExc_OverflowError, "out of range");
    return false;
  }
  return true;
}

PyObject* copy_of(const datetime& value) { return qavrekPythonArgs::BuildValue(value); }

// An exporter that refuses its buffer (numpy for dates, records) leaves its items to be read one by
// one; any other failure stands.
bool buffer_refused() {
  if (!PyErr_ExceptionMatches(PyExc_BufferError) && !PyErr_ExceptionMatches(PyExc_ValueError) &&
      !PyErr_ExceptionMatches(PyExc_TypeError))
    return false;
  PyErr_Clear();
  return true;
}

// The object as a T: a day number for a date, a text for a tenor or a key, or a wrapped object of T's
// Python type `python_type`. False with a Python error otherwise (TypeError "method requires ..." for another type).
template <typename T>
bool plain_or_wrapped(PyObject* object, const char* python_type, T& value) {
  if constexpr (std::is_same_v<T, datetime>) {
    if (is_real_number(object)) {
      value = datetime(PyFloat_AsDouble(object));
      return !(value.serial() == -1.0 && PyErr_Occurred());
    }
  } else if (PyUnicode_Check(object)) {
    const char* text = PyUnicode_AsUTF8(object);
    if (text == nullptr) return false;
    value = T(std::string_view(text));
    return true;
  }
  const auto held = GetPointerFromObject(object, python_type, typeid(T), false);
  if (held == nullptr) return false;
  value = *static_cast<const T*>(held.get());
  return true;
}

}  // namespace

qavrekPythonArgs::qavrekPythonArgs(PyObject* self, PyObject* args, const char* name) noexcept
    : args_(args), name_(name) {
  (void)self;
}

qavrekPythonArgs::qavrekPythonArgs(PyObject* args, const char* name) noexcept : args_(args), name_(name) {}

PyObject* qavrekPythonArgs::GetSelfFromFirstArg(PyObject* self, PyObject* args) {
  auto* type = reinterpret_cast<PyTypeObject*>(self);
  if (PyTuple_GET_SIZE(args) == 0 || !PyObject_TypeCheck(PyTuple_GET_ITEM(args, 0), type)) {
    PyErr_Format(PyExc_TypeError, "%s() called through its class needs a %s object as first argument", name_,
                 qavrekPythonUtil::StripModule(type->tp_name));
    return nullptr;
  }
  offset_ = 1;
  return PyTuple_GET_ITEM(args, 0);
}

Py_ssize_t qavrekPythonArgs::GetArgCount(PyObject* args) noexcept { return PyTuple_GET_SIZE(args); }

PyObject* qavrekPythonArgs::GetArg(Py_ssize_t index) const noexcept {
  if (index < 0 || index >= GetArgCount()) return nullptr;
  return PyTuple_GET_ITEM(args_, index + offset_);
}

PyObject* qavrekPythonArgs::NextArg() {
  PyObject* argument = GetArg(next_);
  if (argument == nullptr) {
    Fail(PyExc_TypeError, next_, "missing");
    return nullptr;
  }
  ++next_;
  return argument;
}

bool qavrekPythonArgs::Fail(PyObject* type, Py_ssize_t index, const std::string& message) const {
  PyErr_Format(type, "%s() argument %zd: %s", name_, index + 1, message.c_str());
  return false;
}

bool qavrekPythonArgs::Expected(Py_ssize_t index, const char* what, PyObject* object) const {
  return Fail(PyExc_TypeError, index, std::string("expected ") + what + ", got " + type_name(object));
}

Py_ssize_t qavrekPythonArgs::GetArgSize(Py_ssize_t index) {
  PyObject* argument = GetArg(index);
  if (argument == nullptr) {
    Fail(PyExc_TypeError, index, "missing");
    return -1;
  }
  // An array counts its items by its shape; one whose buffer cannot be had is read as a sequence.
  if (numeric_buffer::offered_by(argument)) {
    numeric_buffer values;
    if (values.acquire(argument) != numeric_buffer::outcome::failed) {
      if (values.dimension() == 1) return static_cast<Py_ssize_t>(values.size());
      Fail(PyExc_ValueError, index,
           "expected a one-dimensional sequence, got " + std::to_string(values.dimension()) + " dimensions");
      return -1;
    }
    if (!buffer_refused()) return -1;
  }
  if (!PySequence_Check(argument) || PyUnicode_Check(argument) || PyBytes_Check(argument)) {
    Expected(index, "a sequence", argument);
    return -1;
  }
  return PySequence_Size(argument);
}

bool qavrekPythonArgs::GetValue(short& value) {
  const Py_ssize_t index = next_;
  PyObject* argument = NextArg();
  if (argument == nullptr) return false;
  if (!PyIndex_Check(argument) || PyBool_Check(argument)) return Expected(index, "an int", argument);
  long long read = 0;
  if (!signed_value(argument, SHRT_MIN, SHRT_MAX, read)) {
    PyErr_Clear();
    return Fail(PyExc_ValueError, index, "the value does not fit a 16-bit integer");
  }
  value = static_cast<short>(read);
  return true;
}

bool qavrekPythonArgs::GetValue(int& value) {
  const Py_ssize_t index = next_;
  PyObject* argument = NextArg();
  if (argument == nullptr) return false;
  if (!PyIndex_Check(argument) || PyBool_Check(argument)) return Expected(index, "an int", argument);
  long long read = 0;
  if (!signed_value(argument, INT_MIN, INT_MAX, read)) {
    PyErr_Clear();
    return Fail(PyExc_ValueError, index, "the value does not fit a 32-bit integer");
  }
  value = static_cast<int>(read);
  return true;
}

bool qavrekPythonArgs::GetValue(double& value) {
  const Py_ssize_t index = next_;
  PyObject* argument = NextArg();
  if (argument == nullptr) return false;
  if (!is_real_number(argument)) return Expected(index, "a float", argument);
  value = PyFloat_AsDouble(argument);
  if (value == -1.0 && PyErr_Occurred()) {
    PyErr_Clear();
    return Fail(PyExc_ValueError, index, "the value does not fit a float");
  }
  return true;
}

bool qavrekPythonArgs::GetValue(size_t& value) {
  const Py_ssize_t index = next_;
  PyObject* argument = NextArg();
  if (argument == nullptr) return false;
  if (!PyIndex_Check(argument) || PyBool_Check(argument)) return Expected(index, "an int", argument);
  py_reference integer = py_reference::steal(PyNumber_Index(argument));
  if (!integer) return false;
  const unsigned long long read = PyLong_AsUnsignedLongLong(integer.get());
  if (read == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
    PyErr_Clear();
    return Fail(PyExc_ValueError, index, "expected a non-negative int of at most 64 bits");
  }
  value = static_cast<size_t>(read);
  return true;
}

bool qavrekPythonArgs::GetValue(bool& value) {
  const Py_ssize_t index = next_;
  PyObject* argument = NextArg();
  if (argument == nullptr) return false;
  if (!PyBool_Check(argument) && !PyLong_Check(argument)) return Expected(index, "a bool", argument);
  const int truth = PyObject_IsTrue(argument);
  if (truth < 0) return false;
  value = truth != 0;
  return true;
}

bool qavrekPythonArgs::GetValue(std::string& value) {
  const Py_ssize_t index = next_;
  PyObject* argument = NextArg();
  if (argument == nullptr) return false;
  if (!PyUnicode_Check(argument)) return Expected(index, "a str", argument);
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(argument, &size);
  if (text == nullptr) return false;
  value.assign(text, static_cast<size_t>(size));
  return true;
}

template <typename T>
bool qavrekPythonArgs::GetPlainOrWrapped(T& value, const char* python_type) {
  const Py_ssize_t index = next_;
  PyObject* argument = NextArg();
  if (argument == nullptr) return false;
  if (plain_or_wrapped(argument, python_type, value)) return true;
  RefineArgTypeError(index, python_type);
  return false;
}

bool qavrekPythonArgs::GetValue(datetime& value) { return GetPlainOrWrapped(value, "datetime"); }

bool qavrekPythonArgs::GetValue(tenor& value) { return GetPlainOrWrapped(value, "tenor"); }

bool qavrekPythonArgs::GetValue(key& value) { return GetPlainOrWrapped(value, "key"); }

PyObject* qavrekPythonArgs::NextSequence(size_t n, const char* what) {
  const Py_ssize_t index = next_;
  PyObject* argument = NextArg();
  if (argument == nullptr) return nullptr;
  if (!PySequence_Check(argument) || PyUnicode_Check(argument) || PyBytes_Check(argument)) {
    Expected(index, what, argument);
    return nullptr;
  }
  PyObject* items = PySequence_Fast(argument, "expected a sequence");
  if (items == nullptr) return nullptr;
  const Py_ssize_t size = PySequence_Fast_GET_SIZE(items);
  if (size != static_cast<Py_ssize_t>(n)) {
    Py_DECREF(items);
    Fail(PyExc_ValueError, index,
         std::string("expected ") + std::to_string(n) + " items, got " + std::to_string(static_cast<long long>(size)));
    return nullptr;
  }
  return items;
}

bool qavrekPythonArgs::GetArray(double* values, size_t n) {
  const Py_ssize_t index = next_;
  PyObject* argument = GetArg(index);
  // Arrays of numbers are read from their buffer in one pass; arrays of other items, item by item.
  if (argument != nullptr && numeric_buffer::offered_by(argument)) {
    numeric_buffer numbers;
    const numeric_buffer::outcome outcome = numbers.acquire(argument);
    if (outcome == numeric_buffer::outcome::failed && !buffer_refused()) return false;
    if (outcome == numeric_buffer::outcome::read) {
      ++next_;
      if (numbers.dimension() != 1)
        return Fail(PyExc_ValueError, index,
                    "expected a one-dimensional sequence, got " + std::to_string(numbers.dimension()) + " dimensions");
      if (numbers.size() != n)
        return Fail(PyExc_ValueError, index,
                    "expected " + std::to_string(n) + " items, got " + std::to_string(numbers.size()));
      numbers.copy_to(values);
      return true;
    }
  }
  py_reference items = py_reference::steal(NextSequence(n, "a sequence of floats"));
  if (!items) return false;
  for (size_t i = 0; i < n; ++i) {
    PyObject* item = PySequence_Fast_GET_ITEM(items.get(), static_cast<Py_ssize_t>(i));
    if (!is_real_number(item))
      return Fail(PyExc_TypeError, index, std::string("item ") + std::to_string(i) + ": expected a float, got " + type_name(item));
    values[i] = PyFloat_AsDouble(item);
    if (values[i] == -1.0 && PyErr_Occurred()) return false;
  }
  return true;
}

template <typename T>
bool qavrekPythonArgs::GetPlainOrWrappedItems(T* values, size_t n, const char* what, const char* python_type) {
  const Py_ssize_t index = next_;
  py_reference items = py_reference::steal(NextSequence(n, what));
  if (!items) return false;
  for (size_t i = 0; i < n; ++i) {
    PyObject* item = PySequence_Fast_GET_ITEM(items.get(), static_cast<Py_ssize_t>(i));
    if (plain_or_wrapped(item, python_type, values[i])) continue;
    if (!PyErr_ExceptionMatches(PyExc_TypeError)) return false;
    PyErr_Clear();
    return Fail(PyExc_TypeError, index,
                "item " + std::to_string(i) + ": expected a " + python_type + ", got " + type_name(item));
  }
  return true;
}

bool qavrekPythonArgs::GetArray(datetime* values, size_t n) {
  return GetPlainOrWrappedItems(values, n, "a sequence of dates", "datetime");
}

bool qavrekPythonArgs::GetArray(tenor* values, size_t n) {
  return GetPlainOrWrappedItems(values, n, "a sequence of tenors", "tenor");
}

bool qavrekPythonArgs::GetArray(size_t* values, size_t n) {
  const Py_ssize_t index = next_;
  py_reference items = py_reference::steal(NextSequence(n, "a sequence of ints"));
  if (!items) return false;
  for (size_t i = 0; i < n; ++i) {
    PyObject* item = PySequence_Fast_GET_ITEM(items.get(), static_cast<Py_ssize_t>(i));
    if (!PyIndex_Check(item) || PyBool_Check(item))
      return Fail(PyExc_TypeError, index, std::string("item ") + std::to_string(i) + ": expected an int, got " + type_name(item));
    py_reference integer = py_reference::steal(PyNumber_Index(item));
    if (!integer) return false;
    const unsigned long long read = PyLong_AsUnsignedLongLong(integer.get());
    if (read == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
      PyErr_Clear();
      return Fail(PyExc_ValueError, index,
                  std::string("item ") + std::to_string(i) + ": expected a non-negative int of at most 64 bits");
    }
    values[i] = static_cast<size_t>(read);
  }
  return true;
}

long long qavrekPythonArgs::GetArgAsEnum(const char* name, bool& ok) {
  ok = false;
  const Py_ssize_t index = next_;
  PyObject* argument = NextArg();
  if (argument == nullptr) return 0;
  PyTypeObject* type = PyQAVREKEnum_Find(name);
  if (type == nullptr) {
    Fail(PyExc_TypeError, index, std::string("the enumeration ") + name + " is not registered");
    return 0;
  }
  if (!PyObject_TypeCheck(argument, type)) {
    Expected(index, (std::string("a ") + name + " value").c_str(), argument);
    return 0;
  }
  const long long value = PyLong_AsLongLong(argument);
  if (value == -1 && PyErr_Occurred()) return 0;
  ok = true;
  return value;
}

bool qavrekPythonArgs::SetArray(Py_ssize_t index, const double* values, size_t n) {
  PyObject* list = GetArg(index);
  if (list == nullptr || !PyList_Check(list) || PyList_GET_SIZE(list) < static_cast<Py_ssize_t>(n))
    return Fail(PyExc_TypeError, index, "the output list cannot take the values");
  for (size_t i = 0; i < n; ++i) {
    PyObject* item = PyFloat_FromDouble(values[i]);
    if (item == nullptr) return false;
    PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), item);
  }
  return true;
}

bool qavrekPythonArgs::SetContents(Py_ssize_t index, PyObject* items) {
  PyObject* list = GetArg(index);
  if (list == nullptr || !PyList_Check(list)) return Fail(PyExc_TypeError, index, "the output must be a list");
  return PyList_SetSlice(list, 0, PyList_GET_SIZE(list), items) == 0;
}

bool qavrekPythonArgs::ArgCountError(Py_ssize_t minimum, Py_ssize_t maximum) const {
  const Py_ssize_t given = GetArgCount();
  if (minimum == maximum)
    PyErr_Format(PyExc_TypeError, "%s() takes exactly %zd argument%s (%zd given)", name_, minimum,
                 minimum == 1 ? "" : "s", given);
  else
    PyErr_Format(PyExc_TypeError, "%s() takes from %zd to %zd arguments (%zd given)", name_, minimum, maximum, given);
  return false;
}

bool qavrekPythonArgs::ArgCountError(Py_ssize_t count, const char* name) {
  PyErr_Format(PyExc_TypeError, "%s() has no overload that takes %zd argument%s", name, count, count == 1 ? "" : "s");
  return false;
}

void qavrekPythonArgs::RefineArgTypeError(Py_ssize_t index, const char* class_name) const {
  if (!PyErr_Occurred()) {
    Fail(PyExc_TypeError, index, std::string("expected a ") + class_name);
    return;
  }
  py_reference pending = take_pending_exception();
  py_reference message = py_reference::steal(PyObject_Str(pending.get()));
  const char* text = message ? PyUnicode_AsUTF8(message.get()) : nullptr;
  if (text == nullptr) {
    PyErr_Clear();
    restore_exception(std::move(pending));
    return;
  }
  Fail(reinterpret_cast<PyObject*>(Py_TYPE(pending.get())), index, text);
}

void qavrekPythonArgs::qavrekPythonSequenceError(PyObject* object, Py_ssize_t expected, Py_ssize_t actual) {
  if (actual < 0)
    PyErr_Format(PyExc_TypeError, "expected a sequence of %zd items, got %s", expected, type_name(object));
  else
    PyErr_Format(PyExc_TypeError, "expected a sequence of %zd items, got %zd", expected, actual);
}

PyObject* qavrekPythonArgs::BuildValue(const std::string& value) {
  return PyUnicode_FromStringAndSize(value.data(), static_cast<Py_ssize_t>(value.size()));
}

PyObject* qavrekPythonArgs::BuildValue(const tenor& value) { return BuildValue(value.to_string()); }

PyObject* qavrekPythonArgs::BuildValue(const datetime& value) {
  return BuildObjectFromCopy(&value, "datetime", typeid(datetime));
}

namespace {

template <class T, class Convert>
PyObject* tuple_of(const T* values, size_t n, Convert convert) {
  py_reference tuple = py_reference::steal(PyTuple_New(static_cast<Py_ssize_t>(n)));
  if (!tuple) return nullptr;
  for (size_t i = 0; i < n; ++i) {
    PyObject* item = convert(values[i]);
    if (item == nullptr) return nullptr;
    PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), item);
  }
  return tuple.release();
}

}  // namespace

PyObject* qavrekPythonArgs::BuildTuple(const double* values, size_t n) {
  return tuple_of(values, n, [](double value) { return PyFloat_FromDouble(value); });
}

PyObject* qavrekPythonArgs::BuildTuple(const datetime* values, size_t n) { return tuple_of(values, n, &copy_of); }

PyObject* qavrekPythonArgs::BuildTuple(const tenor* values, size_t n) {
  return tuple_of(values, n, [](const tenor& value) { return BuildValue(value); });
}

PyObject* qavrekPythonArgs::BuildTuple(const size_t* values, size_t n) {
  return tuple_of(values, n, [](size_t value) { return PyLong_FromSize_t(value); });
}

PyObject* qavrekPythonArgs::BuildEnumValue(long long value, const char* name) {
  PyTypeObject* type = PyQAVREKEnum_Find(name);
  if (type == nullptr) {
    PyErr_Format(PyExc_ValueError, "cannot create value of unknown enumeration \"%s\"", name);
    return nullptr;
  }
  return PyQAVREKEnum_Value(type, value);
}

PyObject* qavrekPythonArgs::BuildNone() { Py_RETURN_NONE; }

}  // namespace qavrek::python
