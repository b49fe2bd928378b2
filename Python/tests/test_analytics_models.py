"""The Analytics module's model types: the Black-Karasinski, Cheyette and extended CIR diffusions, the
equity and FX lognormal diffusions, the Cheyette and credit Black-Karasinski calibration drivers, the
lognormal equity and FX models with Markovian HJM rates, and the PDE manager, which Python holds only as
a copy of one that a native caller built (the analytics probe module plays that caller, runs the credit
level calibration, which Python only builds, and prices the Cheyette calibration's targets, which have no
Python type).

Numbers are checked against closed forms (the lognormal volatilities when the rates do not move, a
zero-coupon bond rolled back on the PDE grid, worth the market's discount factor at the grid's centre) and,
in the workflows, against the market within Monte Carlo standard errors: simulated variances of log spots,
discounted FX rates, discount factors and survival probabilities; a Cheyette set planted in volatilities is
found again by the calibration.
"""
import gc
import json
import math
import os
import threading
import time

import numpy as np
import pytest

import analyticsProbe
import runtimeProbe
from qavrekmodules import Analytics, Market, Random, Util, Vectorization
import test_analytics_simulation as hjm_setup
from test_analytics_configs import DATES as SET_DATES
from test_analytics_configs import (TABLE_KEYS, Sequence, black_karasinski, cheyette, extended_cir, lognormal,
                                    write_root)

HJM_TYPE = Analytics.parameter_markovian_hjm_type
VALUATION = Util.datetime(2024, 1, 2)


def years(count):
    return Util.datetime(2024 + count, 1, 2)


def act_365f():
    return Util.dayCountConvention(Util.day_count_convention_type.ACT_365F, Util.calendar())


def hull_white(decay, volatilities, volatility_dates):
    """A one-factor HJM set: one decay, piecewise volatilities."""
    return Analytics.parameterMarkovianHjm(np.array([[decay]]), np.array([[v] for v in volatilities]),
                                           np.array([[1.0]]), volatility_dates[-1:], volatility_dates, act_365f(),
                                           HJM_TYPE.HULL_WHITE)


def targets(tmp_path, expiries, strikes, caplets=True, coterminals=True):
    envelope = {"Class": "qavrek::calibration_ir_targets_configuration", "frequency": "1Y", "expiries": expiries,
                "coterminal": "5Y", "cms_tenors": [], "strikes": strikes, "include_caplets": caplets,
                "include_coterminal": coterminals, "include_cms": False}
    return Analytics.calibrationIrTargetsConfiguration.read_from_json(write_root(tmp_path / "targets.json", envelope))


def cheyette_targets(tmp_path, caplets=True, coterminals=True):
    # Caplets at three strikes (a skew each), at-the-money coterminals to 5Y.
    return targets(tmp_path, ["1Y", "2Y", "3Y", "4Y"], [[0.75, 1.0, 1.3]] * 4 + [[1.0]] * 4, caplets, coterminals)


def cheyette_driver(tmp_path, caplets=True, coterminals=True):
    return Analytics.calibrationIrCheyette(VALUATION, Market.discountCurve(VALUATION, 0.03),
                                           cheyette_targets(tmp_path, caplets, coterminals), act_365f())


def smile_surface():
    """Black volatilities falling with the strike, as a local-volatility skew gives them, on every expiry
    and tenor: 30% at the money of a 3% curve."""
    axis = ["1Y", "2Y", "3Y", "4Y", "5Y"]
    strikes = [0.01, 0.02, 0.03, 0.04, 0.05]
    smile = [0.30 * (k / 0.03) ** -0.4 for k in strikes]
    nodes = np.tile(smile, (len(axis), len(axis), 1))
    return Market.irVolatilitySurface(VALUATION, axis, axis, strikes, Vectorization.tensor_IdE(nodes))


def cheyette_settings():
    return Analytics.calibrationCheyetteSettings((1e-4, 0.05), [-0.2, 0.5], np.array([-40.0, 40.0]),
                                                 HJM_TYPE.HULL_WHITE)


def credit_driver(correlation=((0.0,),)):
    curve = Market.survivalCurve(VALUATION, [years(1), years(2)], [0.99, 0.97])
    return Analytics.calibrationCreditBlackKarasinski(VALUATION, curve, Analytics.calibrationBlackKarasinskiSettings(
        "3M", 0.0), hull_white(0.05, [0.01], [years(2)]), np.array(correlation))


def equity_model(rate_volatility=0.01, asset_rate_correlation=0.3):
    correlation = np.array([[1.0, asset_rate_correlation], [asset_rate_correlation, 1.0]])
    return Analytics.lognormalEquityWithMhjmIr(VALUATION, correlation,
                                               hull_white(0.05, [rate_volatility], [years(1)]))


def fx_model(rate_volatility=0.01):
    rates = hull_white(0.05, [rate_volatility], [years(1)])
    return Analytics.lognormalFxWithMhjmIr(VALUATION, np.eye(3), rates, rates)


# Diffusions on the configuration tests' three dates, over flat curves, with their parameter sets.
START = SET_DATES[0]


def flat_curve(rate=0.03):
    return Market.discountCurve(START, rate)


def flat_survival(hazard=0.01):
    return Market.survivalCurve(START, hazard)


DIFFUSIONS = {
    "diffusionIrBlackKarasinski": lambda dates: Analytics.diffusionIrBlackKarasinski(dates, flat_curve(),
                                                                                     black_karasinski()),
    "diffusionIrCheyette": lambda dates: Analytics.diffusionIrCheyette(dates, flat_curve(), cheyette()),
    "diffusionIrExtendedCir": lambda dates: Analytics.diffusionIrExtendedCir(dates, flat_curve(), extended_cir()),
    "diffusionCreditBlackKarasinski": lambda dates: Analytics.diffusionCreditBlackKarasinski(
        dates, flat_survival(), black_karasinski()),
    "diffusionCreditExtendedCir": lambda dates: Analytics.diffusionCreditExtendedCir(dates, flat_survival(),
                                                                                     extended_cir()),
    "diffusionEquityLognormal": lambda dates: Analytics.diffusionEquityLognormal(dates, 100.0, flat_curve(),
                                                                                 lognormal()),
    "diffusionFxLognormal": lambda dates: Analytics.diffusionFxLognormal(
        dates, Market.fxSpot(START, 1.1), flat_curve(), flat_curve(0.01), lognormal()),
}


# A one-factor HJM set whose coefficients the probe's PDE manager uses; the bond matures in five years.
PDE_RATE = 0.03
PDE_MATURITY = Util.datetime(2029, 1, 2)


def pde_rates():
    return Analytics.parameterMarkovianHjm(
        np.array([[0.08], [0.03]]), np.array([[0.012], [0.009], [0.011]]), np.array([[1.0]]),
        [VALUATION.serial() + 900, VALUATION.serial() + 3650],
        [VALUATION.serial() + 200, VALUATION.serial() + 1200, VALUATION.serial() + 3650], act_365f(),
        HJM_TYPE.HULL_WHITE)


@pytest.fixture
def pde_pricing():
    return analyticsProbe.probePdePricing(VALUATION, PDE_MATURITY, pde_rates(), PDE_RATE)


def market_discount():
    return math.exp(-PDE_RATE * (PDE_MATURITY.serial() - VALUATION.serial()) / 365.0)


# ---------------------------------------------------------------------------------------------------------
# Names, bases, documentation

TYPES = {
    "calibrationIrCheyette": object,
    "calibrationCreditBlackKarasinski": object,
    "lognormalModelWithMhjmIr": object,
    "lognormalEquityWithMhjmIr": Analytics.lognormalModelWithMhjmIr,
    "lognormalFxWithMhjmIr": Analytics.lognormalModelWithMhjmIr,
    "pdeManager": object,
    "diffusionCreditBlackKarasinski": Analytics.diffusionCredit,
    "diffusionCreditExtendedCir": Analytics.diffusionCredit,
    "diffusionEquity": Analytics.diffusion,
    "diffusionEquityLognormal": Analytics.diffusionEquity,
    "diffusionFx": Analytics.diffusion,
    "diffusionFxLognormal": Analytics.diffusionFx,
    "diffusionIrBlackKarasinski": Analytics.diffusionIr,
    "diffusionIrCheyette": Analytics.diffusionIr,
    "diffusionIrExtendedCir": Analytics.diffusionIr,
}


def test_the_module_holds_every_type_and_the_enumeration_in_registration_order():
    assert [key for key in vars(Analytics) if not key.startswith("__")] == TABLE_KEYS
    assert len(TABLE_KEYS) == 43


@pytest.mark.parametrize("name, base", TYPES.items())
def test_type_names_and_bases(name, base):
    python_type = getattr(Analytics, name)
    assert f"{python_type.__module__}.{python_type.__qualname__}" == "qavrekmodules.Analytics." + name
    assert python_type.__base__ is base
    with pytest.raises(TypeError):
        type("Derived", (python_type,), {})


# The types' own methods, in table order (the derived lognormal models find calibrate on their base).
METHODS = {
    "calibrationIrCheyette": ["calibrate", "swaptions"],
    "calibrationCreditBlackKarasinski": [],
    "lognormalModelWithMhjmIr": ["calibrate"],
    "lognormalEquityWithMhjmIr": [],
    "lognormalFxWithMhjmIr": [],
    "pdeManager": ["run", "pv", "dimensions", "dates", "size"],
    "diffusionEquity": ["states_initialize", "domestic_curve", "create_market_data"],
    "diffusionFx": ["states_initialize", "domestic_curve", "foreign_curve", "create_market_data"],
    **{name: ["log_df", "discounting", "number_of_states", "number_of_factors", "states_initialize"]
       for name in ("diffusionIrBlackKarasinski", "diffusionIrCheyette", "diffusionIrExtendedCir")},
    **{name: ["log_conditional_survival_probability", "survival_probability", "number_of_states",
              "number_of_factors", "states_initialize"]
       for name in ("diffusionCreditBlackKarasinski", "diffusionCreditExtendedCir")},
    **{name: ["states_initialize", "number_of_states", "number_of_factors"]
       for name in ("diffusionEquityLognormal", "diffusionFxLognormal")},
}


@pytest.mark.parametrize("name, methods", METHODS.items())
def test_each_type_has_its_methods(name, methods):
    assert [key for key in vars(getattr(Analytics, name)) if not key.startswith("__")] == methods


TYPE_DOCS = [
    (Analytics.calibrationIrCheyette,
     "calibration_ir_cheyette(valuation_date:datetime, curve:discountCurve,\ntargets_config:"
     "calibrationIrTargetsConfiguration,\n    convention:dayCountConvention) -> calibration_ir_cheyette\n"
     "C++: calibration_ir_cheyette(const datetime &valuation_date,\n    const ptr_const<discount_curve> &curve,\n"
     "    const ptr_const<calibration_ir_targets_configuration> &targets_config,\n     const "
     "ptr_const<day_count_convention> &convention)\n\ncalibration_ir_cheyette - no description provided.\n\n"),
    (Analytics.calibrationCreditBlackKarasinski,
     "calibration_credit_black_karasinski(valuation_date:datetime,\n    curve:survivalCurve,\n"
     "    calibration_settings:calibrationBlackKarasinskiSettings,\n    ir_parameters:parameterMarkovianHjm,\n"
     "    correlation_credit_ir:matrix_IdE)\n    -> calibration_credit_black_karasinski\n"
     "C++: calibration_credit_black_karasinski(\n    const datetime &valuation_date,\n"
     "    const ptr_const<survival_curve> &curve,\n"
     "    const ptr_const<calibration_black_karasinski_settings> &calibration_settings,\n"
     "     const ptr_const<parameter_markovian_hjm> &ir_parameters,\n    const matrix<double> "
     "&correlation_credit_ir)\n\ncalibration_credit_black_karasinski - no description provided.\n\n"),
    (Analytics.lognormalModelWithMhjmIr,
     "lognormal_model_with_mhjm_ir(__a:lognormalModelWithMhjmIr)\n    -> lognormal_model_with_mhjm_ir\n"
     "C++: lognormal_model_with_mhjm_ir(const &lognormal_model_with_mhjm_ir)\n\n"
     "lognormal_model_with_mhjm_ir - no description provided.\n\n"),
    (Analytics.lognormalEquityWithMhjmIr,
     "lognormal_equity_with_mhjm_ir(valution_date:datetime,\n    correlation_matrix:matrix_IdE, parameter_ir:"
     "parameterMarkovianHjm)\n     -> lognormal_equity_with_mhjm_ir\nC++: lognormal_equity_with_mhjm_ir(const "
     "datetime &valution_date,\n    const matrix<double> &correlation_matrix,\n    const "
     "ptr_const<parameter_markovian_hjm> &parameter_ir)\nlognormal_equity_with_mhjm_ir(__a:"
     "lognormalEquityWithMhjmIr)\n    -> lognormal_equity_with_mhjm_ir\nC++: lognormal_equity_with_mhjm_ir(\n"
     "    const &lognormal_equity_with_mhjm_ir)\n\nlognormal_equity_with_mhjm_ir - no description provided.\n\n"
     "Superclass: lognormal_model_with_mhjm_ir\n\n"),
    (Analytics.lognormalFxWithMhjmIr,
     "lognormal_fx_with_mhjm_ir(valution_date:datetime,\n    correlation_matrix:matrix_IdE,\n"
     "    parameter_ir_domestic:parameterMarkovianHjm,\n    parameter_ir_foreign:parameterMarkovianHjm)\n"
     "    -> lognormal_fx_with_mhjm_ir\nC++: lognormal_fx_with_mhjm_ir(const datetime &valution_date,\n"
     "    const matrix<double> &correlation_matrix,\n    const ptr_const<parameter_markovian_hjm> "
     "&parameter_ir_domestic,\n    const ptr_const<parameter_markovian_hjm> &parameter_ir_foreign)\n"
     "lognormal_fx_with_mhjm_ir(__a:lognormalFxWithMhjmIr)\n    -> lognormal_fx_with_mhjm_ir\n"
     "C++: lognormal_fx_with_mhjm_ir(const &lognormal_fx_with_mhjm_ir)\n\n"
     "lognormal_fx_with_mhjm_ir - no description provided.\n\nSuperclass: lognormal_model_with_mhjm_ir\n\n"),
    (Analytics.pdeManager,
     "pde_manager(__a:pdeManager) -> pde_manager\nC++: pde_manager(const &pde_manager)\n\n"
     "pde_manager - no description provided.\n\n"),
    (Analytics.diffusionIrBlackKarasinski,
     "diffusion_ir_black_karasinski(dates:(datetime, ...),\n    curve:discountCurve, params:parameterBlackKarasinski)"
     "\n    -> diffusion_ir_black_karasinski\nC++: diffusion_ir_black_karasinski(const std::vector<datetime> "
     "&dates,\n     const ptr_const<discount_curve> &curve,\n    const ptr_const<parameter_black_karasinski> "
     "&params)\n\ndiffusion_ir_black_karasinski - no description provided.\n\nSuperclass: diffusion_ir\n\n"),
    (Analytics.diffusionIrCheyette,
     "diffusion_ir_cheyette(dates:(datetime, ...), curve:discountCurve,\n    params:parameterCheyette) -> "
     "diffusion_ir_cheyette\nC++: diffusion_ir_cheyette(const std::vector<datetime> &dates,\n    const "
     "ptr_const<discount_curve> &curve,\n    const ptr_const<parameter_cheyette> &params)\n\n"
     "diffusion_ir_cheyette - no description provided.\n\nSuperclass: diffusion_ir\n\n"),
    (Analytics.diffusionIrExtendedCir,
     "diffusion_ir_extended_cir(dates:(datetime, ...), curve:discountCurve,\nparams:parameterExtendedCir) -> "
     "diffusion_ir_extended_cir\nC++: diffusion_ir_extended_cir(const std::vector<datetime> &dates,\n    const "
     "ptr_const<discount_curve> &curve,\n    const ptr_const<parameter_extended_cir> &params)\n\n"
     "diffusion_ir_extended_cir - no description provided.\n\nSuperclass: diffusion_ir\n\n"),
    (Analytics.diffusionCreditBlackKarasinski,
     "diffusion_credit_black_karasinski(dates:(datetime, ...),\n    curve:survivalCurve, params:"
     "parameterBlackKarasinski)\n    -> diffusion_credit_black_karasinski\nC++: diffusion_credit_black_karasinski("
     "\n    const std::vector<datetime> &dates,\n    const ptr_const<survival_curve> &curve,\n    const "
     "ptr_const<parameter_black_karasinski> &params)\n\ndiffusion_credit_black_karasinski - no description "
     "provided.\n\nSuperclass: diffusion_credit\n\n"),
    (Analytics.diffusionCreditExtendedCir,
     "diffusion_credit_extended_cir(dates:(datetime, ...),\n    curve:survivalCurve, params:parameterExtendedCir)\n"
     "    -> diffusion_credit_extended_cir\nC++: diffusion_credit_extended_cir(const std::vector<datetime> &dates,"
     "\n     const ptr_const<survival_curve> &curve,\n    const ptr_const<parameter_extended_cir> &params)\n\n"
     "diffusion_credit_extended_cir - no description provided.\n\nSuperclass: diffusion_credit\n\n"),
    (Analytics.diffusionEquity, "diffusion_equity - no description provided.\n\nSuperclass: diffusion\n\n"),
    (Analytics.diffusionEquityLognormal,
     "diffusion_equity_lognormal(dates:(datetime, ...), spot:float,\n    domestic_diffusion_ir:discountCurve, "
     "params:parameterLognormal)\n    -> diffusion_equity_lognormal\nC++: diffusion_equity_lognormal(const "
     "std::vector<datetime> &dates,\n    double spot,\n    const ptr_const<discount_curve> "
     "&domestic_diffusion_ir,\n    const ptr_const<parameter_lognormal> &params)\n\n"
     "diffusion_equity_lognormal - no description provided.\n\nSuperclass: diffusion_equity\n\n"),
    (Analytics.diffusionFx, "diffusion_fx - no description provided.\n\nSuperclass: diffusion\n\n"),
    (Analytics.diffusionFxLognormal,
     "diffusion_fx_lognormal(dates:(datetime, ...), spot:fxSpot,\n    domestic_curve:discountCurve, "
     "foreign_curve:discountCurve,\n    params:parameterLognormal) -> diffusion_fx_lognormal\nC++: "
     "diffusion_fx_lognormal(const std::vector<datetime> &dates,\n    const ptr_const<fx_spot> &spot,\n    "
     "const ptr_const<discount_curve> &domestic_curve,\n    const ptr_const<discount_curve> &foreign_curve,\n"
     "    const ptr_const<parameter_lognormal> &params)\n\ndiffusion_fx_lognormal - no description provided.\n\n"
     "Superclass: diffusion_fx\n\n"),
]


@pytest.mark.parametrize("python_type, doc", TYPE_DOCS)
def test_type_documentation(python_type, doc):
    assert python_type.__doc__ == doc


METHOD_DOCS = [
    (Analytics.calibrationIrCheyette, {
        "calibrate": "calibrate(self, volatility_surface:irVolatilitySurface,\n    settings:"
                     "calibrationCheyetteSettings,\n    parameter_hjm:parameterMarkovianHjm) -> parameterCheyette\n"
                     "C++: ptr_const<parameter_cheyette> calibrate(\n    const ptr_const<ir_volatility_surface> "
                     "&volatility_surface,\n    const ptr_const<calibration_cheyette_settings> &settings,\n"
                     "    const ptr_const<parameter_markovian_hjm> &parameter_hjm)\n\nRuns on a private copy of "
                     "parameter_hjm; the caller's set, and every\nobject built on it, receives the calibrated values "
                     "when the call\nends (stopped by Ctrl-C, those of its last step): another thread\nreads the "
                     "set's values from before the call or from after it.\n\n",
        "swaptions": "swaptions(self) -> (calibrationIrCheyetteSwaption, ...)\nC++: const "
                     "std::vector<ptr_const<calibration_ir_cheyette_swaption> > &swaptions(\n    )\n\n",
    }),
    (Analytics.lognormalModelWithMhjmIr, {
        "calibrate": "calibrate(self, calibration_dates:(datetime, ...),\n    market_variance:(float, ...),\n"
                     "    day_convention:dayCountConvention) -> parameterLognormal\nC++: "
                     "ptr_const<parameter_lognormal> calibrate(\n    const std::vector<datetime> &calibration_dates,\n"
                     "    const std::vector<double> &market_variance,\n    const ptr_const<day_count_convention> "
                     "&day_convention)\n\n",
    }),
    (Analytics.pdeManager, {
        "run": "run(self, pricers:(instrument, ...), adjustements:(float, ...)\n    =..., data:(lifeCycleData, "
               "...)=...) -> None\nC++: void run(const std::vector<ptr_const<instrument> > &pricers,\nconst "
               "std::vector<double> &adjustements={ },\n    const std::vector<ptr_mutable<life_cycle_data> > "
               "&data={ })\n\nWrites private copies of the data entries; the entries, and every\nobject that "
               "shares them, receive the copies' values when the run\nends (stopped by Ctrl-C, as the steps done left "
               "them): another\nthread reads an entry as it was before the run or after it.\n\n",
        "pv": "pv(self, pvs:[float, ...]) -> None\nC++: void pv(double *pvs)\n\n",
        "dimensions": "dimensions(self) -> (int, ...)\nC++: const std::vector<size_t> &dimensions()\n\n",
        "dates": "dates(self) -> (datetime, ...)\nC++: const std::vector<datetime> &dates()\n\n",
        "size": "size(self) -> int\nC++: size_t size()\n\n",
    }),
]


# What every concrete diffusion says of its overrides.
OVERRIDE_DOCS = {
    "log_df": "log_df(self, output:vector_IdE, states:matrix_IdE, from_:datetime,\n     to:datetime) -> None\n"
              "C++: void log_df(vector<double> &output,\n    const matrix<double> &states, const datetime &from,\n"
              "    const datetime &to) override;\n\n",
    "discounting": "discounting(self, output:vector_IdE, states:matrix_IdE,\n    from_:datetime) -> None\n"
                   "C++: void discounting(vector<double> &output,\n    const matrix<double> &states, const "
                   "datetime &from) override;\n\n",
    "log_conditional_survival_probability":
        "log_conditional_survival_probability(self, output:vector_IdE,\n    states:matrix_IdE, from_:datetime, "
        "to:datetime) -> None\nC++: void log_conditional_survival_probability(\n    vector<double> &output, "
        "const matrix<double> &states,\n    const datetime &from, const datetime &to) override;\n\n",
    "survival_probability": "survival_probability(self, output:vector_IdE, states:matrix_IdE,\n    from_:datetime) "
                            "-> None\nC++: void survival_probability(vector<double> &output,\n    const "
                            "matrix<double> &states, const datetime &from) override;\n\n",
    "number_of_states": "number_of_states(self) -> int\nC++: size_t number_of_states() override;\n\n",
    "number_of_factors": "number_of_factors(self) -> int\nC++: size_t number_of_factors() override;\n\n",
    "states_initialize": "states_initialize(self, states:matrix_IdE) -> None\nC++: void states_initialize("
                         "matrix<double> &states) override;\n\n",
}
CREATE_MARKET_DATA_DOC = (
    "create_market_data(self, asset:diffusion, next:matrix_IdE,\n    current:matrix_IdE, data:(marketData, ...)) "
    "-> marketData\nC++: ptr_const<market_data> create_market_data(\n    const ptr_const<diffusion> &asset, "
    "matrix<double> &&next,\n    matrix<double> &&current,\n    const std::vector<ptr_const<market_data> > "
    "&data) override;\n\n")
METHOD_DOCS += [(getattr(Analytics, name), {method: OVERRIDE_DOCS[method] for method in METHODS[name]})
                for name in DIFFUSIONS]
METHOD_DOCS += [
    (Analytics.diffusionEquity, {
        "states_initialize": "states_initialize(self, states:matrix_IdE) -> None\nC++: void states_initialize("
                             "matrix<double> &states) override = 0;\n\n",
        "domestic_curve": "domestic_curve(self) -> discountCurve\nC++: const ptr_const<discount_curve> "
                          "&domestic_curve()\n\n",
        "create_market_data": CREATE_MARKET_DATA_DOC,
    }),
    (Analytics.diffusionFx, {
        "states_initialize": "states_initialize(self, states:matrix_IdE) -> None\nC++: void states_initialize("
                             "matrix<double> &states) override = 0;\n\n",
        "domestic_curve": "domestic_curve(self) -> discountCurve\nC++: const ptr_const<discount_curve> "
                          "&domestic_curve()\n\n",
        "foreign_curve": "foreign_curve(self) -> discountCurve\nC++: const ptr_const<discount_curve> "
                         "&foreign_curve()\n\n",
        "create_market_data": CREATE_MARKET_DATA_DOC,
    }),
]


@pytest.mark.parametrize("python_type, docs", METHOD_DOCS)
def test_method_documentation(python_type, docs):
    assert {name: getattr(python_type, name).__doc__ for name in docs} == docs


# One object of each type, for what every object shares.
OBJECTS = {
    "calibrationIrCheyette": lambda tmp, pde: cheyette_driver(tmp),
    "calibrationCreditBlackKarasinski": lambda tmp, pde: credit_driver(),
    "lognormalModelWithMhjmIr": lambda tmp, pde: Analytics.lognormalModelWithMhjmIr(equity_model()),
    "lognormalEquityWithMhjmIr": lambda tmp, pde: equity_model(),
    "lognormalFxWithMhjmIr": lambda tmp, pde: fx_model(),
    "pdeManager": lambda tmp, pde: Analytics.pdeManager(pde.manager()),
    **{name: (lambda make: lambda tmp, pde: make(SET_DATES))(make) for name, make in DIFFUSIONS.items()},
}


@pytest.mark.parametrize("name", OBJECTS)
def test_objects_are_unhashable_and_have_the_default_string_form(tmp_path, pde_pricing, name):
    made = OBJECTS[name](tmp_path, pde_pricing)
    assert type(made) is getattr(Analytics, name)
    with pytest.raises(TypeError, match="unhashable"):
        hash(made)
    assert str(made) == repr(made)


# ---------------------------------------------------------------------------------------------------------
# Construction errors

ERRORS = [
    (lambda t: Analytics.calibrationIrCheyette(VALUATION, Market.discountCurve(VALUATION, 0.03), act_365f()),
     "calibration_ir_cheyette() takes exactly 4 arguments (3 given)"),
    (lambda t: Analytics.calibrationIrCheyette(VALUATION, Market.survivalCurve(VALUATION, 0.01),
                                               targets(t, ["1Y"], [[1.0]]), act_365f()),
     "calibration_ir_cheyette() argument 2: method requires a discountCurve, a survivalCurve was provided."),
    (lambda t: Analytics.calibrationCreditBlackKarasinski(VALUATION, Market.survivalCurve(VALUATION, 0.01),
                                                          Analytics.calibrationBlackKarasinskiSettings("3M", 0.0),
                                                          hull_white(0.05, [0.01], [years(1)])),
     "calibration_credit_black_karasinski() takes exactly 5 arguments (4 given)"),
    (lambda t: Analytics.calibrationCreditBlackKarasinski(VALUATION, Market.discountCurve(VALUATION, 0.03),
                                                          Analytics.calibrationBlackKarasinskiSettings("3M", 0.0),
                                                          hull_white(0.05, [0.01], [years(1)]), np.eye(1)),
     "calibration_credit_black_karasinski() argument 2: method requires a survivalCurve, a discountCurve was "
     "provided."),
    (lambda t: Analytics.calibrationCreditBlackKarasinski(VALUATION, Market.survivalCurve(VALUATION, 0.01),
                                                          Analytics.calibrationBlackKarasinskiSettings("3M", 0.0),
                                                          hull_white(0.05, [0.01], [years(1)]), np.eye(1), 0),
     "calibration_credit_black_karasinski() takes exactly 5 arguments (6 given)"),
    # The base model is built only as a copy, not from the derived models' market inputs.
    (lambda t: Analytics.lognormalModelWithMhjmIr(),
     "lognormal_model_with_mhjm_ir() takes exactly 1 argument (0 given)"),
    (lambda t: Analytics.lognormalModelWithMhjmIr(VALUATION, np.eye(2), hull_white(0.05, [0.01], [years(1)])),
     "lognormal_model_with_mhjm_ir() takes exactly 1 argument (3 given)"),
    (lambda t: Analytics.lognormalModelWithMhjmIr(hull_white(0.05, [0.01], [years(1)])),
     "lognormal_model_with_mhjm_ir() argument 1: method requires a lognormalModelWithMhjmIr, a "
     "parameterMarkovianHjm was provided."),
    (lambda t: Analytics.lognormalEquityWithMhjmIr(VALUATION, np.eye(2)),
     "lognormal_equity_with_mhjm_ir() has no overload that takes 2 arguments"),
    (lambda t: Analytics.lognormalEquityWithMhjmIr(VALUATION, np.eye(2), act_365f()),
     "lognormal_equity_with_mhjm_ir() argument 3: method requires a parameterMarkovianHjm, a dayCountConvention "
     "was provided."),
    # One argument is always the copy.
    (lambda t: Analytics.lognormalFxWithMhjmIr(equity_model()),
     "lognormal_fx_with_mhjm_ir() argument 1: method requires a lognormalFxWithMhjmIr, a lognormalEquityWithMhjmIr "
     "was provided."),
    (lambda t: Analytics.lognormalFxWithMhjmIr(VALUATION, np.eye(3), hull_white(0.05, [0.01], [years(1)])),
     "lognormal_fx_with_mhjm_ir() has no overload that takes 3 arguments"),
    (lambda t: Analytics.diffusionIrCheyette(SET_DATES, flat_curve()),
     "diffusion_ir_cheyette() takes exactly 3 arguments (2 given)"),
    (lambda t: Analytics.diffusionIrBlackKarasinski(SET_DATES, flat_curve(), black_karasinski(), 1),
     "diffusion_ir_black_karasinski() takes exactly 3 arguments (4 given)"),
    (lambda t: Analytics.diffusionIrExtendedCir(SET_DATES, flat_curve(), cheyette()),
     "diffusion_ir_extended_cir() argument 3: method requires a parameterExtendedCir, a parameterCheyette was "
     "provided."),
    (lambda t: Analytics.diffusionCreditBlackKarasinski(SET_DATES, flat_survival(), extended_cir()),
     "diffusion_credit_black_karasinski() argument 3: method requires a parameterBlackKarasinski, a "
     "parameterExtendedCir was provided."),
    (lambda t: Analytics.diffusionCreditExtendedCir(SET_DATES, flat_curve(), extended_cir()),
     "diffusion_credit_extended_cir() argument 2: method requires a survivalCurve, a discountCurve was provided."),
    (lambda t: Analytics.diffusionEquityLognormal(SET_DATES, 100.0, flat_curve()),
     "diffusion_equity_lognormal() takes exactly 4 arguments (3 given)"),
    (lambda t: Analytics.diffusionEquityLognormal(SET_DATES, "100", flat_curve(), lognormal()),
     "diffusion_equity_lognormal() argument 2: expected a float, got str"),
    (lambda t: Analytics.diffusionFxLognormal(SET_DATES, Market.fxSpot(START, 1.1), flat_curve(), flat_curve(),
                                              lognormal(), 1),
     "diffusion_fx_lognormal() takes exactly 5 arguments (6 given)"),
    # The spot is read before the curves.
    (lambda t: Analytics.diffusionFxLognormal(SET_DATES, flat_curve(), flat_curve(), flat_curve(), lognormal()),
     "diffusion_fx_lognormal() argument 2: method requires a fxSpot, a discountCurve was provided."),
    (lambda t: Analytics.diffusionEquity(), "this class cannot be instantiated"),
    (lambda t: Analytics.diffusionFx(SET_DATES, Market.fxSpot(START, 1.1), flat_curve(), flat_curve(), lognormal()),
     "this class cannot be instantiated"),
    (lambda t: Analytics.pdeManager(), "pde_manager() takes exactly 1 argument (0 given)"),
    (lambda t: Analytics.pdeManager(equity_model()),
     "pde_manager() argument 1: method requires a pdeManager, a lognormalEquityWithMhjmIr was provided."),
]


@pytest.mark.parametrize("call, message", ERRORS)
def test_construction_errors(tmp_path, call, message):
    with pytest.raises(TypeError) as raised:
        call(tmp_path)
    assert str(raised.value) == message


KEYWORD_CALLS = [
    lambda: Analytics.calibrationIrCheyette(valuation_date=VALUATION),
    lambda: Analytics.calibrationCreditBlackKarasinski(valuation_date=VALUATION),
    lambda: Analytics.lognormalModelWithMhjmIr(__a=equity_model()),
    lambda: Analytics.lognormalEquityWithMhjmIr(VALUATION, np.eye(2), parameter_ir=hull_white(0.05, [0.01],
                                                                                                [years(1)])),
    lambda: Analytics.lognormalFxWithMhjmIr(__a=fx_model()),
    lambda: Analytics.pdeManager(__a=None),
    lambda: Analytics.diffusionIrCheyette(SET_DATES, flat_curve(), params=cheyette()),
    lambda: Analytics.diffusionFxLognormal(dates=SET_DATES),
]


@pytest.mark.parametrize("call", KEYWORD_CALLS)
def test_constructors_refuse_keyword_arguments(call):
    with pytest.raises(TypeError, match="^this function takes no keyword arguments$"):
        call()


# ---------------------------------------------------------------------------------------------------------
# Diffusions on states given from Python

@pytest.mark.parametrize("name", DIFFUSIONS)
@pytest.mark.parametrize("sequence", [list, tuple, Sequence])
def test_diffusions_take_their_dates_as_any_sequence(name, sequence):
    made = DIFFUSIONS[name](sequence(SET_DATES))
    assert type(made) is getattr(Analytics, name)
    assert isinstance(made, Analytics.diffusion)


def test_diffusions_refuse_an_empty_date_list():
    for name, make in DIFFUSIONS.items():
        with pytest.raises(RuntimeError, match="a diffusion needs its simulation dates"):
            make(())


# Counts from the models: a row per factor and a discounting row (Black-Karasinski and extended CIR, one
# factor), n(n + 3) rows of x, y, local volatilities and discounting (the two-factor Cheyette set), and the
# one log spot row of the two-factor lognormal set.
COUNTS = [("diffusionIrBlackKarasinski", 2, 1), ("diffusionIrCheyette", 10, 2), ("diffusionIrExtendedCir", 2, 1),
          ("diffusionCreditBlackKarasinski", 2, 1), ("diffusionCreditExtendedCir", 2, 1),
          ("diffusionEquityLognormal", 1, 2), ("diffusionFxLognormal", 1, 2)]


@pytest.mark.parametrize("name, states, factors", COUNTS)
def test_counts_and_initial_states(name, states, factors):
    made = DIFFUSIONS[name](SET_DATES)
    assert made.number_of_states() == Analytics.diffusion.number_of_states(made) == states
    assert made.number_of_factors() == Analytics.diffusion.number_of_factors(made) == factors
    for initialize in (made.states_initialize, lambda m: type(made).__base__.states_initialize(made, m)):
        matrix = Vectorization.matrix_IdE(np.ones((states, 3)))
        assert initialize(matrix) is None
        assert np.array_equal(np.asarray(matrix), np.zeros((states, 3)))


def test_at_the_start_the_prices_relative_to_the_curves_are_the_curves():
    # Zero states at the first date: the Cheyette and extended CIR prices add no deviation to the curves.
    later = Util.datetime(2030, 6, 1)
    output = Vectorization.vector_IdE(4)
    for name in ("diffusionIrCheyette", "diffusionIrExtendedCir"):
        rate = DIFFUSIONS[name](SET_DATES)
        rate.log_df(output, np.zeros((rate.number_of_states(), 4)), START, later)
        assert np.asarray(output) == pytest.approx(np.full(4, flat_curve().log_df(START, later)), rel=1e-14)
        rate.discounting(output, np.zeros((rate.number_of_states(), 4)), START)
        assert np.array_equal(np.asarray(output), np.ones(4))
    intensity = DIFFUSIONS["diffusionCreditExtendedCir"](SET_DATES)
    intensity.log_conditional_survival_probability(output, np.zeros((2, 4)), START, later)
    assert np.asarray(output) == pytest.approx(np.full(4, flat_survival().log_survival_probability(START, later)),
                                               rel=1e-14)
    intensity.survival_probability(output, np.zeros((2, 4)), START)
    assert np.array_equal(np.asarray(output), np.ones(4))


def test_spot_diffusions_hand_out_their_curves():
    later = Util.datetime(2030, 6, 1)
    equity = DIFFUSIONS["diffusionEquityLognormal"](SET_DATES)
    fx = DIFFUSIONS["diffusionFxLognormal"](SET_DATES)
    for curve, rate in [(equity.domestic_curve(), 0.03), (fx.domestic_curve(), 0.03), (fx.foreign_curve(), 0.01)]:
        assert type(curve) is Market.discountCurve
        assert curve.df(START, later) == flat_curve(rate).df(START, later)


def test_spot_views_read_the_rate_views_before_them_and_take_the_states_over():
    rate = Analytics.diffusionIrExtendedCir(SET_DATES, flat_curve(), extended_cir())
    rate_views = [rate.create_market_data(rate, np.zeros((2, 4)), np.zeros((2, 4)), []) for _ in range(2)]
    for name, view_of, rates in [("diffusionEquityLognormal", Analytics.diffusion.diffusion_equity_spot, 1),
                                 ("diffusionFxLognormal", Analytics.diffusion.diffusion_fx_spot, 2)]:
        spot = DIFFUSIONS[name](SET_DATES)
        states = [Vectorization.matrix_IdE(np.zeros((1, 4))) for _ in range(2)]
        with pytest.raises(RuntimeError, match="the rates it reads come first in the simulation"):
            spot.create_market_data(spot, *states, rate_views[:rates - 1])
        assert all(m.rows() == 1 for m in states)  # refused: nothing taken
        view = type(spot).__base__.create_market_data(spot, spot, *states, rate_views[:rates])
        assert type(view) is Market.marketData
        assert all((m.rows(), m.columns()) == (0, 0) for m in states)
        assert type(view_of(view)) is (Market.equitySpot if rates == 1 else Market.fxSpot)


@pytest.mark.parametrize("name, view_of, curve_type", [
    *[(name, Analytics.diffusion.diffusion_discount_curve, Market.discountCurve)
      for name in ("diffusionIrBlackKarasinski", "diffusionIrCheyette", "diffusionIrExtendedCir")],
    *[(name, Analytics.diffusion.diffusion_survival_curve, Market.survivalCurve)
      for name in ("diffusionCreditBlackKarasinski", "diffusionCreditExtendedCir")]])
def test_rate_and_credit_views_take_the_states_over(name, view_of, curve_type):
    made = DIFFUSIONS[name](SET_DATES)
    states = [Vectorization.matrix_IdE(np.zeros((made.number_of_states(), 4))) for _ in range(2)]
    view = made.create_market_data(made, *states, [])
    assert type(view) is Market.marketData
    assert all((m.rows(), m.columns()) == (0, 0) for m in states)
    assert type(view_of(view)) is curve_type


# ---------------------------------------------------------------------------------------------------------
# Calibration drivers

def test_cheyette_targets_have_no_python_type(tmp_path):
    assert cheyette_driver(tmp_path, caplets=False, coterminals=False).swaptions() == ()
    with pytest.raises(ValueError, match='^cannot create object of unknown type "calibrationIrCheyetteSwaption"$'):
        cheyette_driver(tmp_path).swaptions()


def test_cheyette_calibration_writes_the_callers_hjm_set_and_round_trips(tmp_path):
    driver = cheyette_driver(tmp_path)
    dates = [years(k) for k in (1, 2, 3, 4)]
    start = hull_white(0.01, [0.01] * 4, dates)
    calibrated = driver.calibrate(smile_surface(), cheyette_settings(), start)
    assert type(calibrated) is Analytics.parameterCheyette
    # One skew per caplet smile, on the HJM set's first volatility dates.
    assert [d.serial() for d in calibrated.skew_parameter_dates()] == [d.serial() for d in dates]
    assert np.all(np.isfinite(np.array(calibrated.skew_parameter())))
    # The Cheyette set holds the caller's HJM set, which the calibration moved away from its start.
    held = np.array(calibrated.parameters().volatilities())
    assert np.array_equal(held, np.array(start.volatilities()))
    assert not np.allclose(held, 0.01)
    path = str(tmp_path / "cheyette.json")
    Analytics.parameterCheyette.write_to_json(path, calibrated)
    assert str(Analytics.parameterCheyette.read_from_json(path)) == str(calibrated)


def test_cheyette_calibration_errors(tmp_path):
    driver = cheyette_driver(tmp_path)
    with pytest.raises(TypeError, match=r"^calibrate\(\) takes exactly 3 arguments \(2 given\)$"):
        driver.calibrate(smile_surface(), cheyette_settings())
    # A target expiry (4Y) where the HJM set has no volatility date: the library's refusal.
    with pytest.raises(RuntimeError):
        driver.calibrate(smile_surface(), cheyette_settings(),
                         hull_white(0.01, [0.01] * 3, [years(k) for k in (1, 2, 3)]))


def test_the_credit_driver_takes_a_converted_correlation_and_has_no_methods():
    driver = credit_driver(correlation=[[0.2]])
    assert [name for name in dir(driver) if not name.startswith("__")] == []


# ---------------------------------------------------------------------------------------------------------
# Lognormal models

CALIBRATION_DATES = [VALUATION, years(1), years(2), years(3)]
VARIANCES = [0.0, 0.04, 0.09, 0.15]


@pytest.mark.parametrize("make", [lambda: equity_model(rate_volatility=0.0), lambda: fx_model(rate_volatility=0.0)],
                         ids=["equity", "fx"])
def test_without_rate_volatility_each_period_carries_its_variance_step(make):
    # With still rates the log spot's variance is sum sigma_l^2 dt_l: sigma_j = sqrt(dv_j / dt_j), dt_j in
    # ACT/365F. Row 0 (before the first date) is zero.
    calibrated = make().calibrate(CALIBRATION_DATES, VARIANCES, act_365f())
    assert type(calibrated) is Analytics.parameterLognormal
    serials = [d.serial() for d in CALIBRATION_DATES]
    expected = [0.0] + [math.sqrt((VARIANCES[j] - VARIANCES[j - 1]) / ((serials[j] - serials[j - 1]) / 365.0))
                        for j in range(1, len(serials))]
    assert np.allclose(np.array(calibrated.volatilities())[:, 0], expected, rtol=1e-14, atol=0.0)
    assert [d.serial() for d in calibrated.volatilities_dates()] == [d.serial() for d in CALIBRATION_DATES]


@pytest.mark.parametrize("make", [equity_model, fx_model], ids=["equity", "fx"])
def test_derived_models_calibrate_through_the_base_type(make):
    model = make()
    through_base = Analytics.lognormalModelWithMhjmIr.calibrate(model, CALIBRATION_DATES, VARIANCES, act_365f())
    own = model.calibrate(CALIBRATION_DATES, VARIANCES, act_365f())
    assert np.array_equal(np.array(through_base.volatilities()), np.array(own.volatilities()))


@pytest.mark.parametrize("make", [equity_model, fx_model], ids=["equity", "fx"])
def test_copies_calibrate_like_their_source_after_it_is_gone(make):
    source = make()
    expected = np.array(source.calibrate(CALIBRATION_DATES, VARIANCES, act_365f()).volatilities())
    own_type = type(source)(source)
    base = Analytics.lognormalModelWithMhjmIr(source)
    assert type(own_type) is type(source)
    assert type(base) is Analytics.lognormalModelWithMhjmIr  # the base part alone
    del source
    gc.collect()
    for copy in (own_type, base):
        assert np.array_equal(np.array(copy.calibrate(CALIBRATION_DATES, VARIANCES, act_365f()).volatilities()),
                              expected)


def test_lognormal_calibration_errors():
    model = equity_model()
    with pytest.raises(TypeError, match=r"^calibrate\(\) takes exactly 3 arguments \(2 given\)$"):
        model.calibrate(CALIBRATION_DATES, VARIANCES)
    # Dates that do not increase: the library's refusal.
    with pytest.raises(RuntimeError):
        model.calibrate(list(reversed(CALIBRATION_DATES)), VARIANCES, act_365f())


# ---------------------------------------------------------------------------------------------------------
# PDE manager

def test_a_copy_answers_like_its_source(pde_pricing):
    source = pde_pricing.manager()
    copy = Analytics.pdeManager(source)
    assert copy.dimensions() == source.dimensions() == (201,)
    dates = copy.dates()
    assert [d.serial() for d in dates] == [d.serial() for d in source.dates()]
    assert (dates[0].serial(), dates[-1].serial()) == (VALUATION.serial(), PDE_MATURITY.serial())
    assert copy.size() == source.size() == 0


@pytest.mark.parametrize("bonds", [1, 2])
def test_a_bond_rolled_back_is_worth_the_market_discount(pde_pricing, bonds):
    manager = Analytics.pdeManager(pde_pricing.manager())
    manager.run([pde_pricing.unit_bond()] * bonds, pde_pricing.discount_factors())
    assert manager.size() == bonds
    values = [0.0] * bonds
    manager.pv(values)
    # At the grid's centre (x = 0) the model's bond is the market's: within the grid's error, measured
    # below 1e-7 there.
    assert values == pytest.approx([market_discount()] * bonds, rel=1e-6)


def test_run_takes_its_optional_arguments_in_order(pde_pricing):
    manager = Analytics.pdeManager(pde_pricing.manager())
    bond = pde_pricing.unit_bond()
    factors = pde_pricing.discount_factors()
    values = []
    for arguments in ([factors], [factors, []]):
        manager.run([bond], *arguments)
        value = [0.0]
        manager.pv(value)
        values.append(value[0])
    assert values[0] == values[1]
    # Without factors the run reads none for its dates: both forms refuse alike.
    messages = []
    for arguments in ([], [[], []]):
        with pytest.raises(RuntimeError) as raised:
            manager.run([bond], *arguments)
        messages.append(str(raised.value))
    assert messages[0] == messages[1]
    with pytest.raises(TypeError):
        manager.run()
    with pytest.raises(TypeError):
        manager.run([factors])


def test_pv_refuses_what_it_cannot_fill(pde_pricing):
    manager = Analytics.pdeManager(pde_pricing.manager())
    with pytest.raises(ValueError, match=r"^pv\(\) reads the results of a run: run the manager first$"):
        manager.pv([0.0])
    manager.run([pde_pricing.unit_bond()] * 2, pde_pricing.discount_factors())
    short = [7.0]
    with pytest.raises(ValueError, match=r"^pv\(\) argument 1: the list holds 1 values, the last run 2$"):
        manager.pv(short)
    assert short == [7.0]
    with pytest.raises(TypeError):
        manager.pv((0.0, 0.0))  # a tuple cannot be written back


def test_pv_writes_only_values_that_changed(pde_pricing):
    manager = Analytics.pdeManager(pde_pricing.manager())
    manager.run([pde_pricing.unit_bond()], pde_pricing.discount_factors())
    values = [0.0, 5.0]
    manager.pv(values)
    assert values[1] == 5.0  # past size(): left alone
    written = values[0]
    manager.pv(values)  # the same value again: the list keeps its very objects
    assert values[0] is written


def test_a_copy_runs_on_after_its_source_is_gone_and_leaves_it_unrun(pde_pricing):
    source = Analytics.pdeManager(pde_pricing.manager())
    copy = Analytics.pdeManager(source)
    del source
    gc.collect()
    copy.run([pde_pricing.unit_bond()], pde_pricing.discount_factors())
    value = [0.0]
    copy.pv(value)
    assert value[0] == pytest.approx(market_discount(), rel=1e-6)
    # A copy of a run manager shares its results until either runs again; its source never ran.
    second = Analytics.pdeManager(copy)
    assert second.size() == 1
    shared = [0.0]
    second.pv(shared)
    assert shared == value
    unrun = Analytics.pdeManager(pde_pricing.manager())
    with pytest.raises(ValueError):
        unrun.pv([0.0])


# ---------------------------------------------------------------------------------------------------------
# Long calls: a PDE run and a Cheyette calibration run without the interpreter lock, stop on Ctrl-C, and
# write what they write for the caller into private copies that the caller's objects receive at the end

def cheyette_calibration(tmp_path, expiries, strikes, settings):
    """A calibration to yearly expiries of `strikes` strikes each (from half the swap rate to 1.6 times it)
    and their coterminals to 5Y, from a Hull-White set of one volatility per expiry: (the set, the call)."""
    names = [f"{k}Y" for k in range(1, expiries + 1)]
    config = targets(tmp_path, names, [list(np.linspace(0.5, 1.6, strikes))] * expiries + [[1.0]] * expiries)
    driver = Analytics.calibrationIrCheyette(VALUATION, Market.discountCurve(VALUATION, 0.03), config, act_365f())
    axis = [f"{k}Y" for k in range(1, expiries + 6)]
    quoted = [0.01, 0.02, 0.03, 0.04, 0.05]
    nodes = np.tile([0.30 * (k / 0.03) ** -0.4 for k in quoted], (len(axis), len(axis), 1))
    surface = Market.irVolatilitySurface(VALUATION, axis, axis, quoted, Vectorization.tensor_IdE(nodes))
    start = hull_white(0.01, [0.01] * expiries, [years(k) for k in range(1, expiries + 1)])
    return start, lambda: driver.calibrate(surface, settings, start)


def long_cheyette_calibration(tmp_path):
    """Forty expiries of nine strikes fitted to the last digit: 40 s of work or more uninterrupted, in
    evaluations of the targets of a few milliseconds. (The call, whether its objects are usable after it.)"""
    settings = Analytics.calibrationCheyetteSettings((1e-4, 0.05), [-0.2, 0.5], np.array([-40.0, 40.0]),
                                                     HJM_TYPE.HULL_WHITE, False, 100000, 0.0)
    start, call = cheyette_calibration(tmp_path, 40, 9, settings)
    # The caller's HJM set holds the values of the last evaluation, and is readable.
    return call, lambda: np.all(np.isfinite(np.array(start.volatilities())))


def long_pde_run(tmp_path, bonds=10000):
    """Bonds on daily steps over five years, one recording each step's end: 40 s of work or more
    uninterrupted, in steps of a few milliseconds. (The call, whether its objects are usable after it.)"""
    pricing = analyticsProbe.probePdePricing(VALUATION, PDE_MATURITY, pde_rates(), PDE_RATE, 1.0)
    manager = Analytics.pdeManager(pricing.manager())
    steps = len(manager.dates()) - 1
    record, spare = analyticsProbe.probeStepRecord(steps), analyticsProbe.probeStepRecord(1)

    def usable():
        # The record received what the steps done wrote: the first of the ends from the maturity back.
        done = sum(1 for date in record.dates() if date != 0.0)
        ends = tuple(date.serial() for date in reversed(manager.dates()[:-1]))
        stopped = done < steps and record.dates() == ends[:done] + (0.0,) * (steps - done)
        manager.run([pricing.unit_bond()], pricing.discount_factors())
        value = [0.0]
        manager.pv(value)
        return stopped and value[0] == pytest.approx(market_discount(), rel=1e-6)  # the grid's error, as above

    return (lambda: manager.run([pricing.recording_bond()] + [pricing.unit_bond()] * bonds,
                                pricing.discount_factors(), [record] + [spare] * bonds)), usable


@pytest.mark.parametrize("long_call", [long_pde_run, long_cheyette_calibration], ids=["pde run", "cheyette"])
def test_long_calls_let_other_threads_run_and_stop_on_ctrl_c(tmp_path, sigint_after, thread_counter, long_call):
    call, usable = long_call(tmp_path)
    sent = sigint_after(0.3)
    before = thread_counter()
    with pytest.raises(KeyboardInterrupt):
        call()
    # The library looks at the signals ten times a second: the call stopped long before its end. The
    # ceiling, far above that, only tells a stop from a run to the end on a loaded machine.
    assert time.monotonic() - sent["at"] < 5.0
    assert thread_counter() - before > 1000
    assert usable()


def log_df_reader(rates, valuation, curve):
    """Reads the log discount factors from the simulation date a year after the valuation date to some three
    years after it, of a Markovian HJM diffusion on the set, on three paths whose states are apart from zero.
    The model of the diffusion keeps tables of the set's values at its dates, but reads the decays beyond its
    last date live: those of the set as it is at the read."""
    dates = [valuation, Util.datetime(valuation.year() + 1, valuation.month(), valuation.day())]
    beyond = Util.datetime(Util.datetime(valuation.year() + 3, valuation.month(), valuation.day()).serial() + 100)
    diffusion = Analytics.diffusionIrMarkovianHjm(dates, curve, rates)
    states = Vectorization.matrix_IdE(np.outer(np.arange(1.0, diffusion.number_of_states() + 1.0),
                                               [0.01, -0.02, 0.005]))
    output = Vectorization.vector_IdE(3)

    def read():
        diffusion.log_df(output, states, dates[1], beyond)
        return tuple(np.asarray(output))

    return read


def cheyette_calibration_to_read(tmp_path):
    start, call = cheyette_calibration(tmp_path, 8, 5, cheyette_settings())
    return call, log_df_reader(start, VALUATION, Market.discountCurve(VALUATION, 0.03))


def hjm_calibration_to_read(tmp_path):
    """A three-factor calibration to 150 CMS targets, sixty optimiser steps from a start on its grids."""
    expiries, tenors = [f"{k}Y" for k in range(1, 16)], [f"{k}Y" for k in range(1, 11)]
    driver = Analytics.calibrationIrHjm(hjm_setup.VALUATION, hjm_setup.discount_curve(),
                                        hjm_setup.cms_targets(tmp_path, expiries, tenors), hjm_setup.convention())
    surface = Market.irVolatilitySurface(hjm_setup.VALUATION, expiries, tenors, [], np.full((15, 10, 1), 0.2),
                                         hjm_setup.convention())
    settings = Analytics.calibrationHjmSettings(3, (0.001, 0.05), (0.01, 1.0), HJM_TYPE.HULL_WHITE, False, 60,
                                                False, True, 0.0)
    # One decay row per start or end date of a target (years 1 to 25), one volatility row per expiry.
    start = Analytics.parameterMarkovianHjm(
        np.tile([0.02, 0.1, 0.5], (25, 1)), np.full((15, 3), 0.005), np.eye(3),
        [Util.datetime(2025 + k, 1, 15) for k in range(25)], [Util.datetime(2025 + k, 1, 15) for k in range(15)],
        hjm_setup.convention(), HJM_TYPE.HULL_WHITE)
    return (lambda: driver.calibrate(surface, np.eye(3), settings, [], start),
            log_df_reader(start, hjm_setup.VALUATION, hjm_setup.discount_curve()))


@pytest.mark.parametrize("calibration, moves", [(cheyette_calibration_to_read, True), (hjm_calibration_to_read, False)],
                         ids=["cheyette", "hjm"])
def test_a_diffusion_on_a_calibrated_set_reads_it_as_before_or_after_the_calibration(tmp_path, reads_during,
                                                                                     calibration, moves):
    # The Cheyette calibration fits the set it is given, the HJM one only starts from it; a diffusion built
    # on the set before reads it from another thread meanwhile.
    call, read = calibration(tmp_path)
    before, during, after = reads_during(call, read)
    assert len(during) > 100  # the reader ran while the calibration did
    assert (before != after) == moves
    assert set(during) <= {before, after}


def test_a_pde_run_shows_other_threads_its_life_cycle_entries_as_before_or_after_it(pde_pricing, reads_during):
    # One bond records each step's end into its entry, which a second thread reads meanwhile; the other
    # bonds make the run long, their entries one spare record.
    manager = Analytics.pdeManager(pde_pricing.manager())
    dates = manager.dates()
    record, spare = analyticsProbe.probeStepRecord(len(dates) - 1), analyticsProbe.probeStepRecord(1)
    bonds = 3000
    before, during, after = reads_during(
        lambda: manager.run([pde_pricing.recording_bond()] + [pde_pricing.unit_bond()] * bonds,
                            pde_pricing.discount_factors(), [record] + [spare] * bonds),
        record.dates)
    assert len(during) > 100
    assert before == (0.0,) * (len(dates) - 1)
    assert after == tuple(date.serial() for date in reversed(dates[:-1]))  # backward, from the maturity
    assert set(during) <= {before, after}
    assert spare.dates() == (0.0,)


def test_a_manager_is_busy_while_it_runs(pde_pricing):
    manager = Analytics.pdeManager(pde_pricing.manager())
    worker = threading.Thread(target=manager.run, args=([pde_pricing.unit_bond()] * 5000,
                                                        pde_pricing.discount_factors()))
    worker.start()
    refused = 0
    while worker.is_alive():
        try:
            manager.size()
        except RuntimeError as error:
            assert str(error) == "the pdeManager object is busy with a long call"
            refused += 1
    worker.join()
    assert refused > 0 and manager.size() == 5000


def test_a_calibration_publishes_into_its_set_once_the_long_calls_in_progress_end(tmp_path):
    # A long call in progress may read the set that a calibration writes back (a run on a diffusion of it):
    # the calibration waits until the call ends. A spin of the runtime probe plays that call.
    spinner = runtimeProbe.probeSpinner()
    start, calibrate = cheyette_calibration(tmp_path, 4, 3, cheyette_settings())
    before = np.array(start.volatilities())
    taken = runtimeProbe.probeSpinner.steps_taken()
    spin = threading.Thread(target=spinner.spin, args=(2.0,))
    spin.start()
    while runtimeProbe.probeSpinner.steps_taken() == taken:
        pass  # until the spin is under way
    calibration = threading.Thread(target=calibrate)
    calibration.start()
    reads_while_spinning = 0
    while spin.is_alive():
        values = np.array(start.volatilities())
        try:
            spinner.spin_holding_the_lock(0.0)
        except RuntimeError:  # still busy after the read: the spin ran at the read
            assert np.array_equal(values, before)
            reads_while_spinning += 1
    spin.join()
    calibration.join()
    assert reads_while_spinning > 100 and not np.array_equal(np.array(start.volatilities()), before)


def test_a_signal_handler_runs_long_calls_while_a_publication_waits_for_the_call_it_stopped(python_runner):
    # The handler runs at a look of a spin, whose end a calibration on another thread waits for to publish:
    # a long call of the handler's goes on within the spin's turn instead of waiting for that publication,
    # which waits for the spin (a deadlock, which the run's time limit would end). A publication from the
    # handler is refused rather than wait for the spin.
    code = f"""
        import os, signal, sys, threading, time, pathlib, tempfile
        sys.path.insert(0, {os.path.dirname(os.path.abspath(__file__))!r})
        import runtimeProbe
        from qavrekmodules import Random
        import test_analytics_models as models

        start, calibrate = models.cheyette_calibration(pathlib.Path(tempfile.mkdtemp()), 4, 3,
                                                       models.cheyette_settings())
        spinner = runtimeProbe.probeSpinner()
        twister = Random.random.random_generator_factory(Random.random_type.MERSENNE_TWISTER,
                                                         Random.randomSettings(5489, 1, 1))
        answers = []

        def handler(number, frame):
            twister.discard(100_000)
            answers.append("ran")
            try:
                calibrate()
            except RuntimeError as error:
                answers.append(str(error))
            runtimeProbe.probeSpinner.stop_spins()

        signal.signal(signal.SIGINT, handler)
        calibration = threading.Thread(target=calibrate)
        threading.Thread(target=lambda: (calibration.start(), time.sleep(1.0),
                                         os.kill(os.getpid(), signal.SIGINT))).start()
        spinner.spin(60.0)
        calibration.join()
        assert answers == ["ran", "a long call cannot publish what it wrote from a signal handler run within "
                           "another"], answers
    """
    status, errors = python_runner(code)
    assert status == 0, errors


def test_copies_running_on_two_threads_share_their_scheme_in_turn(pde_pricing):
    # The copies share the source's scheme and coefficients: run at once, they would overwrite each
    # other's steps.
    source = pde_pricing.manager()
    copies = [Analytics.pdeManager(source) for _ in range(2)]
    bonds = [pde_pricing.unit_bond()] * 2000
    workers = [threading.Thread(target=copy.run, args=(bonds, pde_pricing.discount_factors())) for copy in copies]
    for worker in workers:
        worker.start()
    for worker in workers:
        worker.join()
    for copy in copies:
        values = [0.0] * 2000
        copy.pv(values)
        assert values == pytest.approx([market_discount()] * 2000, rel=1e-6)


# ---------------------------------------------------------------------------------------------------------
# Workflows: calibrate, simulate, read the paths into numpy and compare with the market within 4 standard
# errors (fixed seeds: a correct model fails one such check in some 16000)

def z_of_mean(values, expected):
    """The distance of the sample mean from the expected value, in standard errors."""
    return (values.mean() - expected) / (values.std(ddof=1) / math.sqrt(values.size))


def z_of_variance(values, expected):
    """The distance of the sample variance from the expected one, in standard errors sqrt((m4 - s^4) / N)."""
    centred = values - values.mean()
    variance = np.mean(centred ** 2)
    return (variance - expected) / math.sqrt((np.mean(centred ** 4) - variance ** 2) / values.size)


def simulate(assets, changes, correlation, dates, paths, generator=Random.random_type.MERSENNE_TWISTER, seed=11):
    brownians = sum(asset.number_of_factors() for asset in assets)
    config = Analytics.randomConfig(generator, seed, paths, len(dates), brownians)
    manager = Analytics.simulationManager(assets, changes, correlation, config, dates)
    manager.states_initialize()
    return manager


WORKFLOW_START = Util.datetime(2024, 1, 15)
# Half a year, then yearly: the total variances of the implied volatilities, the first date the start.
CALIBRATION_DATES_WF = [WORKFLOW_START, Util.datetime(2024, 7, 15), Util.datetime(2025, 1, 15),
                        Util.datetime(2026, 1, 15), Util.datetime(2027, 1, 15)]


def market_variances(implied):
    return [v * v * (d.serial() - WORKFLOW_START.serial()) / 365.0 for v, d in zip(implied, CALIBRATION_DATES_WF)]


def workflow_hjm(decay, volatilities, volatility_dates):
    return Analytics.parameterMarkovianHjm(np.array([[decay]]), np.array([[v] for v in volatilities]),
                                           np.array([[1.0]]), [Util.datetime(2030, 1, 15)], volatility_dates,
                                           act_365f(), HJM_TYPE.HULL_WHITE)


def test_a_calibrated_equity_beside_an_hjm_rate_has_the_market_variances():
    # 50000 paths: the rate terms of the variance, which the calibration takes off the equity's own, are
    # 6 to 15 standard errors at the last three dates (measured by calibrating as if the rate stood still).
    variances = market_variances([0.0, 0.20, 0.22, 0.21, 0.23])
    rates = workflow_hjm(0.03, [0.02, 0.015], [Util.datetime(2025, 7, 15), Util.datetime(2030, 1, 15)])
    correlation = np.array([[1.0, 0.5], [0.5, 1.0]])
    calibrated = Analytics.lognormalEquityWithMhjmIr(WORKFLOW_START, correlation, rates).calibrate(
        CALIBRATION_DATES_WF, variances, act_365f())
    curve = Market.discountCurve(WORKFLOW_START, 0.03)
    dates = CALIBRATION_DATES_WF
    manager = simulate([Analytics.diffusionIrMarkovianHjm(dates, curve, rates),
                        Analytics.diffusionEquityLognormal(dates, 100.0, curve, calibrated)],
                       [Analytics.changeOfMeasure(), Analytics.changeOfMeasure()], correlation, dates, 50000)
    spot = Analytics.diffusion.diffusion_equity_spot(manager.data(1))
    distances = []
    for t in range(1, len(dates)):
        manager.propagate(t)
        distances.append(z_of_variance(np.log(np.asarray(spot.spots())), variances[t]))
    assert np.all(np.abs(distances) < 4.0), distances


def test_a_calibrated_fx_rate_with_two_hjm_rates_under_the_quanto_measure():
    # The foreign rate is simulated under the domestic measure: its factor's draw shifts by the FX step
    # volatility times their correlation, a drift of 10 standard errors at five years when left out.
    # The discounted FX rate then converts the foreign bond: E[discounting_d(t) X(t) / X(0)] = P_f(0, t).
    dates = CALIBRATION_DATES_WF + [Util.datetime(2029, 1, 15)]
    implied = [0.0, 0.10, 0.11, 0.12, 0.12, 0.13]
    variances = [v * v * (d.serial() - WORKFLOW_START.serial()) / 365.0 for v, d in zip(implied, dates)]
    domestic_rates = workflow_hjm(0.03, [0.012], [Util.datetime(2030, 1, 15)])
    foreign_rates = workflow_hjm(0.02, [0.015], [Util.datetime(2030, 1, 15)])
    correlation = np.array([[1.0, 0.3, 0.2], [0.3, 1.0, -0.6], [0.2, -0.6, 1.0]])
    calibrated = Analytics.lognormalFxWithMhjmIr(WORKFLOW_START, correlation, domestic_rates,
                                                 foreign_rates).calibrate(dates, variances, act_365f())
    domestic, foreign = Market.discountCurve(WORKFLOW_START, 0.03), Market.discountCurve(WORKFLOW_START, 0.01)
    # Each step is one volatility period: its volatility is the period's times the root of its length.
    serials = [d.serial() for d in dates]
    sigma = np.asarray(calibrated.volatilities())[:, 0]
    steps = np.array([[0.0]] + [[sigma[i] * math.sqrt((serials[i] - serials[i - 1]) / 365.0)]
                                for i in range(1, len(dates))])
    quanto = Analytics.changeOfMeasure(np.array([[correlation[1, 2]]]), steps)
    manager = simulate([Analytics.diffusionIrMarkovianHjm(dates, domestic, domestic_rates),
                        Analytics.diffusionIrMarkovianHjm(dates, foreign, foreign_rates),
                        Analytics.diffusionFxLognormal(dates, Market.fxSpot(WORKFLOW_START, 1.09), domestic, foreign,
                                                       calibrated)],
                       [Analytics.changeOfMeasure(), quanto, Analytics.changeOfMeasure()], correlation, dates, 50000,
                       Random.random_type.WELL_19937)
    discounts = Analytics.diffusion.diffusion_discount_curve(manager.data(0))
    fx = Analytics.diffusion.diffusion_fx_spot(manager.data(2))
    discounting = Vectorization.vector_IdE(50000)
    for t in range(1, len(dates)):
        manager.propagate(t)
        discounts.discounting(discounting, dates[t])
        rates = np.asarray(fx.spots())
        assert abs(z_of_mean(np.asarray(discounting) * rates, foreign.df(WORKFLOW_START, dates[t]))) < 4.0, t
        assert abs(z_of_variance(np.log(rates), variances[t])) < 4.0, t


def saved_and_loaded(tmp_path, parameter):
    path = str(tmp_path / "cheyette.json")
    Analytics.parameterCheyette.write_to_json(path, parameter)
    loaded = Analytics.parameterCheyette.read_from_json(path)
    assert str(loaded) == str(parameter)
    return loaded


def assert_the_curve_is_priced(parameter, curve):
    """Mean simulated discount factors every six months over five years within 4 standard errors of the
    curve: 20000 paths on monthly steps."""
    dates = [Util.datetime(2024 + month // 12, 1 + month % 12, 2) for month in range(61)]
    manager = simulate([Analytics.diffusionIrCheyette(dates, curve, parameter)], [Analytics.changeOfMeasure()],
                       np.eye(1), dates, 20000)
    discounts = Analytics.diffusion.diffusion_discount_curve(manager.data(0))
    discounting = Vectorization.vector_IdE(20000)
    for t in range(1, len(dates)):
        manager.propagate(t)
        if t % 6 == 0:
            discounts.discounting(discounting, dates[t])
            assert abs(z_of_mean(np.asarray(discounting), curve.df(VALUATION, dates[t]))) < 4.0, t


def test_a_cheyette_set_calibrated_saved_and_loaded_prices_the_curve(tmp_path):
    calibrated = cheyette_driver(tmp_path).calibrate(smile_surface(), cheyette_settings(),
                                                     hull_white(0.01, [0.01] * 4, [years(k) for k in (1, 2, 3, 4)]))
    # At five years the convexity P(0, t) Var(ln D) / 2, which a wrong drift would leave out, measures 4
    # standard errors of the mean.
    assert_the_curve_is_priced(saved_and_loaded(tmp_path, calibrated), Market.discountCurve(VALUATION, 0.03))


def planted_surface(probe, volatilities):
    """A surface on which every target reads its own volatilities exactly: its expiry and tenor are nodes,
    each of its strikes is on the strike axis. Nodes that no target reads hold 20%."""
    axis = ["1Y", "2Y", "3Y", "4Y", "5Y"]
    strikes = sorted({k for row in probe.strikes() for k in row})
    nodes = np.full((len(axis), len(axis), len(strikes)), 0.2)
    for expiry, maturity, row_strikes, row in zip(probe.expiries(), probe.maturities(), probe.strikes(),
                                                  volatilities):
        e, m = expiry.year() - VALUATION.year(), maturity.year() - expiry.year()
        assert (expiry.serial(), maturity.serial()) == (years(e).serial(), Util.datetime(2024 + e + m, 1, 2).serial())
        for strike, volatility in zip(row_strikes, row):
            nodes[e - 1, m - 1, strikes.index(strike)] = volatility
    return Market.irVolatilitySurface(VALUATION, axis, axis, strikes, Vectorization.tensor_IdE(nodes))


# A price sees the skews up to its expiry through their root mean square and the sign of their
# variance-weighted sum, so one row of a single-signed set may change sign unseen: the bounds give the sign.
PLANTED_SKEWS = [([12.0, 9.0, 14.0, 11.0], [0.5, 40.0]), ([-8.0, -11.0, -7.0, -9.5], [-40.0, -0.5])]


@pytest.mark.parametrize("skews, skew_bounds", PLANTED_SKEWS, ids=["positive skews", "negative skews"])
def test_a_cheyette_set_calibrated_to_planted_volatilities_is_found_again_and_prices_the_curve(tmp_path, skews,
                                                                                           skew_bounds):
    # The volatilities of a known set (priced by the probe as the driver prices its targets), refitted from
    # a set that starts apart: nine unknowns, sixteen volatilities.
    curve = Market.discountCurve(VALUATION, 0.03)
    config = cheyette_targets(tmp_path)
    dates = [years(k) for k in (1, 2, 3, 4)]
    truth_volatilities = [0.009, 0.008, 0.0085, 0.0075]
    truth = Analytics.parameterCheyette(hull_white(0.04, truth_volatilities, dates), np.array([[b] for b in skews]),
                                        dates, -5.0)
    probe = analyticsProbe.probeCheyetteTargets(VALUATION, curve, config, act_365f())
    planted = probe.volatilities(truth)
    assert [len(row) for row in planted] == [3] * 4 + [1] * 4
    # Of the order of 30%, not the 0 or 10000 of a degenerate price, which any set would fit.
    assert all(0.1 < v < 1.0 for row in planted for v in row), planted

    start = hull_white(0.01, [0.01] * 4, dates)
    settings = Analytics.calibrationCheyetteSettings((1e-4, 0.05), [-0.2, 0.5], np.array(skew_bounds),
                                                     HJM_TYPE.HULL_WHITE, False, 200, 1e-12)
    calibrated = Analytics.calibrationIrCheyette(VALUATION, curve, config, act_365f()).calibrate(
        planted_surface(probe, planted), settings, start)
    # The optimiser stops on a step below 1e-12 of the unknowns with the residuals at the noise of the
    # pricing (its root search's 1e-10): the fit is far inside 0.1 bp, and the parameters, whose Jacobian
    # is of order one in relative terms, come back inside 1e-4 relative.
    refitted = probe.volatilities(calibrated)
    assert np.max(np.abs(np.concatenate(refitted) - np.concatenate(planted))) < 1e-5
    found = calibrated.parameters()
    assert np.asarray(found.decays()) == pytest.approx(np.array([[0.04]]), rel=1e-4)
    assert np.asarray(found.volatilities())[:, 0] == pytest.approx(truth_volatilities, rel=1e-4)
    assert np.asarray(calibrated.skew_parameter())[:, 0] == pytest.approx(skews, rel=1e-4)

    loaded = saved_and_loaded(tmp_path, calibrated)
    for read in (lambda p: p.skew_parameter(), lambda p: p.parameters().decays(),
                 lambda p: p.parameters().volatilities()):
        assert np.array_equal(np.asarray(read(loaded)), np.asarray(read(calibrated)))
    # The convexity at five years, which a wrong drift would leave out, is 3.6 standard errors here.
    assert_the_curve_is_priced(loaded, curve)


def test_credit_diffusions_beside_an_hjm_rate_price_their_survival_curves(tmp_path):
    # Black-Karasinski levels every six months, fitted by the native calibration to a hazard rate rising
    # from 1% (survival exp(-(0.01 t + 0.005 t^2))) and read back from its JSON file.
    level_dates = [VALUATION] + [Util.datetime(2024 + k // 2, 1 + 6 * (k % 2), 2) for k in range(1, 11)]
    spans = [(d.serial() - VALUATION.serial()) / 365.0 for d in level_dates[1:]]
    rising = Market.survivalCurve(VALUATION, level_dates[1:], [math.exp(-(0.01 * t + 0.005 * t * t)) for t in spans])
    factor = Analytics.parameterMarkovianHjm(np.array([[0.1]]), np.array([[0.3]]), np.array([[1.0]]),
                                             level_dates[-1:], level_dates[-1:], act_365f(), HJM_TYPE.HULL_WHITE)
    start = Analytics.parameterBlackKarasinski(factor, [-4.0] * len(level_dates), level_dates)
    rates = hull_white(0.05, [0.01], level_dates[-1:])
    driver = Analytics.calibrationCreditBlackKarasinski(VALUATION, rising, Analytics.calibrationBlackKarasinskiSettings(
        "3M", 0.0), rates, np.array([[0.0]]))
    path = str(tmp_path / "levels.json")
    analyticsProbe.probeCreditCalibration.calibrate_to_json(driver, start, path)
    levels = Analytics.parameterBlackKarasinski.read_from_json(path)
    assert json.loads(str(start))["levels_parameter"] == [-4.0] * len(level_dates)  # a copy was calibrated
    # An extended CIR intensity built here, over a flat 2% hazard rate.
    square_root = Analytics.parameterExtendedCir(np.array([[0.3]]), np.array([[0.08]]), np.array([[0.02]]),
                                                 np.array([[1.0]]), level_dates[-1:], level_dates[-1:],
                                                 level_dates[-1:], act_365f())
    flat = Market.survivalCurve(VALUATION, 0.02)
    dates = [Util.datetime(2024 + month // 12, 1 + month % 12, 2) for month in range(61)]
    correlation = np.array([[1.0, 0.3, -0.2], [0.3, 1.0, 0.4], [-0.2, 0.4, 1.0]])
    manager = simulate([Analytics.diffusionIrMarkovianHjm(dates, Market.discountCurve(VALUATION, 0.03), rates),
                        Analytics.diffusionCreditBlackKarasinski(dates, rising, levels),
                        Analytics.diffusionCreditExtendedCir(dates, flat, square_root)],
                       [Analytics.changeOfMeasure() for _ in range(3)], correlation, dates, 20000)
    views = [Analytics.diffusion.diffusion_survival_curve(manager.data(i)) for i in (1, 2)]
    survival = Vectorization.vector_IdE(20000)
    for t in range(1, len(dates)):
        manager.propagate(t)
        # The level dates, where the calibration matches the curve (between them the curve interpolates).
        if t % 6 == 0:
            for view, curve in zip(views, (rising, flat)):
                view.survival_probability(survival, dates[t])
                assert abs(z_of_mean(np.asarray(survival), curve.survival_probability(VALUATION, dates[t]))) < 4.0, t
