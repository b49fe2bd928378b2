#pragma once

#include <Python.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "Core/pointers.h"
#include "Frame/python_name.h"
#include "Frame/wrapped_object.h"
#include "Runtime/PyQAVREKObject.h"
#include "Runtime/object_use.h"
#include "Runtime/private_copies.h"
#include "Runtime/py_reference.h"
#include "Runtime/qavrekPythonArgs.h"
#include "Util/datetime.h"
#include "Util/key.h"
#include "Util/tenor.h"

namespace qavrek::python {

// How each library parameter type is read from its Python argument. A reader reads the parser's next
// argument (read, false with a Python error naming the argument), gives the value to pass (get) and,
// after the library call, writes results back into the caller's list where the parameter is an
// output (after_call). A module adds readers for its own adapter types by specialising the template.
template <class P>
struct argument_reader;

template <class D>
concept parser_value = std::is_same_v<D, short> || std::is_same_v<D, int> || std::is_same_v<D, double> ||
                       std::is_same_v<D, size_t> || std::is_same_v<D, bool> || std::is_same_v<D, std::string> ||
                       std::is_same_v<D, datetime> || std::is_same_v<D, tenor> || std::is_same_v<D, key>;

template <class D>
concept number_vector = std::is_same_v<D, std::vector<double>> || std::is_same_v<D, std::vector<datetime>> ||
                        std::is_same_v<D, std::vector<size_t>> || std::is_same_v<D, std::vector<tenor>>;

template <class D>
struct shared_pointer_traits : std::false_type {};
template <class X>
struct shared_pointer_traits<std::shared_ptr<X>> : std::true_type {
  using element = std::remove_const_t<X>;
};

template <class D>
concept wrapped_pointer = shared_pointer_traits<D>::value && named_in_python<typename shared_pointer_traits<D>::element>;

template <class D>
concept wrapped_value = std::is_class_v<D> && named_in_python<D> && !parser_value<D> && !shared_pointer_traits<D>::value;

template <class D>
struct pointer_vector_traits : std::false_type {};
template <class X>
struct pointer_vector_traits<std::vector<std::shared_ptr<const X>>> : std::bool_constant<named_in_python<X>> {
  using element = X;
};

// Parameters taken by value or by const reference: the reader owns the value.
template <class P>
concept input_parameter = !std::is_reference_v<P> || std::is_const_v<std::remove_reference_t<P>>;

// Numbers, booleans, texts, dates, tenors and keys.
template <class P>
  requires parser_value<std::remove_cvref_t<P>> && input_parameter<P>
struct argument_reader<P> {
  std::remove_cvref_t<P> value{};

  bool read(qavrekPythonArgs& args) { return args.GetValue(value); }
  const std::remove_cvref_t<P>& get() const noexcept { return value; }
  bool after_call(qavrekPythonArgs&) noexcept { return true; }
};

// A value of the enumeration registered under the enumeration's Python name.
template <class P>
  requires std::is_enum_v<std::remove_cvref_t<P>> && input_parameter<P>
struct argument_reader<P> {
  using enumeration = std::remove_cvref_t<P>;
  static_assert(named_in_python<enumeration>, "the enumeration needs a python_name");
  enumeration value{};

  bool read(qavrekPythonArgs& args) {
    bool ok = false;
    const long long read = args.GetArgAsEnum(python_name<enumeration>, ok);
    value = static_cast<enumeration>(read);
    return ok;
  }
  enumeration get() const noexcept { return value; }
  bool after_call(qavrekPythonArgs&) noexcept { return true; }
};

// A sequence of numbers, dates or tenors, sized by the argument.
template <class P>
  requires number_vector<std::remove_cvref_t<P>> && input_parameter<P>
struct argument_reader<P> {
  std::remove_cvref_t<P> values;

  bool read(qavrekPythonArgs& args) {
    const Py_ssize_t size = args.GetArgSize(args.NextIndex());
    if (size < 0) return false;
    values.assign(static_cast<size_t>(size), typename std::remove_cvref_t<P>::value_type{});
    return args.GetArray(values.data(), values.size());
  }
  const std::remove_cvref_t<P>& get() const noexcept { return values; }
  bool after_call(qavrekPythonArgs&) noexcept { return true; }
};

// A list of floats that the library overwrites, with its length, for adapters that check a requested
// size against it.
struct float_list {
  double* data;
  size_t size;
};

// A list of floats read into a buffer that the library writes; the list receives the buffer's values
// after the call if they changed.
struct float_list_reader {
  Py_ssize_t index = 0;
  size_t size = 0;
  std::vector<double> buffer;  // the values, then a copy of them to see what the library changed

  bool read(qavrekPythonArgs& args) {
    index = args.NextIndex();
    PyObject* list = args.GetArg(index);
    if (list != nullptr && !PyList_Check(list)) return args.Expected(index, "a list of floats", list);
    const Py_ssize_t length = args.GetArgSize(index);
    if (length < 0) return false;
    size = static_cast<size_t>(length);
    buffer.assign(2 * size, 0.0);
    if (!args.GetArray(buffer.data(), size)) return false;
    std::copy_n(buffer.data(), size, buffer.data() + size);
    return true;
  }
  bool after_call(qavrekPythonArgs& args) {
    if (size == 0 || std::memcmp(buffer.data(), buffer.data() + size, size * sizeof(double)) == 0) return true;
    return args.SetArray(index, buffer.data(), size);
  }
};

template <>
struct argument_reader<double*> : float_list_reader {
  double* get() noexcept { return buffer.data(); }
};

template <>
struct argument_reader<float_list> : float_list_reader {
  float_list get() noexcept { return {buffer.data(), size}; }
};

// A list of floats that the library refills: the caller's list receives the whole vector afterwards.
template <>
struct argument_reader<std::vector<double>&> {
  Py_ssize_t index = 0;
  std::vector<double> values;

  bool read(qavrekPythonArgs& args) {
    index = args.NextIndex();
    PyObject* list = args.GetArg(index);
    if (list != nullptr && !PyList_Check(list)) return args.Expected(index, "a list of floats", list);
    const Py_ssize_t size = args.GetArgSize(index);
    if (size < 0) return false;
    values.assign(static_cast<size_t>(size), 0.0);
    return args.GetArray(values.data(), values.size());
  }
  std::vector<double>& get() noexcept { return values; }
  bool after_call(qavrekPythonArgs& args) {
    py_reference tuple = py_reference::steal(qavrekPythonArgs::BuildTuple(values.data(), values.size()));
    return tuple && args.SetContents(index, tuple.get());
  }
};

// Reads the next argument as the library object of class X; TypeError refined with its position.
template <named_in_python X>
ptr_const<X> read_wrapped(qavrekPythonArgs& args, bool allow_conversion) {
  const Py_ssize_t index = args.NextIndex();
  PyObject* argument = args.NextArg();
  if (argument == nullptr) return nullptr;
  auto object = std::static_pointer_cast<const X>(GetPointerFromObject(argument, python_name<X>, typeid(X), allow_conversion));
  if (object == nullptr) args.RefineArgTypeError(index, python_name<X>);
  return object;
}

// A shared pointer to a wrapped object: the object itself, never a converted temporary.
template <class P>
  requires wrapped_pointer<std::remove_cvref_t<P>> && input_parameter<P>
struct argument_reader<P> {
  using pointer = std::remove_cvref_t<P>;
  using element = typename shared_pointer_traits<pointer>::element;
  pointer value;

  bool read(qavrekPythonArgs& args) {
    value = std::const_pointer_cast<typename pointer::element_type>(read_wrapped<element>(args, false));
    return value != nullptr;
  }
  const pointer& get() const noexcept { return value; }
  bool after_call(qavrekPythonArgs&) noexcept { return true; }
  // What a long call on these arguments reads (see object_use).
  void add_read_objects(std::vector<std::shared_ptr<const void>>& objects) const { objects.push_back(value); }
};

// A wrapped object passed by value or const reference: a converted temporary is allowed, since the
// library only reads it or takes its own copy.
template <class P>
  requires wrapped_value<std::remove_cvref_t<P>> && input_parameter<P>
struct argument_reader<P> {
  using value_type = std::remove_cvref_t<P>;
  ptr_const<value_type> object;

  bool read(qavrekPythonArgs& args) {
    object = read_wrapped<value_type>(args, true);
    return object != nullptr;
  }
  const value_type& get() const { return *object; }
  bool after_call(qavrekPythonArgs&) noexcept { return true; }
  void add_read_objects(std::vector<std::shared_ptr<const void>>& objects) const { objects.push_back(object); }
};

// A wrapped object whose contents the library takes over (an rvalue reference): the argument's own
// object, left in its class's moved-from state (an empty matrix), or a converted temporary. A borrowed
// object belongs to another library object, which must not lose it: the library gets a copy of it. An
// object whose numbers are viewed through a buffer keeps them, since the view would read freed storage.
template <class P>
  requires wrapped_value<std::remove_cvref_t<P>> && std::is_rvalue_reference_v<P>
struct argument_reader<P> {
  using value_type = std::remove_cvref_t<P>;
  ptr_const<value_type> object;
  bool borrowed = false;
  std::optional<value_type> copy;

  bool read(qavrekPythonArgs& args) {
    const Py_ssize_t index = args.NextIndex();
    PyObject* argument = args.GetArg(index);
    object = read_wrapped<value_type>(args, true);
    if (object == nullptr) return false;
    borrowed = PyQAVREKObject_Check(argument) && as_wrapped(argument)->borrowed != 0;
    if (!borrowed && object_use::exported(object)) {
      object = nullptr;
      return args.Fail(PyExc_BufferError, index,
                       std::string("cannot hand over a ") + python_name<value_type> +
                           " whose values are viewed through a buffer (a numpy array or memoryview of it)");
    }
    return true;
  }
  value_type&& get() {
    if (!borrowed) return std::move(library_object(object));
    copy.emplace(*object);
    return std::move(*copy);
  }
  bool after_call(qavrekPythonArgs&) noexcept { return true; }
};

// A wrapped object that the library changes: the argument's own object, never a temporary.
template <class P>
  requires wrapped_value<std::remove_cvref_t<P>> && std::is_lvalue_reference_v<P> && (!input_parameter<P>)
struct argument_reader<P> {
  using value_type = std::remove_cvref_t<P>;
  ptr_const<value_type> object;

  bool read(qavrekPythonArgs& args) {
    const Py_ssize_t index = args.NextIndex();
    object = read_wrapped<value_type>(args, false);
    if (object == nullptr || !object_use::read_by_long_call(object)) return object != nullptr;
    object = nullptr;
    return args.Fail(PyExc_RuntimeError, index, object_use::read_by_long_call_refusal(python_name<value_type>));
  }
  value_type& get() const { return library_object(object); }
  bool after_call(qavrekPythonArgs&) noexcept { return true; }
};

// A sequence of wrapped objects, each passed as its shared pointer.
template <class P>
  requires pointer_vector_traits<std::remove_cvref_t<P>>::value && input_parameter<P>
struct argument_reader<P> {
  using element = typename pointer_vector_traits<std::remove_cvref_t<P>>::element;
  std::remove_cvref_t<P> values;

  bool read(qavrekPythonArgs& args) {
    const Py_ssize_t index = args.NextIndex();
    const Py_ssize_t size = args.GetArgSize(index);
    if (size < 0) return false;
    py_reference items = py_reference::steal(PySequence_Fast(args.NextArg(), "expected a sequence"));
    if (!items) return false;
    values.clear();
    values.reserve(static_cast<size_t>(size));
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(items.get()); ++i) {
      auto object = std::static_pointer_cast<const element>(
          GetPointerFromObject(PySequence_Fast_GET_ITEM(items.get(), i), python_name<element>, typeid(element), false));
      if (object == nullptr) {
        args.RefineArgTypeError(index, python_name<element>);
        return false;
      }
      values.push_back(std::move(object));
    }
    return true;
  }
  const std::remove_cvref_t<P>& get() const noexcept { return values; }
  bool after_call(qavrekPythonArgs&) noexcept { return true; }
  void add_read_objects(std::vector<std::shared_ptr<const void>>& objects) const {
    objects.insert(objects.end(), values.begin(), values.end());
  }
};

// A wrapped object that a long call writes into (never a converted temporary): the call writes a private
// copy of it, and publishes the copy into the caller's object when it ends (long_call::run with
// `publication()`, Runtime/private_copies.h).
template <named_in_python T>
class written_object {
 public:
  const ptr_const<T>& original() const noexcept { return original_; }
  // What the call writes instead of the original.
  const ptr_const<T>& copy() const noexcept { return copy_; }
  const private_copies& publication() const noexcept { return publication_; }

 private:
  friend struct argument_reader<const written_object&>;

  ptr_const<T> original_;
  ptr_const<T> copy_;
  private_copies publication_;
};

// Wrapped objects that a long call writes into, each as written_object: one private copy per object,
// however many times the sequence names it.
template <named_in_python T>
class written_objects {
 public:
  // What the call writes, in the order of the sequence.
  const std::vector<ptr_const<T>>& copies() const noexcept { return copies_; }
  const private_copies& publication() const noexcept { return publication_; }

 private:
  friend struct argument_reader<const written_objects&>;

  std::vector<ptr_const<T>> copies_;
  private_copies publication_;
};

// The private copy of the argument at `index`, of class T; failure refined with the argument's position.
template <named_in_python T>
ptr_const<T> private_copy(qavrekPythonArgs& args, Py_ssize_t index, PyObject* argument, private_copies& copies) {
  auto copy = std::static_pointer_cast<const T>(PrivateCopyOfObject(argument, python_name<T>, typeid(T), copies));
  if (copy == nullptr) args.RefineArgTypeError(index, python_name<T>);
  return copy;
}

template <class T>
struct argument_reader<const written_object<T>&> {
  written_object<T> value;

  bool read(qavrekPythonArgs& args) {
    const Py_ssize_t index = args.NextIndex();
    PyObject* argument = args.NextArg();
    if (argument == nullptr) return false;
    value.copy_ = private_copy<T>(args, index, argument, value.publication_);
    if (value.copy_ == nullptr) return false;
    value.original_ =
        std::static_pointer_cast<const T>(GetPointerFromObject(argument, python_name<T>, typeid(T), false));
    return value.original_ != nullptr;
  }
  const written_object<T>& get() const noexcept { return value; }
  bool after_call(qavrekPythonArgs&) noexcept { return true; }
};

template <class T>
struct argument_reader<const written_objects<T>&> {
  written_objects<T> value;

  bool read(qavrekPythonArgs& args) {
    const Py_ssize_t index = args.NextIndex();
    if (args.GetArgSize(index) < 0) return false;
    py_reference items = py_reference::steal(PySequence_Fast(args.NextArg(), "expected a sequence"));
    if (!items) return false;
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(items.get()); ++i) {
      ptr_const<T> copy = private_copy<T>(args, index, PySequence_Fast_GET_ITEM(items.get(), i), value.publication_);
      if (copy == nullptr) return false;
      value.copies_.push_back(std::move(copy));
    }
    return true;
  }
  const written_objects<T>& get() const noexcept { return value; }
  bool after_call(qavrekPythonArgs&) noexcept { return true; }
};

}  // namespace qavrek::python
