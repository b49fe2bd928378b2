#include "Frame/wrapped_class.h"
#include "Core/check.h"
#include "Core/error.h"
#include "probe_classes.h"

#include <new>
#include <stdexcept>

namespace qavrek::python {
namespace {

using probe::probe_base;
using probe::probe_bundle;
using probe::probe_derived;
using probe::probe_label;

constexpr const char* path = "frameProbe.";

struct base_binding {
  using type = probe_base;
  static constexpr const char* module_path = path;
  static constexpr const char* library_name = "probe_base";
  static constexpr const char* doc = "probe_base - abstract.\n\n";
  static inline PyMethodDef methods[] = {
      methods_of<probe_base>::method<"name", &probe_base::name>("name(self) -> str\n\n"),
      methods_of<probe_base>::method<"scale", &probe_base::scale>("scale(self) -> float\n\n"),
      methods_of<probe_base>::end(),
  };
};

struct derived_binding {
  using type = probe_derived;
  using base = probe_base;
  static constexpr const char* module_path = path;
  static constexpr const char* library_name = "probe_derived";
  static constexpr const char* doc = "probe_derived(scale:float)\n\n";
  using constructors = overloads<constructor<"@d", probe_derived, double>>;
};

struct bundle_binding {
  using type = probe_bundle;
  static constexpr const char* module_path = path;
  static constexpr const char* library_name = "probe_bundle";
  static constexpr const char* doc = "probe_bundle(items:(probeBase, ...))\n\n";
  using constructors =
      overloads<constructor<"@l", probe_bundle, const std::vector<ptr_const<probe_base>>&>>;
  static inline PyMethodDef methods[] = {
      methods_of<probe_bundle>::method<"items", &probe_bundle::items>("items(self) -> (probeBase, ...)\n\n"),
      methods_of<probe_bundle>::method<"first", &probe_bundle::first>("first(self) -> probeBase\n\n"),
      methods_of<probe_bundle>::end(),
  };
};

struct label_binding {
  using type = probe_label;
  static constexpr const char* module_path = path;
  static constexpr const char* library_name = "probe_label";
  static constexpr const char* doc = "probe_label(text:str)\n\n";
  using constructors = overloads<constructor<"@s", probe_label, std::string>, copy_constructor<probe_label>>;
  static inline PyMethodDef methods[] = {
      methods_of<probe_label>::method<"length", &probe_label::length>("length(self) -> int\n\n"),
      methods_of<probe_label>::end(),
  };
};

// Static functions that reach each way a call can fail or convert.
struct calls {
  static void library_error(const std::string& text) { QAVREK_FAIL(text); }
  static void not_implemented() { throw NotImplementedError({"not_implemented", "probe", 0}, "not offered here"); }
  static void allocation() { throw std::bad_alloc(); }
  static void out_of_range() { throw std::out_of_range("position 7 is past the end"); }
  static void invalid_argument() { throw std::invalid_argument("not a valid argument"); }
  static void foreign() { throw 42; }

  static ptr_const<probe_base> nothing() { return nullptr; }
  static ptr_const<probe::probe_unregistered> unregistered() { return std::make_shared<probe::probe_unregistered>(); }
  static const probe_base& by_reference() {
    static const probe_derived instance(3.0);
    return instance;
  }

  static std::string name_of(const ptr_const<probe_base>& item) { return item->name() + "@" + std::to_string(item->scale()); }
  static size_t label_length(const probe_label& label) { return label.length(); }
  static size_t label_length_shared(const ptr_const<probe_label>& label) { return label->length(); }
  static size_t label_append(probe_label& label) {
    label.append("!");
    return label.length();
  }
  static void refill(std::vector<double>& values) {
    for (double& value : values) value *= 2.0;
    values.push_back(-1.0);
  }
};

struct calls_binding {
  struct type {};
  static constexpr const char* module_path = path;
  static constexpr const char* library_name = "probe_calls";
  static constexpr const char* doc = "probe_calls - static functions only.\n\n";
  using entry = methods_of<type>;
  static inline PyMethodDef methods[] = {
      entry::static_function<"library_error", &calls::library_error>(""),
      entry::static_function<"not_implemented", &calls::not_implemented>(""),
      entry::static_function<"allocation", &calls::allocation>(""),
      entry::static_function<"out_of_range", &calls::out_of_range>(""),
      entry::static_function<"invalid_argument", &calls::invalid_argument>(""),
      entry::static_function<"foreign", &calls::foreign>(""),
      entry::static_function<"nothing", &calls::nothing>(""),
      entry::static_function<"unregistered", &calls::unregistered>(""),
      entry::static_function<"by_reference", &calls::by_reference>(""),
      entry::static_function<"name_of", &calls::name_of>(""),
      entry::static_function<"label_length", &calls::label_length>(""),
      entry::static_function<"label_length_shared", &calls::label_length_shared>(""),
      entry::static_function<"label_append", &calls::label_append>(""),
      entry::static_function<"refill", &calls::refill>(""),
      entry::end(),
  };
};

}  // namespace

template <>
inline constexpr const char* python_name<calls_binding::type> = "probeCalls";

}  // namespace qavrek::python

namespace {

PyModuleDef probe_module = {PyModuleDef_HEAD_INIT, "frameProbe", nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr};

int add_base(PyObject* dict) { return qavrek::python::wrapped_class<qavrek::python::base_binding>::AddFile(dict); }
int add_derived(PyObject* dict) { return qavrek::python::wrapped_class<qavrek::python::derived_binding>::AddFile(dict); }
int add_bundle(PyObject* dict) { return qavrek::python::wrapped_class<qavrek::python::bundle_binding>::AddFile(dict); }
int add_label(PyObject* dict) { return qavrek::python::wrapped_class<qavrek::python::label_binding>::AddFile(dict); }
int add_calls(PyObject* dict) { return qavrek::python::wrapped_class<qavrek::python::calls_binding>::AddFile(dict); }

}  // namespace

PyMODINIT_FUNC PyInit_frameProbe() {
  return qavrek::python::qavrekPythonUtil::InitializeModule(&probe_module, "frameProbe", {"qavrekmodules.Core"},
                                                            {&add_base, &add_derived, &add_bundle, &add_label, &add_calls});
}
