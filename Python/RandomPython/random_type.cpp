#include "Frame/wrapped_enumeration.h"
#include "RandomPython/random_names.h"

namespace qavrek::python {
namespace {

struct random_type_binding {
  using type = random_type;
  static constexpr const char* module_path = "qavrekmodules.Random.";
  static constexpr enumerator<random_type> enumerators[] = {
      {"SOBOL", random_type::SOBOL},
      {"SOBOL_BROWNIAN_BRIDGE", random_type::SOBOL_BROWNIAN_BRIDGE},
      {"WELL_19937", random_type::WELL_19937},
      {"WELL_44497", random_type::WELL_44497},
      {"MERSENNE_TWISTER", random_type::MERSENNE_TWISTER},
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_random_type(PyObject* module_dict) {
  return qavrek::python::wrapped_enumeration<qavrek::python::random_type_binding>::AddFile(module_dict);
}
