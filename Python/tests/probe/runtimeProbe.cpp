#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <numeric>
#include <utility>
#include <vector>

#include "Core/aad_state_parameters_manager.h"
#include "Core/interruption.h"
#include "CorePython/core_names.h"
#include "Frame/wrapped_class.h"
#include "Runtime/object_use.h"
#include "VectorizationPython/vectorization_names.h"

// Test classes for the run time's services that no wrapped library class reaches yet: a long loop
// with interruption points, a parameter set's flat state, and a constructor that takes a matrix over.
namespace qavrek::probe {

// Spins for a while, an interruption point at every step, as the library's long loops do; stop_spins()
// ends the spins under way. The steps of every spinner are counted, so that a test sees a spin under way
// without asking its busy object.
class probe_spinner {
 public:
  size_t spin(double seconds) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    const size_t stops = stops_.load();
    size_t steps = 0;
    while (std::chrono::steady_clock::now() < end && stops_.load() == stops) {
      ++steps;
      steps_taken_.fetch_add(1, std::memory_order_relaxed);
      interruption::point();
    }
    return steps;
  }

  static size_t steps_taken() noexcept { return steps_taken_.load(std::memory_order_relaxed); }
  static void stop_spins() noexcept { stops_.fetch_add(1); }

 private:
  static inline std::atomic<size_t> steps_taken_{0};
  static inline std::atomic<size_t> stops_{0};
};

// A flat state of a given size, as a parameter set exposes it.
class probe_state final : public aad_state_parameters_manager {
 public:
  explicit probe_state(size_t size) : values_(size) {
    set_state_parameters_size(size);
    set_initialized(true);
  }
  void finalize_aad(double*) const override {}
  size_t get_state_parameters(double* out) const override {
    std::copy(values_.begin(), values_.end(), out);
    return values_.size();
  }
  size_t set_state_parameters(const double* in) override {
    std::copy_n(in, values_.size(), values_.begin());
    return values_.size();
  }

 private:
  std::vector<double> values_;
};

// Takes its matrix over, as a change of measure takes its two matrices, and shares a copy of it.
class probe_matrix_taker {
 public:
  explicit probe_matrix_taker(matrix<double>&& values)
      : values_(std::move(values)), shared_(std::make_shared<const matrix<double>>(values_)) {}
  double sum() const { return std::accumulate(values_.begin(), values_.end(), 0.0); }
  const ptr_const<matrix<double>>& shared() const { return shared_; }

 private:
  matrix<double> values_;
  ptr_const<matrix<double>> shared_;
};

}  // namespace qavrek::probe

namespace qavrek::python {

template <>
inline constexpr const char* python_name<probe::probe_spinner> = "probeSpinner";
template <>
inline constexpr const char* python_name<probe::probe_state> = "probeState";
template <>
inline constexpr const char* python_name<probe::probe_matrix_taker> = "probeMatrixTaker";

namespace {

using probe::probe_matrix_taker;
using probe::probe_spinner;
using probe::probe_state;

constexpr const char* path = "runtimeProbe.";

struct spinner_binding {
  using type = probe_spinner;
  static constexpr const char* module_path = path;
  static constexpr const char* library_name = "probe_spinner";
  static constexpr const char* doc = "probe_spinner()\n\n";
  using constructors = overloads<constructor<"@", probe_spinner>>;
  static inline PyMethodDef methods[] = {
      methods_of<probe_spinner>::method<"spin", &probe_spinner::spin, call_mode::long_running>(""),
      methods_of<probe_spinner>::method<"spin_holding_the_lock", &probe_spinner::spin>(""),
      methods_of<probe_spinner>::static_function<"steps_taken", &probe_spinner::steps_taken>(""),
      methods_of<probe_spinner>::static_function<"stop_spins", &probe_spinner::stop_spins>(""),
      methods_of<probe_spinner>::end(),
  };
};

struct state_binding {
  using type = probe_state;
  using base = aad_state_parameters_manager;
  static constexpr const char* module_path = path;
  static constexpr const char* library_name = "probe_state";
  static constexpr const char* doc = "probe_state(size:int)\n\n";
  using constructors = overloads<constructor<"@i", probe_state, size_t>>;
};

struct matrix_taker_binding {
  using type = probe_matrix_taker;
  static constexpr const char* module_path = path;
  static constexpr const char* library_name = "probe_matrix_taker";
  static constexpr const char* doc = "probe_matrix_taker(values:matrix_IdE)\n\n";
  using constructors = overloads<constructor<"@W matrix_IdE", probe_matrix_taker, matrix<double>&&>>;
  static inline PyMethodDef methods[] = {
      methods_of<probe_matrix_taker>::method<"sum", &probe_matrix_taker::sum>(""),
      methods_of<probe_matrix_taker>::method<"shared", &probe_matrix_taker::shared>(""),
      methods_of<probe_matrix_taker>::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

namespace {

// busy(object): whether the library object of a wrapped object is busy with a long call, asked without
// calling it (which would refuse it).
PyObject* busy(PyObject*, PyObject* object) noexcept {
  if (!qavrek::python::PyQAVREKObject_Check(object)) {
    PyErr_SetString(PyExc_TypeError, "busy() takes a wrapped object");
    return nullptr;
  }
  const std::shared_ptr<const void> held = qavrek::python::HeldObject(object);
  if (held == nullptr) return nullptr;
  return PyBool_FromLong(qavrek::python::object_use::in_long_call(held) ? 1 : 0);
}

PyMethodDef probe_functions[] = {{"busy", &busy, METH_O, nullptr}, {nullptr, nullptr, 0, nullptr}};

PyModuleDef probe_module = {
    PyModuleDef_HEAD_INIT, "runtimeProbe", nullptr, 0, probe_functions, nullptr, nullptr, nullptr, nullptr};

int add_spinner(PyObject* dict) { return qavrek::python::wrapped_class<qavrek::python::spinner_binding>::AddFile(dict); }
int add_state(PyObject* dict) { return qavrek::python::wrapped_class<qavrek::python::state_binding>::AddFile(dict); }
int add_matrix_taker(PyObject* dict) {
  return qavrek::python::wrapped_class<qavrek::python::matrix_taker_binding>::AddFile(dict);
}

}  // namespace

PyMODINIT_FUNC PyInit_runtimeProbe() {
  return qavrek::python::qavrekPythonUtil::InitializeModule(
      &probe_module, "runtimeProbe", {"qavrekmodules.Core", "qavrekmodules.Vectorization"},
      {&add_spinner, &add_state, &add_matrix_taker});
}
