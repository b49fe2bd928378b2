#include <stdexcept>
#include <string>

#include "Frame/wrapped_class.h"
#include "InstrumentPython/instrument_methods.h"
#include "InstrumentPython/instrument_names.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"

namespace qavrek::python {
namespace {

using life_entry = methods_of<bermudan_strikes_life_cycle>;
using entry = methods_of<instrument_bermudan_swaption>;
using instrument_entry = instrument_methods<instrument_bermudan_swaption>;

// One event's boundary; an index past the events is Python's IndexError.
double boundary_strike(bermudan_strikes_life_cycle& life, size_t index) {
  const size_t events = life.excution_boundary_strikes().size();
  if (index >= events)
    throw std::out_of_range("excution_boundary_strikes() index " + std::to_string(index) + " is out of range for " +
                            std::to_string(events) + " events");
  return life.excution_boundary_strikes(index);
}

const std::vector<double>& boundary_strikes(const bermudan_strikes_life_cycle& life) {
  return life.excution_boundary_strikes();
}

struct bermudan_strikes_life_cycle_binding {
  using type = bermudan_strikes_life_cycle;
  using base = life_cycle_data;
  static constexpr const char* module_path = "qavrekmodules.Instrument.";
  static constexpr const char* library_name = "bermudan_strikes_life_cycle";
  static constexpr const char* doc =
      "bermudan_strikes_life_cycle(__a:bermudanStrikesLifeCycle)\n"
      "    -> bermudan_strikes_life_cycle\n"
      "C++: bermudan_strikes_life_cycle(const &bermudan_strikes_life_cycle)\n"
      "bermudan_strikes_life_cycle(n:int, strike:float) -> bermudan_strikes_life_cycle\n"
      "C++: bermudan_strikes_life_cycle(size_t n, double strike)\n"
      "\n"
      "bermudan_strikes_life_cycle - no description provided.\n"
      "\n"
      "Superclass: life_cycle_data\n\n";

  using constructors = overloads<copy_constructor<bermudan_strikes_life_cycle>,
                                 constructor<"@id", bermudan_strikes_life_cycle, size_t, double>>;

  static inline PyMethodDef methods[] = {
      life_entry::overloaded<"excution_boundary_strikes", method_overload<"@i", &boundary_strike>,
                             method_overload<"@", &boundary_strikes>>(
          "excution_boundary_strikes(self, index:int) -> float\n"
          "C++: double &excution_boundary_strikes(size_t index)\n\n"
          "excution_boundary_strikes(self) -> (float, ...)\n"
          "C++: const std::vector<double> &excution_boundary_strikes() const\n\n"),
      life_entry::end(),
  };
};

struct instrument_bermudan_swaption_binding {
  using type = instrument_bermudan_swaption;
  using base = instrument;
  static constexpr const char* module_path = "qavrekmodules.Instrument.";
  static constexpr const char* library_name = "instrument_bermudan_swaption";
  static constexpr const char* doc =
      "instrument_bermudan_swaption(__a:instrumentBermudanSwaption)\n"
      "    -> instrument_bermudan_swaption\n"
      "C++: instrument_bermudan_swaption(const &instrument_bermudan_swaption)\n"
      "instrument_bermudan_swaption(is_call:bool, strike:float,\n"
      "    event_dates:(datetime, ...), curve:discountCurve,\n"
      "    expiries:(datetime, ...), maturity:datetime, frequency:tenor,\n"
      "    convention:dayCountConvention) -> instrument_bermudan_swaption\n"
      "C++: instrument_bermudan_swaption(bool is_call, const double strike,\n"
      "                             const std::vector<datetime> &event_dates,\n"
      "                             const ptr_const<discount_curve> &curve,\n"
      "                             const std::vector<datetime> &expiries, const datetime &maturity,\n"
      "                             const tenor &frequency,\n"
      "                             const ptr_const<day_count_convention> &convention)\n"
      "\n"
      "instrument_bermudan_swaption - no description provided.\n"
      "\n"
      "Superclass: instrument\n\n";

  using constructors =
      overloads<copy_constructor<instrument_bermudan_swaption>,
                constructor<"@bdvWvWWW discountCurve datetime tenor dayCountConvention", instrument_bermudan_swaption,
                            bool, double, std::vector<datetime>, ptr_const<discount_curve>, std::vector<datetime>,
                            datetime, tenor, ptr_const<day_count_convention>>>;

  static inline PyMethodDef methods[] = {
      instrument_entry::value(value_override_doc),
      instrument_entry::make_life_cycle_data(
          "make_life_cycle_data(self) -> lifeCycleData\n"
          "C++: ptr_mutable<life_cycle_data> make_life_cycle_data() const override;\n\n"),
      instrument_entry::size(size_override_doc),
      entry::method<"swaptoins", &instrument_bermudan_swaption::swaptoins>(
          "swaptoins(self) -> (instrumentIrSwaption, ...)\n"
          "C++: const std::vector<ptr_const<instrument_ir_swaption> > &swaptoins() const\n\n"),
      entry::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

// The life-cycle state first: the Bermudan swaption makes it.
extern "C" int PyQAVREKAddFile_instrument_bermudan_swaption(PyObject* module_dict) {
  using namespace qavrek::python;
  if (wrapped_class<bermudan_strikes_life_cycle_binding>::AddFile(module_dict) < 0) return -1;
  return wrapped_class<instrument_bermudan_swaption_binding>::AddFile(module_dict);
}
