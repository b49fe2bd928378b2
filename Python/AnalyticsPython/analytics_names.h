#pragma once

#include "Analytics/change_of_measure/change_of_measure.h"
#include "Analytics/change_of_measure/measure.h"
#include "Analytics/change_of_measure/measure_id.h"
#include "Analytics/common/correlation_manager.h"
#include "Analytics/common/random_config.h"
#include "Analytics/diffusion/common/diffusion.h"
#include "Analytics/diffusion/common/id/diffusion_id.h"
#include "Analytics/calibration/ir/hjm/calibration_ir_hjm.h"
#include "Analytics/calibration/ir/hjm/calibration_ir_hjm_swaption.h"
#include "Analytics/diffusion/credit/diffusion_credit.h"
#include "Analytics/diffusion/credit/diffusion_credit_markovian_hjm.h"
#include "Analytics/diffusion/credit/id/diffusion_credit_id.h"
#include "Analytics/diffusion/equity/id/diffusion_equity_id.h"
#include "Analytics/diffusion/fx/id/diffusion_fx_id.h"
#include "Analytics/diffusion/ir/diffusion_ir.h"
#include "Analytics/diffusion/ir/diffusion_ir_markovian_hjm.h"
#include "Analytics/diffusion/ir/id/diffusion_ir_id.h"
#include "Analytics/parameters/parameter_black_karasinski.h"
#include "Analytics/parameters/parameter_cheyette.h"
#include "Analytics/parameters/parameter_extended_cir.h"
#include "Analytics/parameters/parameter_lognormal.h"
#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "Analytics/parameters/parameter_markovian_hjm_type.h"
#include "Analytics/settings/calibration_black_karasinski_settings.h"
#include "Analytics/settings/calibration_cheyette_settings.h"
#include "Analytics/settings/calibration_hjm_settings.h"
#include "Analytics/settings/calibration_ir_targets_configuration.h"
#include "Analytics/simulation/random_manager.h"
#include "Analytics/simulation/simulation_manager.h"
#include "Frame/python_name.h"

namespace qavrek::python {

template <>
inline constexpr const char* python_name<calibration_black_karasinski_settings> = "calibrationBlackKarasinskiSettings";
template <>
inline constexpr const char* python_name<calibration_cheyette_settings> = "calibrationCheyetteSettings";
template <>
inline constexpr const char* python_name<calibration_hjm_settings> = "calibrationHjmSettings";
template <>
inline constexpr const char* python_name<calibration_ir_targets_configuration> = "calibrationIrTargetsConfiguration";

template <>
inline constexpr const char* python_name<change_of_measure> = "changeOfMeasure";
template <>
inline constexpr const char* python_name<measure_id> = "measureId";
template <>
inline constexpr const char* python_name<measure> = "measure";

template <>
inline constexpr const char* python_name<correlation_manager> = "correlationManager";
template <>
inline constexpr const char* python_name<random_config> = "randomConfig";
template <>
inline constexpr const char* python_name<random_manager> = "randomManager";

template <>
inline constexpr const char* python_name<diffusion> = "diffusion";
template <>
inline constexpr const char* python_name<diffusion_id> = "diffusionId";
template <>
inline constexpr const char* python_name<diffusion_credit> = "diffusionCredit";
template <>
inline constexpr const char* python_name<diffusion_ir> = "diffusionIr";
template <>
inline constexpr const char* python_name<diffusion_credit_markovian_hjm> = "diffusionCreditMarkovianHjm";
template <>
inline constexpr const char* python_name<diffusion_ir_markovian_hjm> = "diffusionIrMarkovianHjm";
template <>
inline constexpr const char* python_name<diffusion_credit_id> = "diffusionCreditId";
template <>
inline constexpr const char* python_name<diffusion_equity_id> = "diffusionEquityId";
template <>
inline constexpr const char* python_name<diffusion_fx_id> = "diffusionFxId";
template <>
inline constexpr const char* python_name<diffusion_ir_id> = "diffusionIrId";

template <>
inline constexpr const char* python_name<simulation_manager> = "simulationManager";
// The swaption targets have no Python type: a driver's swaptions() with targets is a ValueError naming it.
template <>
inline constexpr const char* python_name<calibration_ir_hjm_swaption> = "calibrationIrHjmSwaption";
template <>
inline constexpr const char* python_name<calibration_ir_hjm> = "calibrationIrHjm";

template <>
inline constexpr const char* python_name<parameter_black_karasinski> = "parameterBlackKarasinski";
template <>
inline constexpr const char* python_name<parameter_cheyette> = "parameterCheyette";
template <>
inline constexpr const char* python_name<parameter_extended_cir> = "parameterExtendedCir";
template <>
inline constexpr const char* python_name<parameter_lognormal> = "parameterLognormal";
template <>
inline constexpr const char* python_name<parameter_markovian_hjm> = "parameterMarkovianHjm";
template <>
inline constexpr const char* python_name<parameter_markovian_hjm_type> = "parameter_markovian_hjm_type";

}  // namespace qavrek::python
