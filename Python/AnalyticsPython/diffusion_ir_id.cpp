#include <cstdint>
#include <string>

#include "AnalyticsPython/analytics_names.h"
#include "Frame/persistence_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"

namespace qavrek::python {
namespace {

using id_type = diffusion_ir_id;
using entry = methods_of<id_type>;

// One argument is a discount id or an id to copy, told apart by the constructor signatures; the "-" keeps
// a discount id from turning into a diffusion id by implicit conversion. The copy shares the discount id.
struct diffusion_ir_id_binding {
  using type = id_type;
  using base = diffusion_id;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "diffusion_ir_id";
  static constexpr const char* doc =
      "diffusion_ir_id(id:discountId) -> diffusion_ir_id\n"
      "C++: explicit diffusion_ir_id(const ptr_const<discount_id> &id)\n"
      "diffusion_ir_id(__a:diffusionIrId) -> diffusion_ir_id\n"
      "C++: diffusion_ir_id(const &diffusion_ir_id)\n"
      "\n"
      "diffusion_ir_id - no description provided.\n"
      "\n"
      "Superclass: diffusion_id\n\n";

  using constructors =
      overloads<constructor<"-@W discountId", id_type, const ptr_const<discount_id>&>, copy_constructor<id_type>>;

  static inline auto methods = with_persistence<id_type>(
      library_name,
      {entry::method<"hash", &id_type::hash>("hash(self) -> int\nC++: size_t hash() noexcept override;\n\n"),
       entry::method<"to_string", &id_type::to_string>(
           "to_string(self) -> str\nC++: std::string to_string() override;\n\n"),
       entry::method<"id", &id_type::id>("id(self) -> discountId\nC++: const ptr_const<discount_id> &id()\n\n")});

  static std::string text(const ptr_const<id_type>& id) { return json_text(id); }
  static std::uint64_t hash(const id_type& id) { return id.hash(); }
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_diffusion_ir_id(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::diffusion_ir_id_binding>::AddFile(module_dict);
}
