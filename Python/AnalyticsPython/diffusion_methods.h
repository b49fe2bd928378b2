#pragma once

#include <Python.h>

#include <utility>
#include <vector>

#include "Analytics/diffusion/common/diffusion.h"
#include "Core/pointers.h"
#include "Frame/method_table.h"
#include "Market/market_data.h"
#include "Vectorization/matrix.h"

namespace qavrek::python {

// The market-data view of a diffusion over two state blocks handed over from Python. They are matrices
// of their own (a borrowed one arrives as a copy), so the view owns them and needs no state storage;
// the Python matrices are left empty (0 x 0).
inline ptr_const<market_data> create_market_data(const diffusion& self, const ptr_const<diffusion>& asset,
                                                 matrix<double>&& next, matrix<double>&& current,
                                                 const std::vector<ptr_const<market_data>>& data) {
  return self.create_market_data(asset, std::move(next), std::move(current), data, nullptr);
}

// The documentation of create_market_data on every diffusion family.
inline constexpr const char* create_market_data_doc =
    "create_market_data(self, asset:diffusion, next:matrix_IdE,\n"
    "    current:matrix_IdE, data:(marketData, ...)) -> marketData\n"
    "C++: ptr_const<market_data> create_market_data(\n"
    "    const ptr_const<diffusion> &asset, matrix<double> &&next,\n"
    "    matrix<double> &&current,\n"
    "    const std::vector<ptr_const<market_data> > &data) override;\n\n";

// The operations that every concrete diffusion overrides, reached through its own type.
template <class T>
inline constexpr PyMethodDef number_of_states_method =
    methods_of<T>::template method<"number_of_states", &T::number_of_states>(
        "number_of_states(self) -> int\nC++: size_t number_of_states() override;\n\n");
template <class T>
inline constexpr PyMethodDef number_of_factors_method =
    methods_of<T>::template method<"number_of_factors", &T::number_of_factors>(
        "number_of_factors(self) -> int\nC++: size_t number_of_factors() override;\n\n");
template <class T>
inline constexpr PyMethodDef states_initialize_method =
    methods_of<T>::template method<"states_initialize", &T::states_initialize>(
        "states_initialize(self, states:matrix_IdE) -> None\n"
        "C++: void states_initialize(matrix<double> &states) override;\n\n");

// The method table of a concrete interest-rate diffusion.
template <class Rate>
inline PyMethodDef interest_rate_diffusion_methods[] = {
    methods_of<Rate>::template method<"log_df", &Rate::log_df>(
        "log_df(self, output:vector_IdE, states:matrix_IdE, from_:datetime,\n"
        "     to:datetime) -> None\n"
        "C++: void log_df(vector<double> &output,\n"
        "    const matrix<double> &states, const datetime &from,\n"
        "    const datetime &to) override;\n\n"),
    methods_of<Rate>::template method<"discounting", &Rate::discounting>(
        "discounting(self, output:vector_IdE, states:matrix_IdE,\n"
        "    from_:datetime) -> None\n"
        "C++: void discounting(vector<double> &output,\n"
        "    const matrix<double> &states, const datetime &from) override;\n\n"),
    number_of_states_method<Rate>,
    number_of_factors_method<Rate>,
    states_initialize_method<Rate>,
    methods_of<Rate>::end(),
};

// The method table of a concrete credit diffusion.
template <class Intensity>
inline PyMethodDef credit_diffusion_methods[] = {
    methods_of<Intensity>::template method<"log_conditional_survival_probability",
                                           &Intensity::log_conditional_survival_probability>(
        "log_conditional_survival_probability(self, output:vector_IdE,\n"
        "    states:matrix_IdE, from_:datetime, to:datetime) -> None\n"
        "C++: void log_conditional_survival_probability(\n"
        "    vector<double> &output, const matrix<double> &states,\n"
        "    const datetime &from, const datetime &to) override;\n\n"),
    methods_of<Intensity>::template method<"survival_probability", &Intensity::survival_probability>(
        "survival_probability(self, output:vector_IdE, states:matrix_IdE,\n"
        "    from_:datetime) -> None\n"
        "C++: void survival_probability(vector<double> &output,\n"
        "    const matrix<double> &states, const datetime &from) override;\n\n"),
    number_of_states_method<Intensity>,
    number_of_factors_method<Intensity>,
    states_initialize_method<Intensity>,
    methods_of<Intensity>::end(),
};

// The method table of a lognormal spot diffusion (equity or FX).
template <class Spot>
inline PyMethodDef spot_diffusion_methods[] = {
    states_initialize_method<Spot>,
    number_of_states_method<Spot>,
    number_of_factors_method<Spot>,
    methods_of<Spot>::end(),
};

}  // namespace qavrek::python
