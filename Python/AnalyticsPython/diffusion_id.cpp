#include <cstdint>
#include <string>

#include "AnalyticsPython/analytics_names.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<diffusion_id>;

// The base of the four diffusion ids, and the type of the ids that other objects hand out (a correlation
// manager's). Ids compare by identity in Python; the library compares them by value.
struct diffusion_id_binding {
  using type = diffusion_id;
  using base = market_data_id;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "diffusion_id";
  static constexpr const char* doc = "diffusion_id - no description provided.\n\nSuperclass: market_data_id\n\n";

  static inline PyMethodDef methods[] = {
      entry::method<"to_string", &diffusion_id::to_string>(
          "to_string(self) -> str\nC++: std::string to_string() override = 0;\n\n"),
      entry::method<"hash", &diffusion_id::hash>("hash(self) -> int\nC++: size_t hash() override = 0;\n\n"),
      entry::end(),
  };

  static std::string text(const ptr_const<diffusion_id>& id) { return id->to_string(); }
  static std::uint64_t hash(const diffusion_id& id) { return id.hash(); }
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_diffusion_id(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::diffusion_id_binding>::AddFile(module_dict);
}
