#include <tuple>

#include "AnalyticsPython/analytics_names.h"
#include "Frame/persistence_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"

namespace qavrek::python {
namespace {

using settings = calibration_black_karasinski_settings;
using entry = methods_of<settings>;

// The library's defaults of the optional parameters, in declaration order.
std::tuple<bool, bool, size_t, double, double, double, double, bool, double, size_t, double, bool> optional_settings() {
  return {true, true, 129, 3.0, -50.0, 50.0, 1.e-13, false, 30.0, 10, 1.0, true};
}

struct calibration_black_karasinski_settings_binding {
  using type = settings;
  using base = config_data;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "calibration_black_karasinski_settings";
  static constexpr const char* doc =
      "calibration_black_karasinski_settings(frequency:tenor,\n"
      "    mean_reversion_spead:float, backward:bool=True,\n"
      "    use_adjustement:bool=True, pde_grid_size:int=129,\n"
      "    pde_span:float=3.0, level_lower_bound:float=-50.0,\n"
      "    level_upper_bound:float=50.0, tolerance:float=1e-13,\n"
      "    debug:bool=False, step:float=30.0, period:int=10,\n"
      "    minimum_step:float=1.0, update_bounds:bool=True)\n"
      "    -> calibration_black_karasinski_settings\n"
      "C++: calibration_black_karasinski_settings(tenor frequency,\n"
      "    double mean_reversion_spead, bool backward=true,\n"
      "    bool use_adjustement=true, size_t pde_grid_size=129,\n"
      "    double pde_span=3., double level_lower_bound=-50,\n"
      "    double level_upper_bound=50, double tolerance=1.e-13,\n"
      "    bool debug=false, double step=30., size_t period=10,\n"
      "    double minimum_step=1., bool update_bounds=true)\n"
      "calibration_black_karasinski_settings(\n"
      "    __a:calibrationBlackKarasinskiSettings)\n"
      "    -> calibration_black_karasinski_settings\n"
      "C++: calibration_black_karasinski_settings(\n"
      "    const &calibration_black_karasinski_settings)\n"
      "\n"
      "calibration_black_karasinski_settings - no description provided.\n"
      "\n"
      "Superclass: config_data\n\n";

  using constructors =
      overloads<constructor_with_defaults<"@Wd|bbiddddbdidb tenor", settings, &optional_settings, tenor, double, bool,
                                          bool, size_t, double, double, double, double, bool, double, size_t, double,
                                          bool>,
                copy_constructor<settings>>;

  static inline auto methods = with_persistence<settings>(
      library_name,
      {entry::method<"mean_reversion_spead", &settings::mean_reversion_spead>(
           "mean_reversion_spead(self) -> float\nC++: double mean_reversion_spead() const\n\n"),
       entry::method<"backward", &settings::backward>("backward(self) -> bool\nC++: bool backward() const\n\n"),
       entry::method<"use_adjustement", &settings::use_adjustement>(
           "use_adjustement(self) -> bool\nC++: bool use_adjustement() const\n\n"),
       entry::method<"pde_grid_size", &settings::pde_grid_size>(
           "pde_grid_size(self) -> int\nC++: size_t pde_grid_size() const\n\n"),
       entry::method<"pde_span", &settings::pde_span>("pde_span(self) -> float\nC++: double pde_span() const\n\n"),
       entry::method<"level_lower_bound", &settings::level_lower_bound>(
           "level_lower_bound(self) -> float\nC++: double level_lower_bound() const\n\n"),
       entry::method<"level_upper_bound", &settings::level_upper_bound>(
           "level_upper_bound(self) -> float\nC++: double level_upper_bound() const\n\n"),
       entry::method<"tolerance", &settings::tolerance>("tolerance(self) -> float\nC++: double tolerance() const\n\n"),
       entry::method<"debug", &settings::debug>("debug(self) -> bool\nC++: bool debug() const\n\n"),
       entry::method<"step", &settings::step>("step(self) -> float\nC++: double step() const\n\n"),
       entry::method<"period", &settings::period>("period(self) -> int\nC++: size_t period() const\n\n"),
       entry::method<"minimum_step", &settings::minimum_step>(
           "minimum_step(self) -> float\nC++: double minimum_step() const\n\n"),
       entry::method<"update_bounds", &settings::update_bounds>(
           "update_bounds(self) -> bool\nC++: bool update_bounds() const\n\n")});

  static std::string text(const ptr_const<settings>& object) { return json_text(object); }
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_calibration_black_karasinski_settings(PyObject* module_dict) {
  using qavrek::python::calibration_black_karasinski_settings_binding;
  return qavrek::python::wrapped_class<calibration_black_karasinski_settings_binding>::AddFile(module_dict);
}
