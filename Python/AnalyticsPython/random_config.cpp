#include <tuple>

#include "AnalyticsPython/analytics_names.h"
#include "Frame/persistence_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "RandomPython/random_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<random_config>;

// number_of_brownians, batch_index, use_shift, orthogonalization, generator_type, type: the library's
// defaults.
std::tuple<size_t, size_t, bool, bool, random_type, device_type> optional_settings() {
  return {1, 0, false, false, random_type::WELL_19937, device_type::CPU};
}

// The settings record is shared by every copy and by the randomSettings objects that settings() returns.
struct random_config_binding {
  using type = random_config;
  using base = config_data;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "random_config";
  static constexpr const char* doc =
      "random_config(main_generator_type:randomType, seed:int,\n"
      "    number_of_paths_per_batch:int, number_of_simulation_dates:int,\n"
      "    number_of_brownians:int=1, batch_index:int=0,\n"
      "    use_shift:bool=False, orthogonalization:bool=False,\n"
      "    generator_type:randomType=..., type:deviceType=...)\n"
      "    -> random_config\n"
      "C++: random_config(random_type main_generator_type, size_t seed,\n"
      "    size_t number_of_paths_per_batch,\n"
      "    size_t number_of_simulation_dates, size_t number_of_brownians=1,\n"
      "    size_t batch_index=0, bool use_shift=false,\n"
      "    bool orthogonalization=false,\n"
      "    random_type generator_type=random_type::WELL_19937,\n"
      "    device_type type=device_type::CPU)\n"
      "random_config(__a:randomConfig) -> random_config\n"
      "C++: random_config(const &random_config)\n"
      "\n"
      "random_config - no description provided.\n"
      "\n"
      "Superclass: config_data\n\n";

  using constructors =
      overloads<constructor_with_defaults<"@Eiii|iibbEE random_type random_type device_type", random_config,
                                          &optional_settings, random_type, size_t, size_t, size_t, size_t, size_t, bool,
                                          bool, random_type, device_type>,
                copy_constructor<random_config>>;

  static inline auto methods = with_persistence<random_config>(
      library_name,
      {entry::method<"main_generator_type", &random_config::main_generator_type>(
           "main_generator_type(self) -> randomType\nC++: random_type main_generator_type()\n\n"),
       entry::method<"settings", &random_config::settings>(
           "settings(self) -> randomSettings\nC++: ptr_const<random_settings> settings()\n\n")});

  static std::string text(const ptr_const<random_config>& object) { return json_text(object); }
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_random_config(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::random_config_binding>::AddFile(module_dict);
}
