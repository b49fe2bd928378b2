#include "Frame/wrapped_class.h"
#include "Frame/wrapped_enumeration.h"
#include "InstrumentPython/instrument_names.h"
#include "UtilPython/util_names.h"

namespace qavrek::python {
namespace {

using entry = methods_of<Stub>;

// str() is the stub type's name.
struct Stub_binding {
  using type = Stub;
  static constexpr const char* module_path = "qavrekmodules.Instrument.";
  static constexpr const char* library_name = "Stub";
  static constexpr const char* doc =
      "Stub(type:Stub.stub_type) -> Stub\n"
      "C++: explicit Stub(Stub::stub_type type)\n"
      "Stub(__a:Stub) -> Stub\n"
      "C++: Stub(const &Stub)\n"
      "\n"
      "Stub - no description provided.\n\n";

  using constructors = overloads<constructor<"@E Stub.stub_type", Stub, Stub::stub_type>, copy_constructor<Stub>>;

  static inline PyMethodDef methods[] = {
      entry::method<"payment", &Stub::payment>(
          "payment(self, prevCouponDate:datetime, nextCouponDate:datetime,\n"
          "    stubStart:datetime, stubEnd:datetime, dcc:dayCountConvention) -> float\n"
          "C++: double payment(const datetime &prevCouponDate, const datetime &nextCouponDate,\n"
          "                    const datetime &stubStart, const datetime &stubEnd,\n"
          "                    const ptr_const<day_count_convention> &dcc) const\n\n"),
      entry::method<"to_string", &Stub::to_string>("to_string(self) -> str\n"
                                                   "C++: std::string to_string() const\n"
                                                   "\n"
                                                   "returns a string description e.g. SIMPLE"),
      entry::end(),
  };

  static std::string text(const ptr_const<Stub>& stub) { return stub->to_string(); }
};

// Stored under "stub_type" until the stub placements store their own enumeration there.
struct Stub_stub_type_binding {
  using type = Stub::stub_type;
  static constexpr const char* module_path = "qavrekmodules.Instrument.";
  static constexpr const char* dictionary_key = "stub_type";
  static constexpr enumerator<Stub::stub_type> enumerators[] = {
      {"SIMPLE", Stub::stub_type::SIMPLE},
      {"BOND", Stub::stub_type::BOND},
      {"NONE", Stub::stub_type::NONE},
  };
};

}  // namespace
}  // namespace qavrek::python

// The enumeration is also the class attribute Stub.stub_type: the module attribute "stub_type" ends as
// the stub placements' enumeration, and a stub is made from a value of this one.
extern "C" int PyQAVREKAddFile_Stub(PyObject* module_dict) {
  using namespace qavrek::python;
  if (wrapped_class<Stub_binding>::AddFile(module_dict) < 0) return -1;
  if (wrapped_enumeration<Stub_stub_type_binding>::AddFile(module_dict) < 0) return -1;
  PyTypeObject* stub = wrapped_class<Stub_binding>::type();
  PyObject* nested = reinterpret_cast<PyObject*>(wrapped_enumeration<Stub_stub_type_binding>::type());
  if (PyDict_SetItemString(stub->tp_dict, "stub_type", nested) < 0) return -1;
  PyType_Modified(stub);
  return 0;
}
