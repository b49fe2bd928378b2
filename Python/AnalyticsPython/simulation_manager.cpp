#include <vector>

#include "AnalyticsPython/analytics_names.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using manager = simulation_manager;
using entry = methods_of<manager>;

// One batch of paths, driven date by date from Python. The views that data(i) returns read the manager's
// states live: after propagate(t) they answer for date t. A step holds the interpreter lock: it is short,
// and the views, which other threads may read, change with it. Indices outside the diffusions or steps out
// of order are the library's errors.
struct simulation_manager_binding {
  using type = manager;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "simulation_manager";
  static constexpr const char* doc =
      "simulation_manager(assets:[diffusion, ...],\n"
      "    change_of_measures:[changeOfMeasure, ...], correlation:matrix_IdE,\n"
      "     config:randomConfig, simulation_dates:(datetime, ...))\n"
      "    -> simulation_manager\n"
      "C++: simulation_manager(std::vector<ptr_const<diffusion> > &&assets,\n"
      "    std::vector<ptr_const<change_of_measure> > &&change_of_measures,\n"
      "    const matrix<double> &correlation,\n"
      "    const ptr_const<random_config> &config,\n"
      "    const std::vector<datetime> &simulation_dates)\n"
      "\n"
      "simulation_manager - no description provided.\n\n";

  using constructors =
      overloads<constructor<"@llWWv matrix_IdE randomConfig", manager, const std::vector<ptr_const<diffusion>>&,
                            const std::vector<ptr_const<change_of_measure>>&, const matrix<double>&,
                            const ptr_const<random_config>&, const std::vector<datetime>&>>;

  static inline PyMethodDef methods[] = {
      entry::method<"propagate", &manager::propagate>(
          "propagate(self, time_index:int) -> None\nC++: void propagate(size_t time_index)\n\n"),
      entry::method<"states_initialize", &manager::states_initialize>(
          "states_initialize(self) -> None\nC++: void states_initialize()\n\n"),
      entry::method<"data", &manager::data>(
          "data(self, i:int) -> marketData\nC++: const ptr_const<market_data> &data(size_t i)\n\n"),
      entry::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_simulation_manager(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::simulation_manager_binding>::AddFile(module_dict);
}
