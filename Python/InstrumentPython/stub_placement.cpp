#include "Frame/wrapped_class.h"
#include "Frame/wrapped_enumeration.h"
#include "InstrumentPython/instrument_names.h"
#include "UtilPython/util_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<stub_placement>;

struct stub_placement_binding {
  using type = stub_placement;
  static constexpr const char* module_path = "qavrekmodules.Instrument.";
  static constexpr const char* library_name = "stub_placement";
  static constexpr const char* doc =
      "stub_placement(placement:stub_placement_type) -> stub_placement\n"
      "C++: explicit stub_placement(stub_placement_type placement)\n"
      "stub_placement(__a:stubPlacement) -> stub_placement\n"
      "C++: stub_placement(const &stub_placement)\n"
      "\n"
      "stub_placement - no description provided.\n\n";

  using constructors = overloads<constructor<"@E stub_placement_type", stub_placement, stub_placement_type>,
                                 copy_constructor<stub_placement>>;

  static inline PyMethodDef methods[] = {
      entry::method<"isLongStub", &stub_placement::isLongStub>(
          "isLongStub(self) -> bool\nC++: bool isLongStub() const\n\n"),
      entry::method<"isShortStub", &stub_placement::isShortStub>(
          "isShortStub(self) -> bool\nC++: bool isShortStub() const\n\n"),
      entry::method<"isEndStub", &stub_placement::isEndStub>(
          "isEndStub(self, t:tenor, startDate:datetime, endDate:datetime) -> bool\n"
          "C++: bool isEndStub(const tenor &t, const datetime &startDate, const datetime &endDate) const\n"
          "\n"
          "Returns TRUE if a stub should be at the end. The decision is\n"
          "bas on the following.1. First the default stub position is checked. If this is a\n"
          "   batub then return TRUE - if a front stub return FALSE.2. If the default stub position is auto "
          "then the function will\n"
          "   rurn TRUE, unless there is a stub in which case FALSE is\n"
          "   retued."),
      entry::end(),
  };
};

struct stub_placement_type_binding {
  using type = stub_placement_type;
  static constexpr const char* module_path = "qavrekmodules.Instrument.";
  static constexpr enumerator<stub_placement_type> enumerators[] = {
      {"FRONT", stub_placement_type::FRONT},
      {"BACK", stub_placement_type::BACK},
      {"AUTO", stub_placement_type::AUTO},
  };
};

// Replaces the stubs' nested enumeration under the module attribute "stub_type".
struct stub_type_binding {
  using type = stub_type;
  static constexpr const char* module_path = "qavrekmodules.Instrument.";
  static constexpr enumerator<stub_type> enumerators[] = {
      {"LONGSTART", stub_type::LONGSTART},
      {"SHORTSTART", stub_type::SHORTSTART},
      {"LONGEND", stub_type::LONGEND},
      {"SHORTEND", stub_type::SHORTEND},
  };
};

}  // namespace
}  // namespace qavrek::python

extern "C" int PyQAVREKAddFile_stub_placement(PyObject* module_dict) {
  using namespace qavrek::python;
  if (wrapped_class<stub_placement_binding>::AddFile(module_dict) < 0) return -1;
  if (wrapped_enumeration<stub_placement_type_binding>::AddFile(module_dict) < 0) return -1;
  return wrapped_enumeration<stub_type_binding>::AddFile(module_dict);
}
