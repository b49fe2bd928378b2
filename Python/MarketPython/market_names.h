#pragma once

#include "Frame/python_name.h"
#include "Market/config_data.h"
#include "Market/config_data_id.h"
#include "Market/currency.h"
#include "Market/default_id.h"
#include "Market/discount_curve.h"
#include "Market/discount_definition.h"
#include "Market/discount_id.h"
#include "Market/equity_spot.h"
#include "Market/fx_spot.h"
#include "Market/ir_volatility_surface.h"
#include "Market/life_cycle_data.h"
#include "Market/market_data.h"
#include "Market/market_data_id.h"
#include "Market/survival_curve.h"

namespace qavrek::python {

// The abstract bases are found by these names by the wrapped classes of other modules.
template <>
inline constexpr const char* python_name<config_data> = "configData";
template <>
inline constexpr const char* python_name<config_data_id> = "configDataId";
template <>
inline constexpr const char* python_name<market_data> = "marketData";
template <>
inline constexpr const char* python_name<market_data_id> = "marketDataId";
template <>
inline constexpr const char* python_name<life_cycle_data> = "lifeCycleData";

template <>
inline constexpr const char* python_name<currency> = "currency";
template <>
inline constexpr const char* python_name<discount_definition> = "discountDefinition";
template <>
inline constexpr const char* python_name<discount_id> = "discountId";
template <>
inline constexpr const char* python_name<default_id> = "defaultId";

template <>
inline constexpr const char* python_name<discount_curve> = "discountCurve";
template <>
inline constexpr const char* python_name<survival_curve> = "survivalCurve";
template <>
inline constexpr const char* python_name<equity_spot> = "equitySpot";
template <>
inline constexpr const char* python_name<fx_spot> = "fxSpot";
template <>
inline constexpr const char* python_name<ir_volatility_surface> = "irVolatilitySurface";

}  // namespace qavrek::python
