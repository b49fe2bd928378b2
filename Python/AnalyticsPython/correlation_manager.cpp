#include <vector>

#include "AnalyticsPython/analytics_names.h"
#include "Frame/persistence_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {
namespace {

using manager = correlation_manager;
using entry = methods_of<manager>;

// Immutable from Python. Ids come back as diffusionId objects whatever their class; an id that the
// manager does not hold, or an index past its ids, is the library's error.
struct correlation_manager_binding {
  using type = manager;
  using base = market_data;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "correlation_manager";
  static constexpr const char* doc =
      "correlation_manager(valuation_date:datetime, ids:(diffusionId, ...),\n"
      "    factors:(int, ...), correlation:matrix_IdE) -> correlation_manager\n"
      "C++: correlation_manager(const datetime &valuation_date,\n"
      "    const std::vector<ptr_const<diffusion_id> > &ids,\n"
      "    const std::vector<size_t> &factors,\n"
      "    const matrix<double> &correlation)\n"
      "\n"
      "correlation_manager - no description provided.\n"
      "\n"
      "Superclass: market_data\n\n";

  using constructors = overloads<constructor<"@WvvW datetime matrix_IdE", manager, const datetime&,
                                             const std::vector<ptr_const<diffusion_id>>&, const std::vector<size_t>&,
                                             const matrix<double>&>>;

  static inline auto methods = with_persistence<manager>(
      library_name,
      {entry::method<"pair_correlation_matrix", &manager::pair_correlation_matrix>(
           "pair_correlation_matrix(self, ids1:(diffusionId, ...), ids2:(\n"
           "    diffusionId, ...)) -> matrix_IdE\n"
           "C++: matrix<double> pair_correlation_matrix(\n"
           "    const std::vector<ptr_const<diffusion_id> > &ids1,\n"
           "    const std::vector<ptr_const<diffusion_id> > &ids2)\n\n"),
       entry::method<"ids", &manager::ids>(
           "ids(self) -> (diffusionId, ...)\nC++: const std::vector<ptr_const<diffusion_id> > &ids()\n\n"),
       entry::method<"id", &manager::id>(
           "id(self, i:int) -> diffusionId\nC++: const ptr_const<diffusion_id> &id(size_t i)\n\n"),
       entry::method<"number_of_factors", &manager::number_of_factors>(
           "number_of_factors(self, id:diffusionId) -> int\n"
           "C++: size_t number_of_factors(const ptr_const<diffusion_id> &id)\n\n")});

  static std::string text(const ptr_const<manager>& object) { return json_text(object); }
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_correlation_manager(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::correlation_manager_binding>::AddFile(module_dict);
}
