#include <cmath>
#include <stdexcept>
#include <string>

#include "CorePython/core_names.h"
#include "Frame/wrapped_class.h"

namespace qavrek::python {
namespace {

using entry = methods_of<aad_state_parameters_manager>;

// The library writes state_parameters_size() values: a shorter list is refused rather than written past.
size_t get_state_parameters(const aad_state_parameters_manager& manager, float_list output) {
  const size_t size = manager.state_parameters_size();
  if (output.size < size)
    throw std::invalid_argument("get_state_parameters() argument 1: the list holds " + std::to_string(output.size) +
                                " values, the state " + std::to_string(size));
  return manager.get_state_parameters(output.data);
}

// The library reads state_parameters_size() values: the state is given whole, and finite, as every parameter
// set's constructor asks of its values (a model would carry a NaN into every path).
size_t set_state_parameters(aad_state_parameters_manager& manager, const std::vector<double>& values) {
  const size_t size = manager.state_parameters_size();
  if (values.size() != size)
    throw std::invalid_argument("set_state_parameters() argument 1: expected " + std::to_string(size) +
                                " values, got " + std::to_string(values.size()));
  for (size_t i = 0; i < size; ++i) {
    if (!std::isfinite(values[i]))
      throw std::invalid_argument("set_state_parameters() argument 1: value " + std::to_string(i) + " is " +
                                  std::to_string(values[i]) + ": a state parameter is a finite number");
  }
  return manager.set_state_parameters(values.data());
}

struct aad_state_parameters_manager_binding {
  using type = aad_state_parameters_manager;
  static constexpr const char* module_path = "qavrekmodules.Core.";
  static constexpr const char* library_name = "aad_state_parameters_manager";
  static constexpr const char* doc = "aad_state_parameters_manager - no description provided.\n\n";

  static inline PyMethodDef methods[] = {
      entry::method<"state_parameters_size", &aad_state_parameters_manager::state_parameters_size>(
          "state_parameters_size(self) -> int\nC++: size_t state_parameters_size() const\n\n"),
      entry::method<"get_state_parameters", &get_state_parameters>(
          "get_state_parameters(self, out:[float, ...]) -> int\n"
          "C++: virtual size_t get_state_parameters(double *out) const = 0\n\n"
          "Writes the state into the first state_parameters_size() items of the list.\n\n"),
      entry::method<"set_state_parameters", &set_state_parameters>(
          "set_state_parameters(self, in:(float, ...)) -> int\n"
          "C++: virtual size_t set_state_parameters(const double *in) = 0\n\n"
          "Reads the whole state from a list, tuple, vector_IdE or one-dimensional array.\n\n"),
      entry::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_aad_state_parameters_manager(PyObject* module_dict) {
  using qavrek::python::aad_state_parameters_manager_binding;
  return qavrek::python::wrapped_class<aad_state_parameters_manager_binding>::AddFile(module_dict);
}
