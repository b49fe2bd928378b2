#include "Frame/wrapped_class.h"
#include "RandomPython/random_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<random_settings>;

// The library's defaults of the optional parameters, in declaration order.
std::tuple<size_t, size_t, bool, random_type, bool, device_type, bool> optional_settings() {
  return {1, 0, false, random_type::WELL_19937, true, device_type::CPU, false};
}

struct random_settings_binding {
  using type = random_settings;
  static constexpr const char* module_path = "qavrekmodules.Random.";
  static constexpr const char* library_name = "random_settings";
  static constexpr const char* doc =
      "random_settings(seed:int, number_of_paths_per_batch:int,\n"
      "    number_of_simulation_dates:int, number_of_brownians:int=1,\n"
      "    batch_index:int=0, full_skip:bool=False,\n"
      "    generator_type:randomType=..., use_shift:bool=True,\n"
      "    type:deviceType=..., orthogonalization:bool=False)\n"
      "    -> random_settings\n"
      "C++: random_settings(size_t seed, size_t number_of_paths_per_batch, size_t number_of_simulation_dates,\n"
      "                  size_t number_of_brownians = 1, size_t batch_index = 0, bool full_skip = false,\n"
      "                  random_type generator_type = random_type::WELL_19937, bool use_shift = true,\n"
      "                  device_type type = device_type::CPU, bool orthogonalization = false)\n"
      "random_settings(__a:randomSettings)\n"
      "    -> random_settings\n"
      "C++: random_settings(const &random_settings)\n"
      "\n"
      "random_settings - no description provided.\n\n";

  using constructors =
      overloads<constructor_with_defaults<"@iii|iiibEbEb random_type device_type", random_settings, &optional_settings,
                                          size_t, size_t, size_t, size_t, size_t, bool, random_type, bool, device_type,
                                          bool>,
                copy_constructor<random_settings>>;

  static inline PyMethodDef methods[] = {
      entry::method<"seed", &random_settings::seed>("seed(self) -> int\nC++: size_t seed() const\n\n"),
      entry::method<"number_of_paths_per_batch", &random_settings::number_of_paths_per_batch>(
          "number_of_paths_per_batch(self) -> int\nC++: size_t number_of_paths_per_batch() const\n\n"),
      entry::method<"number_of_simulation_dates", &random_settings::number_of_simulation_dates>(
          "number_of_simulation_dates(self) -> int\nC++: size_t number_of_simulation_dates() const\n\n"),
      entry::method<"number_of_brownians", &random_settings::number_of_brownians>(
          "number_of_brownians(self) -> int\nC++: size_t number_of_brownians() const\n\n"),
      entry::method<"batch_index", &random_settings::batch_index>(
          "batch_index(self) -> int\nC++: size_t batch_index() const\n\n"),
      entry::method<"full_skip", &random_settings::full_skip>("full_skip(self) -> bool\nC++: bool full_skip() const\n\n"),
      entry::method<"generator_type", &random_settings::generator_type>(
          "generator_type(self) -> random_type\nC++: random_type generator_type() const\n\n"),
      entry::method<"use_shift", &random_settings::use_shift>("use_shift(self) -> bool\nC++: bool use_shift() const\n\n"),
      entry::method<"type", &random_settings::type>("type(self) -> device_type\nC++: device_type type() const\n\n"),
      entry::method<"orthogonalization", &random_settings::orthogonalization>(
          "orthogonalization(self) -> bool\nC++: bool orthogonalization() const\n\n"),
      entry::static_function<"write_to_json", &random_settings::write_to_json>(
          "write_to_json(file_name:str, rhs:randomSettings) -> None\n"
          "C++: static void write_to_json(const std::string &file_name, const ptr_const<random_settings> &rhs)\n\n"),
      entry::static_function<"read_from_json", &random_settings::read_from_json>(
          "read_from_json(file_name:str) -> randomSettings\n"
          "C++: static ptr_const<qavrek::random_settings> read_from_json(const std::string &file_name)\n\n"),
      entry::static_function<"write_to_binary", &random_settings::write_to_binary>(
          "write_to_binary(file_name:str, rhs:randomSettings) -> None\n"
          "C++: static void write_to_binary(const std::string &file_name, const ptr_const<random_settings> &rhs)\n\n"),
      entry::static_function<"read_from_binary", &random_settings::read_from_binary>(
          "read_from_binary(file_name:str) -> randomSettings\n"
          "C++: static ptr_const<qavrek::random_settings> read_from_binary(const std::string &file_name)\n\n"),
      entry::static_function<"json_to_string", &random_settings::json_to_string>(
          "json_to_string(rhs:randomSettings) -> str\n"
          "C++: static std::string json_to_string(const ptr_const<random_settings> &rhs)\n\n"),
      entry::end(),
  };

  // A persistable class shows its JSON text.
  static std::string text(const ptr_const<random_settings>& settings) { return random_settings::json_to_string(settings); }
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_random_settings(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::random_settings_binding>::AddFile(module_dict);
}
