#include <cstdint>
#include <string>

#include "AnalyticsPython/analytics_names.h"
#include "Frame/persistence_methods.h"
#include "Frame/wrapped_class.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"

namespace qavrek::python {
namespace {

using id_type = diffusion_equity_id;
using entry = methods_of<id_type>;

// The count tells the forms apart: one argument is always an id to copy, two a discount id and a name.
// The copy shares the domestic interest-rate id.
struct diffusion_equity_id_binding {
  using type = id_type;
  using base = diffusion_id;
  static constexpr const char* module_path = "qavrekmodules.Analytics.";
  static constexpr const char* library_name = "diffusion_equity_id";
  static constexpr const char* doc =
      "diffusion_equity_id(domestic_ir_id:discountId, name:key)\n"
      "    -> diffusion_equity_id\n"
      "C++: diffusion_equity_id(const ptr_const<discount_id> &domestic_ir_id,\n"
      "     key name)\n"
      "diffusion_equity_id(__a:diffusionEquityId) -> diffusion_equity_id\n"
      "C++: diffusion_equity_id(const &diffusion_equity_id)\n"
      "\n"
      "diffusion_equity_id - no description provided.\n"
      "\n"
      "Superclass: diffusion_id\n\n";

  using constructors = overloads<constructor<"-@WW discountId key", id_type, const ptr_const<discount_id>&, key>,
                                 copy_constructor<id_type>>;

  static inline auto methods = with_persistence<id_type>(
      library_name,
      {entry::method<"hash", &id_type::hash>("hash(self) -> int\nC++: size_t hash() noexcept override;\n\n"),
       entry::method<"to_string", &id_type::to_string>(
           "to_string(self) -> str\nC++: std::string to_string() override;\n\n"),
       entry::method<"diffusion_ir_id_domestic", &id_type::diffusion_ir_id_domestic>(
           "diffusion_ir_id_domestic(self) -> diffusionIrId\n"
           "C++: const ptr_const<diffusion_ir_id> &diffusion_ir_id_domestic()\n\n")});

  static std::string text(const ptr_const<id_type>& id) { return json_text(id); }
  static std::uint64_t hash(const id_type& id) { return id.hash(); }
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_diffusion_equity_id(PyObject* module_dict) {
  return qavrek::python::wrapped_class<qavrek::python::diffusion_equity_id_binding>::AddFile(module_dict);
}
