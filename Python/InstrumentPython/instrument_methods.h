#pragma once

#include <Python.h>

#include <utility>

#include "Frame/method_table.h"
#include "Frame/wrapped_object.h"
#include "InstrumentPython/instrument_names.h"
#include "MarketPython/market_names.h"
#include "UtilPython/util_names.h"
#include "Runtime/py_reference.h"
#include "VectorizationPython/vectorization_names.h"

namespace qavrek::python {

// The method-table entries of the virtual operations of `instrument`, which every wrapped instrument
// lists with its own documentation.
template <class T>
struct instrument_methods {
  static constexpr PyMethodDef value(const char* doc) {
    return methods_of<T>::template method<"value", &instrument::value>(doc);
  }
  static constexpr PyMethodDef size(const char* doc) {
    return methods_of<T>::template method<"size", &instrument::size>(doc);
  }
  static constexpr PyMethodDef make_life_cycle_data(const char* doc) {
    return methods_of<T>::template method<"make_life_cycle_data", &life_cycle_data_of>(doc);
  }

 private:
  // A new lifeCycleData holding the instrument's fresh state; None for an instrument that keeps none.
  static py_reference life_cycle_data_of(const instrument& wrapped) {
    ptr_mutable<life_cycle_data> life = wrapped.make_life_cycle_data();
    if (life == nullptr) return py_reference::borrow(Py_None);
    return py_reference::steal(build_owning<life_cycle_data>(std::move(life)));
  }
};

// Documentation of the overriding operations, which read alike in every instrument.
inline constexpr const char* value_override_doc =
    "value(self, expiry:datetime, mkt_data:(marketData, ...),\n"
    "    output:tensor_IdE) -> None\n"
    "C++: void value(const datetime &expiry, const std::vector<ptr_const<market_data> > &mkt_data,\n"
    "                tensor<double> &output) const override;\n\n";
inline constexpr const char* size_override_doc = "size(self) -> int\nC++: size_t size() const override;\n\n";

// The method table of the bonds, which read alike: maturity, convention, value and size.
template <class Bond>
inline PyMethodDef bond_methods[] = {
    methods_of<Bond>::template method<"maturity", &Bond::maturity>(
        "maturity(self) -> datetime\nC++: const datetime &maturity() const\n\n"),
    methods_of<Bond>::template method<"convention", &Bond::convention>(
        "convention(self) -> dayCountConvention\n"
        "C++: const ptr_const<day_count_convention> &convention() const\n\n"),
    instrument_methods<Bond>::value(value_override_doc),
    instrument_methods<Bond>::size(size_override_doc),
    methods_of<Bond>::end(),
};

}  // namespace qavrek::python
