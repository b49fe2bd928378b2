#pragma once

#include <Python.h>

#include <cstddef>
#include <string>
#include <vector>

#include "Util/datetime.h"
#include "Util/key.h"
#include "Util/tenor.h"

namespace qavrek::python {

// Reads the positional arguments of one call in order and builds results. Every reading function
// returns false (or a failure value) with a Python error that names the function and the argument
// (1-based, counted after self), e.g. "uniforms() argument 2: expected an int, got str".
class qavrekPythonArgs {
 public:
  qavrekPythonArgs(PyObject* self, PyObject* args, const char* name) noexcept;
  qavrekPythonArgs(PyObject* args, const char* name) noexcept;

  // For a method called through its class (self is the class): the first argument becomes self and is
  // no longer counted. Null with TypeError when it is not an object of the class.
  PyObject* GetSelfFromFirstArg(PyObject* self, PyObject* args);

  static Py_ssize_t GetArgCount(PyObject* args) noexcept;
  // The arguments after self.
  Py_ssize_t GetArgCount() const noexcept { return PyTuple_GET_SIZE(args_) - offset_; }
  // The 0-based position (after self) of the argument that is read next.
  Py_ssize_t NextIndex() const noexcept { return next_; }
  const char* Name() const noexcept { return name_; }
  // The argument at a 0-based position after self (borrowed), or null.
  PyObject* GetArg(Py_ssize_t index) const noexcept;
  // The next argument (borrowed), moving past it; null with TypeError when there is none.
  PyObject* NextArg();

  // The length of the sequence argument at the position (a one-dimensional array counts as one), or -1
  // with TypeError (ValueError for an array of several dimensions).
  Py_ssize_t GetArgSize(Py_ssize_t index);

  bool GetValue(short& value);
  bool GetValue(int& value);
  bool GetValue(double& value);
  bool GetValue(size_t& value);
  bool GetValue(bool& value);
  bool GetValue(std::string& value);
  // A wrapped datetime or a serial day number.
  bool GetValue(datetime& value);
  // A text such as "3M" or a wrapped tenor.
  bool GetValue(tenor& value);
  // A text or a wrapped key.
  bool GetValue(key& value);

  // The next argument's n items (a sequence of exactly n items). Floats come from any sequence or
  // one-dimensional array of real numbers (list, tuple, numpy array, vector_IdE); tenors from texts or
  // wrapped tenors.
  bool GetArray(double* values, size_t n);
  bool GetArray(tenor* values, size_t n);
  bool GetArray(datetime* values, size_t n);
  bool GetArray(size_t* values, size_t n);

  // The integer value of the next argument, which must be a value of the named enumeration.
  long long GetArgAsEnum(const char* name, bool& ok);

  // Writes n values into the list argument at the position.
  bool SetArray(Py_ssize_t index, const double* values, size_t n);
  // Replaces the whole contents of the list argument at the position by the items of a sequence.
  bool SetContents(Py_ssize_t index, PyObject* items);

  // TypeError for a count outside [minimum, maximum]; always false.
  bool ArgCountError(Py_ssize_t minimum, Py_ssize_t maximum) const;
  // TypeError for a count that no overload of the function takes; always false.
  static bool ArgCountError(Py_ssize_t count, const char* name);
  // Puts the function name and the argument's position in front of the pending error's message.
  void RefineArgTypeError(Py_ssize_t index, const char* class_name) const;
  static void qavrekPythonSequenceError(PyObject* object, Py_ssize_t expected, Py_ssize_t actual);

  static PyObject* BuildValue(const std::string& value);
  // The tenor's text.
  static PyObject* BuildValue(const tenor& value);
  // A new wrapped datetime.
  static PyObject* BuildValue(const datetime& value);
  static PyObject* BuildTuple(const double* values, size_t n);
  static PyObject* BuildTuple(const datetime* values, size_t n);
  static PyObject* BuildTuple(const tenor* values, size_t n);
  static PyObject* BuildTuple(const size_t* values, size_t n);
  // The enumerator of the named enumeration with the value.
  static PyObject* BuildEnumValue(long long value, const char* name);
  static PyObject* BuildNone();

  // n values, freed with the array.
  template <class T>
  class Array {
   public:
    explicit Array(size_t n) : values_(n) {}
    T* data() noexcept { return values_.data(); }
    size_t size() const noexcept { return values_.size(); }
    T& operator[](size_t i) noexcept { return values_[i]; }

   private:
    std::vector<T> values_;
  };

  // Sets TypeError "<name>() argument <k>: expected <what>, got <type of object>"; returns false.
  bool Expected(Py_ssize_t index, const char* what, PyObject* object) const;
  // Sets an error of the type "<name>() argument <k>: <message>"; returns false.
  bool Fail(PyObject* type, Py_ssize_t index, const std::string& message) const;

 private:
  // The next argument as a sequence of exactly n items, or null with TypeError.
  PyObject* NextSequence(size_t n, const char* what);
  // A value given in its plain form (a day number, a text) or as a wrapped object of the Python type
  // `python_type`: the next argument, or each of the next argument's n items.
  template <typename T>
  bool GetPlainOrWrapped(T& value, const char* python_type);
  template <typename T>
  bool GetPlainOrWrappedItems(T* values, size_t n, const char* what, const char* python_type);

  PyObject* args_;
  const char* name_;
  Py_ssize_t offset_ = 0;  // 1 when the first argument is self
  Py_ssize_t next_ = 0;
};

}  // namespace qavrek::python
