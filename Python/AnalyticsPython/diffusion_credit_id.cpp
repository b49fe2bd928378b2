#include <cstdint>
#include <string>

#include "AnalyticsPython/analytics_names.h"
#include "Frame/persistence_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"

namespace qavrek::python {
namespace {

using id_type = diffusion_credit_id;
using entry = methods_of<id_type>;

// One argument is a default id or an id to copy, told apart by the constructor signatures; the "-" keeps
// a default id from turning into a diffusion id by implicit conversion. The copy shares the default id.
struct diffusion_credit_id_binding {
  using type = id_type;
  using base = diffusion_id;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "diffusion_credit_id";
  static constexpr const char* doc =
      "diffusion_credit_id(id:defaultId) -> diffusion_credit_id\n"
      "C++: explicit diffusion_credit_id(const ptr_const<default_id> &id)\n"
      "diffusion_credit_id(__a:diffusionCreditId) -> diffusion_credit_id\n"
      "C++: diffusion_credit_id(const &diffusion_credit_id)\n"
      "\n"
      "diffusion_credit_id - no description provided.\n"
      "\n"
      "Superclass: diffusion_id\n\n";

  using constructors =
      overloads<constructor<"-@W defaultId", id_type, const ptr_const<default_id>&>, copy_constructor<id_type>>;

  static inline auto methods = with_persistence<id_type>(
      library_name,
      {entry::method<"hash", &id_type::hash>("hash(self) -> int\nC++: size_t hash() noexcept override;\n\n"),
       entry::method<"to_string", &id_type::to_string>(
           "to_string(self) -> str\nC++: std::string to_string() override;\n\n"),
       entry::method<"id", &id_type::id>("id(self) -> defaultId\nC++: const ptr_const<default_id> &id()\n\n")});

  static std::string text(const ptr_const<id_type>& id) { return json_text(id); }
  static std::uint64_t hash(const id_type& id) { return id.hash(); }
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_diffusion_credit_id(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::diffusion_credit_id_binding>::AddFile(module_dict);
}
