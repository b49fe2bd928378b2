#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "AnalyticsPython/analytics_names.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "Runtime/long_call.h"
#include "Runtime/object_use.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using manager = simulation_manager;
using entry = methods_of<manager>;

// A step of this many paths times factors takes some milliseconds or more: worth running without the
// interpreter lock, and worth stopping with Ctrl-C. A smaller one holds the lock.
constexpr size_t long_step = size_t{1} << 17;

// The market-data views, which read the states that a step or a start writes in place: refused while a
// long call on another thread reads one of them (an instrument's simulated value).
std::vector<std::shared_ptr<const void>> views_to_write(const manager& walk) {
  std::vector<std::shared_ptr<const void>> views;
  for (size_t i = 0; i < walk.number_of_diffusions(); ++i) {
    if (object_use::read_by_long_call(walk.data(i)))
      throw std::runtime_error("the view of diffusion " + std::to_string(i) +
                               " is read by a long call: the states cannot change under it");
    views.push_back(walk.data(i));
  }
  return views;
}

void states_initialize(manager& walk) {
  views_to_write(walk);
  walk.states_initialize();
}

// A long step writes the states in place, which the views that data(i) returned read: the manager and its
// views are busy while it runs. Stopped by Ctrl-C while it draws, the step leaves the states as they were;
// later, it asks for states_initialize.
void propagate(const ptr_const<manager>& simulation, size_t time_index) {
  manager& walk = library_object(simulation);
  std::vector<std::shared_ptr<const void>> views = views_to_write(walk);
  if (walk.number_of_paths() * walk.number_of_factors() < long_step) {
    walk.propagate(time_index);
    return;
  }
  const marked_objects written_by_the_step(marked_objects::mark::busy, std::move(views));
  long_call::run(simulation, [&] { walk.propagate(time_index); });
}

// One batch of paths, driven date by date from Python. The views that data(i) returns read the manager's
// states live: after propagate(t) they answer for date t. Indices outside the diffusions or steps out of
// order are the library's errors.
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
      entry::method<"propagate", &propagate>(
          "propagate(self, time_index:int) -> None\nC++: void propagate(size_t time_index)\n\n"),
      entry::method<"states_initialize", &states_initialize>(
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
