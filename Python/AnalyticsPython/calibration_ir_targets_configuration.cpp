#include "AnalyticsPython/analytics_names.h"
#include "Frame/persistence_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"

namespace qavrek::python {
namespace {

using configuration = calibration_ir_targets_configuration;
using entry = methods_of<configuration>;

// Read from a file or copied, never built from its parts in Python; its strikes show only in its JSON text.
struct calibration_ir_targets_configuration_binding {
  using type = configuration;
  using base = config_data;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "calibration_ir_targets_configuration";
  static constexpr const char* doc =
      "calibration_ir_targets_configuration(\n"
      "    __a:calibrationIrTargetsConfiguration)\n"
      "    -> calibration_ir_targets_configuration\n"
      "C++: calibration_ir_targets_configuration(\n"
      "    const &calibration_ir_targets_configuration)\n"
      "\n"
      "calibration_ir_targets_configuration - no description provided.\n"
      "\n"
      "Superclass: config_data\n\n";

  using constructors = overloads<copy_constructor<configuration>>;

  static inline auto methods = with_persistence<configuration>(
      library_name,
      {entry::method<"frequency", &configuration::frequency>(
           "frequency(self) -> tenor\nC++: const tenor &frequency() noexcept;\n\n"),
       entry::method<"expiries", &configuration::expiries>(
           "expiries(self) -> (tenor, ...)\nC++: const std::vector<tenor> &expiries() noexcept;\n\n"),
       entry::method<"coterminal", &configuration::coterminal>(
           "coterminal(self) -> tenor\nC++: const tenor &coterminal() noexcept;\n\n"),
       entry::method<"cms_tenors", &configuration::cms_tenors>(
           "cms_tenors(self) -> (tenor, ...)\nC++: const std::vector<tenor> &cms_tenors() noexcept;\n\n"),
       entry::method<"include_caplets", &configuration::include_caplets>(
           "include_caplets(self) -> bool\nC++: bool include_caplets() noexcept;\n\n"),
       entry::method<"include_coterminal", &configuration::include_coterminal>(
           "include_coterminal(self) -> bool\nC++: bool include_coterminal() noexcept;\n\n"),
       entry::method<"include_cms", &configuration::include_cms>(
           "include_cms(self) -> bool\nC++: bool include_cms() noexcept;\n\n")});

  static std::string text(const ptr_const<configuration>& object) { return json_text(object); }
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_calibration_ir_targets_configuration(PyObject* module_dict) {
  using qavrek::python::calibration_ir_targets_configuration_binding;
  return qavrek::python::wrapped_class<calibration_ir_targets_configuration_binding>::AddFile(module_dict);
}
