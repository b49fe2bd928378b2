#pragma once

#include "Frame/python_name.h"
#include "Instrument/Stub.h"
#include "Instrument/instrument.h"
#include "Instrument/instrument_bermudan_swaption.h"
#include "Instrument/instrument_credit_bond.h"
#include "Instrument/instrument_ir_bond.h"
#include "Instrument/instrument_ir_spread_option.h"
#include "Instrument/instrument_ir_swaption.h"
#include "Instrument/interest_rate_spread.h"
#include "Instrument/interest_rate_swap.h"
#include "Instrument/market_convention_data.h"
#include "Instrument/stub_placement.h"

namespace qavrek::python {

// The base of the wrapped instruments, which other modules find by this name.
template <>
inline constexpr const char* python_name<instrument> = "instrument";

template <>
inline constexpr const char* python_name<Stub> = "Stub";
// The nested enumeration is registered under its qualified name; the module attribute "stub_type" is the
// namespace enumeration of stub placements.
template <>
inline constexpr const char* python_name<Stub::stub_type> = "Stub.stub_type";
template <>
inline constexpr const char* python_name<stub_placement> = "stubPlacement";
template <>
inline constexpr const char* python_name<stub_placement_type> = "stub_placement_type";
template <>
inline constexpr const char* python_name<stub_type> = "stub_type";
template <>
inline constexpr const char* python_name<market_convention_data> = "marketConventionData";

template <>
inline constexpr const char* python_name<instrument_credit_bond> = "instrumentCreditBond";
template <>
inline constexpr const char* python_name<instrument_ir_bond> = "instrumentIrBond";
template <>
inline constexpr const char* python_name<instrument_ir_swaption> = "instrumentIrSwaption";
template <>
inline constexpr const char* python_name<instrument_ir_spread_option> = "instrumentIrSpreadOption";
template <>
inline constexpr const char* python_name<instrument_bermudan_swaption> = "instrumentBermudanSwaption";
template <>
inline constexpr const char* python_name<bermudan_strikes_life_cycle> = "bermudanStrikesLifeCycle";
template <>
inline constexpr const char* python_name<interest_rate_swap> = "interestRateSwap";
template <>
inline constexpr const char* python_name<interest_rate_spread> = "interestRateSpread";

}  // namespace qavrek::python
