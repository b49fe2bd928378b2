#pragma once

#include "Frame/method_table.h"
#include "Frame/persistence_methods.h"

namespace qavrek::python {

// The method table that the Cheyette and HJM calibration settings share: the model type, the tolerance
// and the debug flag, then the persistence functions.
template <class Settings>
auto interest_rate_settings_methods(const char* library_name) {
  using entry = methods_of<Settings>;
  return with_persistence<Settings>(
      library_name,
      {entry::template method<"type", &Settings::type>(
           "type(self) -> parameterMarkovianHjmType\nC++: parameter_markovian_hjm_type type() const\n\n"),
       entry::template method<"tolerance", &Settings::tolerance>(
           "tolerance(self) -> float\nC++: double tolerance() const\n\n"),
       entry::template method<"debug", &Settings::debug>("debug(self) -> bool\nC++: bool debug() const\n\n")});
}

}  // namespace qavrek::python
