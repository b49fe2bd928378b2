#include <algorithm>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "AnalyticsPython/analytics_names.h"
#include "Core/interruption.h"
#include "Frame/wrapped_class.h"
#include "InstrumentPython/instrument_names.h"
#include "MarketPython/market_names.h"
#include "Runtime/long_call.h"
#include "UtilPython/util_names.h"

namespace qavrek::python {
namespace {

using manager = pde_manager;
using entry = methods_of<manager>;
using pricers = std::vector<ptr_const<instrument>>;
using life_cycles = written_objects<life_cycle_data>;

// A copy shares its scheme and coefficient sets with its source, which no Python object shows: runs started
// from Python take turns. A run waiting for its turn can still be interrupted.
std::timed_mutex& run_turn() {
  static std::timed_mutex turn;
  return turn;
}

// What a run leaves out: no adjustments, no life-cycle entries.
std::tuple<std::vector<double>, life_cycles> no_adjustments() { return {}; }

// A run writes the manager's results, so the manager is busy meanwhile, and the instruments' life-cycle
// entries, which other objects may share: it writes private copies of them, which the entries receive when
// the run ends (or, stopped by Ctrl-C, as the steps done left them).
void run(const ptr_const<manager>& pde, const pricers& instruments, const std::vector<double>& adjustements,
         const life_cycles& data) {
  std::vector<ptr_mutable<life_cycle_data>> entries(data.copies().size());
  std::transform(data.copies().begin(), data.copies().end(), entries.begin(),
                 [](const ptr_const<life_cycle_data>& copy) { return std::const_pointer_cast<life_cycle_data>(copy); });
  long_call::run(pde, data.publication(), [&] {
    std::unique_lock<std::timed_mutex> turn(run_turn(), std::defer_lock);
    while (!turn.try_lock_for(std::chrono::milliseconds(20))) interruption::point();
    library_object(pde).run(instruments, adjustements, entries);
  });
}

// The library writes size() values: a list too short for them, or a call before any run, is refused
// rather than written past or read from nothing.
void pv(const manager& pde, float_list pvs) {
  if (!pde.has_results()) throw std::invalid_argument("pv() reads the results of a run: run the manager first");
  if (pvs.size < pde.size())
    throw std::invalid_argument("pv() argument 1: the list holds " + std::to_string(pvs.size) +
                                " values, the last run " + std::to_string(pde.size()));
  pde.pv(pvs.data);
}

// Built only as a copy of a manager made by a native caller.
struct pde_manager_binding {
  using type = manager;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "pde_manager";
  static constexpr const char* doc =
      "pde_manager(__a:pdeManager) -> pde_manager\n"
      "C++: pde_manager(const &pde_manager)\n"
      "\n"
      "pde_manager - no description provided.\n\n";

  using constructors = overloads<copy_constructor<manager>>;

  static inline PyMethodDef methods[] = {
      entry::method_with_defaults<"run", &run, &no_adjustments>(
          "run(self, pricers:(instrument, ...), adjustements:(float, ...)\n"
          "    =..., data:(lifeCycleData, ...)=...) -> None\n"
          "C++: void run(const std::vector<ptr_const<instrument> > &pricers,\n"
          "const std::vector<double> &adjustements={ },\n"
          "    const std::vector<ptr_mutable<life_cycle_data> > &data={ })\n\n"
          "Writes private copies of the data entries; the entries, and every\n"
          "object that shares them, receive the copies' values when the run\n"
          "ends (stopped by Ctrl-C, as the steps done left them): another\n"
          "thread reads an entry as it was before the run or after it.\n\n"),
      entry::method<"pv", &pv>("pv(self, pvs:[float, ...]) -> None\nC++: void pv(double *pvs)\n\n"),
      entry::method<"dimensions", &manager::dimensions>(
          "dimensions(self) -> (int, ...)\nC++: const std::vector<size_t> &dimensions()\n\n"),
      entry::method<"dates", &manager::dates>(
          "dates(self) -> (datetime, ...)\nC++: const std::vector<datetime> &dates()\n\n"),
      entry::method<"size", &manager::size>("size(self) -> int\nC++: size_t size()\n\n"),
      entry::end()};
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_pde_manager(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::pde_manager_binding>::AddFile(module_dict);
}
