#include <cstdint>
#include <string>

#include "AnalyticsPython/analytics_names.h"
#include "Frame/persistence_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"

namespace qavrek::python {
namespace {

using id_type = diffusion_fx_id;
using entry = methods_of<id_type>;

// The count tells the forms apart: one argument is always an id to copy, two the domestic and the foreign
// discount ids. The copy shares both interest-rate ids.
struct diffusion_fx_id_binding {
  using type = id_type;
  using base = diffusion_id;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "diffusion_fx_id";
  static constexpr const char* doc =
      "diffusion_fx_id(diffusion_ir_id_domestic:discountId,\n"
      "    diffusion_ir_id_foreign:discountId) -> diffusion_fx_id\n"
      "C++: diffusion_fx_id(\n"
      "    const ptr_const<discount_id> &diffusion_ir_id_domestic,\n"
      "    const ptr_const<discount_id> &diffusion_ir_id_foreign)\n"
      "diffusion_fx_id(__a:diffusionFxId) -> diffusion_fx_id\n"
      "C++: diffusion_fx_id(const &diffusion_fx_id)\n"
      "\n"
      "diffusion_fx_id - no description provided.\n"
      "\n"
      "Superclass: diffusion_id\n\n";

  using constructors =
      overloads<constructor<"-@WW discountId discountId", id_type, const ptr_const<discount_id>&,
                            const ptr_const<discount_id>&>,
                copy_constructor<id_type>>;

  static inline auto methods = with_persistence<id_type>(
      library_name,
      {entry::method<"diffusion_ir_id_domestic", &id_type::diffusion_ir_id_domestic>(
           "diffusion_ir_id_domestic(self) -> diffusionIrId\n"
           "C++: const ptr_const<diffusion_ir_id> &diffusion_ir_id_domestic()\n\n"),
       entry::method<"diffusion_ir_id_foreign", &id_type::diffusion_ir_id_foreign>(
           "diffusion_ir_id_foreign(self) -> diffusionIrId\n"
           "C++: const ptr_const<diffusion_ir_id> &diffusion_ir_id_foreign()\n\n"),
       entry::method<"hash", &id_type::hash>("hash(self) -> int\nC++: size_t hash() noexcept override;\n\n"),
       entry::method<"to_string", &id_type::to_string>(
           "to_string(self) -> str\nC++: std::string to_string() override;\n\n")});

  static std::string text(const ptr_const<id_type>& id) { return json_text(id); }
  static std::uint64_t hash(const id_type& id) { return id.hash(); }
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_diffusion_fx_id(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::diffusion_fx_id_binding>::AddFile(module_dict);
}
