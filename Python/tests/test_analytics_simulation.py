"""The Analytics module's diffusions, diffusion ids, simulation manager and Markovian HJM calibration.

Values are checked against what the test gives or works out itself (the market curves the diffusions are
built on, the ids' own hashes and JSON texts), against Monte Carlo identities (simulated discount factors
and survival probabilities average to the market curves), and against the same workflow run through the
C++ API by the program hjm_workflow_reference, which must give the very same numbers.
"""
import gc
import json
import os
import subprocess
import sys
import threading
import time

import numpy as np
import pytest

from qavrekmodules import Analytics, Core, Market, Random, Util, Vectorization
from test_analytics_configs import Sequence, acme, convention, hjm, lognormal, ois_eur, write_root

analyticsProbe = pytest.importorskip("analyticsProbe")
runtime_probe = pytest.importorskip("runtimeProbe")

HJM_TYPE = Analytics.parameter_markovian_hjm_type
VALUATION = Util.datetime(2024, 1, 15)


def monthly_dates(count):
    return [Util.datetime(2024 + month // 12, 1 + month % 12, 15) for month in range(count)]


# An upward-sloping curve of zero rates 2.5% to 3.6% out to 30 years, and a survival curve of hazard rates
# 1% to 2.2% out to 20 years, both ACT/365F.
CURVE_DAYS = [182, 365, 730, 1826, 3652, 7305, 10957]
ZERO_RATES = [0.025, 0.027, 0.029, 0.032, 0.034, 0.036, 0.035]
SURVIVAL_DAYS = [365, 1826, 3652, 7305]
HAZARD_RATES = [0.01, 0.015, 0.02, 0.022]


def curve_inputs():
    return ([VALUATION.serial() + days for days in CURVE_DAYS],
            [float(np.exp(-rate * days / 365.0)) for rate, days in zip(ZERO_RATES, CURVE_DAYS)])


def survival_inputs():
    return ([VALUATION.serial() + days for days in SURVIVAL_DAYS],
            [float(np.exp(-rate * days / 365.0)) for rate, days in zip(HAZARD_RATES, SURVIVAL_DAYS)])


def discount_curve():
    return Market.discountCurve(VALUATION, *curve_inputs(), ois_eur(), convention())


def survival_curve():
    return Market.survivalCurve(VALUATION, *survival_inputs(), acme(), convention())


def credit_hjm():
    return Analytics.parameterMarkovianHjm(np.array([[0.1]]), np.array([[0.01]]), np.array([[1.0]]),
                                           [Util.datetime(2027, 1, 15)], [Util.datetime(2027, 1, 15)], convention(),
                                           HJM_TYPE.HULL_WHITE)


DATES = monthly_dates(4)


def rate_diffusion(dates=DATES):
    return Analytics.diffusionIrMarkovianHjm(dates, discount_curve(), hjm())


def credit_diffusion(dates=DATES):
    return Analytics.diffusionCreditMarkovianHjm(dates, survival_curve(), credit_hjm())


# The rate's two factors and the credit's one: the credit factor correlated with the first rate factor.
JOINT_CORRELATION = np.array([[1.0, -0.3, 0.3], [-0.3, 1.0, 0.0], [0.3, 0.0, 1.0]])


def simulation(paths=8, dates=DATES, assets=None):
    assets = assets or [rate_diffusion(dates), credit_diffusion(dates)]
    config = Analytics.randomConfig(Random.random_type.MERSENNE_TWISTER, 7, paths, len(dates), 3)
    return Analytics.simulationManager(assets, [Analytics.changeOfMeasure() for _ in assets], JOINT_CORRELATION,
                                       config, dates)


def cms_targets(tmp_path, expiries=("1Y", "2Y", "3Y"), tenors=("1Y", "2Y", "3Y"), include_cms=True):
    envelope = {"Class": "qavrek::calibration_ir_targets_configuration", "frequency": "1Y",
                "expiries": list(expiries), "coterminal": "4Y", "cms_tenors": list(tenors), "strikes": [],
                "include_caplets": False, "include_coterminal": False, "include_cms": include_cms}
    return Analytics.calibrationIrTargetsConfiguration.read_from_json(write_root(tmp_path / "targets.json", envelope))


def hjm_settings(max_iterations=200):
    return Analytics.calibrationHjmSettings(2, (0.001, 0.03), (0.01, 1.0), HJM_TYPE.HULL_WHITE, False,
                                            max_iterations, True, False, 1e-12, 0.0, False, True)


# A start on the grids of the driver of cms_targets (six calibration dates, three expiries) whose factors
# start apart.
def grid_start(correlation):
    return Analytics.parameterMarkovianHjm(
        np.tile([0.05, 0.3], (6, 1)), np.array([[0.01, 0.003], [0.01, 0.01], [0.01, 0.01]]), correlation,
        [Util.datetime(2025 + year, 1, 15) for year in range(6)],
        [Util.datetime(2025 + year, 1, 15) for year in range(3)], convention(), HJM_TYPE.HULL_WHITE)


def flat_surface(tenors=("1Y", "2Y", "3Y")):
    """Black volatilities of 20% on a grid of expiries and tenors, one strike."""
    return Market.irVolatilitySurface(VALUATION, list(tenors), list(tenors), [],
                                      np.full((len(tenors), len(tenors), 1), 0.2), convention())


# ---------------------------------------------------------------------------------------------------------
# Types

TYPES = {
    "diffusion": object,
    "diffusionId": Market.marketDataId,
    "diffusionCredit": Analytics.diffusion,
    "diffusionCreditMarkovianHjm": Analytics.diffusionCredit,
    "diffusionCreditId": Analytics.diffusionId,
    "diffusionEquityId": Analytics.diffusionId,
    "diffusionFxId": Analytics.diffusionId,
    "diffusionIr": Analytics.diffusion,
    "diffusionIrMarkovianHjm": Analytics.diffusionIr,
    "diffusionIrId": Analytics.diffusionId,
    "simulationManager": object,
    "calibrationIrHjm": object,
}


@pytest.mark.parametrize("name, base", TYPES.items())
def test_type_names_and_bases(name, base):
    python_type = getattr(Analytics, name)
    assert f"{python_type.__module__}.{python_type.__qualname__}" == "qavrekmodules.Analytics." + name
    assert python_type.__base__ is base
    with pytest.raises(TypeError):
        type("Derived", (python_type,), {})


def test_concrete_diffusions_are_their_family_and_diffusions():
    for made, family in [(rate_diffusion(), Analytics.diffusionIr), (credit_diffusion(), Analytics.diffusionCredit)]:
        assert isinstance(made, family) and isinstance(made, Analytics.diffusion)
        assert not isinstance(made, Analytics.diffusionId)


@pytest.mark.parametrize("name", ["diffusion", "diffusionId", "diffusionCredit", "diffusionIr"])
@pytest.mark.parametrize("arguments", [(), (1,), (DATES, 2.0, "x")])
def test_abstract_types_cannot_be_instantiated(name, arguments):
    with pytest.raises(TypeError, match="^this class cannot be instantiated$"):
        getattr(Analytics, name)(*arguments)


PERSISTENCE = ["write_to_json", "read_from_json", "write_to_binary", "read_from_binary", "json_to_string"]
CONCRETE_IR = ["log_df", "discounting", "number_of_states", "number_of_factors", "states_initialize"]
CONCRETE_CREDIT = ["log_conditional_survival_probability", "survival_probability", "number_of_states",
                   "number_of_factors", "states_initialize"]

# The methods of each type, in table order.
METHODS = {
    "diffusion": ["states_initialize", "number_of_states", "number_of_factors", "create_market_data",
                  "diffusion_survival_curve", "diffusion_equity_spot", "diffusion_fx_spot", "diffusion_discount_curve"],
    "diffusionId": ["to_string", "hash"],
    "diffusionCredit": ["log_conditional_survival_probability", "survival_probability", "create_market_data"],
    "diffusionCreditMarkovianHjm": CONCRETE_CREDIT,
    "diffusionCreditId": ["hash", "to_string", "id"] + PERSISTENCE,
    "diffusionEquityId": ["hash", "to_string", "diffusion_ir_id_domestic"] + PERSISTENCE,
    "diffusionFxId": ["diffusion_ir_id_domestic", "diffusion_ir_id_foreign", "hash", "to_string"] + PERSISTENCE,
    "diffusionIr": ["log_df", "discounting", "log_normalized_discounting", "create_market_data"],
    "diffusionIrMarkovianHjm": CONCRETE_IR,
    "diffusionIrId": ["hash", "to_string", "id"] + PERSISTENCE,
    "simulationManager": ["propagate", "states_initialize", "data"],
    "calibrationIrHjm": ["calibrate", "swaptions", "cms_spread_pricing_experimental"],
}


@pytest.mark.parametrize("name, methods", METHODS.items())
def test_each_type_has_its_methods_in_table_order(name, methods):
    assert [key for key in vars(getattr(Analytics, name)) if not key.startswith("__")] == methods


TYPE_DOCS = [
    ("diffusion", "diffusion - no description provided.\n\n"),
    ("diffusionId", "diffusion_id - no description provided.\n\nSuperclass: market_data_id\n\n"),
    ("diffusionCredit", "diffusion_credit - no description provided.\n\nSuperclass: diffusion\n\n"),
    ("diffusionIr", "diffusion_ir - no description provided.\n\nSuperclass: diffusion\n\n"),
    ("diffusionCreditMarkovianHjm",
     "diffusion_credit_markovian_hjm(dates:(datetime, ...),\n    curve:survivalCurve, params:parameterMarkovianHjm)\n"
     "    -> diffusion_credit_markovian_hjm\nC++: diffusion_credit_markovian_hjm(\n    const std::vector<datetime> "
     "&dates,\n    const ptr_const<survival_curve> &curve,\n    const ptr_const<parameter_markovian_hjm> &params)\n\n"
     "diffusion_credit_markovian_hjm - no description provided.\n\nSuperclass: diffusion_credit\n\n"),
    ("diffusionIrMarkovianHjm",
     "diffusion_ir_markovian_hjm(dates:(datetime, ...), curve:discountCurve,\n     params:parameterMarkovianHjm) -> "
     "diffusion_ir_markovian_hjm\nC++: diffusion_ir_markovian_hjm(const std::vector<datetime> &dates,\n    const "
     "ptr_const<discount_curve> &curve,\n    const ptr_const<parameter_markovian_hjm> &params)\n\n"
     "diffusion_ir_markovian_hjm - no description provided.\n\nSuperclass: diffusion_ir\n\n"),
    ("diffusionCreditId",
     "diffusion_credit_id(id:defaultId) -> diffusion_credit_id\nC++: explicit diffusion_credit_id(const "
     "ptr_const<default_id> &id)\ndiffusion_credit_id(__a:diffusionCreditId) -> diffusion_credit_id\nC++: "
     "diffusion_credit_id(const &diffusion_credit_id)\n\ndiffusion_credit_id - no description provided.\n\n"
     "Superclass: diffusion_id\n\n"),
    ("diffusionIrId",
     "diffusion_ir_id(id:discountId) -> diffusion_ir_id\nC++: explicit diffusion_ir_id(const ptr_const<discount_id> "
     "&id)\ndiffusion_ir_id(__a:diffusionIrId) -> diffusion_ir_id\nC++: diffusion_ir_id(const &diffusion_ir_id)\n\n"
     "diffusion_ir_id - no description provided.\n\nSuperclass: diffusion_id\n\n"),
    ("diffusionEquityId",
     "diffusion_equity_id(domestic_ir_id:discountId, name:key)\n    -> diffusion_equity_id\nC++: "
     "diffusion_equity_id(const ptr_const<discount_id> &domestic_ir_id,\n     key name)\ndiffusion_equity_id(__a:"
     "diffusionEquityId) -> diffusion_equity_id\nC++: diffusion_equity_id(const &diffusion_equity_id)\n\n"
     "diffusion_equity_id - no description provided.\n\nSuperclass: diffusion_id\n\n"),
    ("diffusionFxId",
     "diffusion_fx_id(diffusion_ir_id_domestic:discountId,\n    diffusion_ir_id_foreign:discountId) -> "
     "diffusion_fx_id\nC++: diffusion_fx_id(\n    const ptr_const<discount_id> &diffusion_ir_id_domestic,\n    const "
     "ptr_const<discount_id> &diffusion_ir_id_foreign)\ndiffusion_fx_id(__a:diffusionFxId) -> diffusion_fx_id\nC++: "
     "diffusion_fx_id(const &diffusion_fx_id)\n\ndiffusion_fx_id - no description provided.\n\nSuperclass: "
     "diffusion_id\n\n"),
    ("simulationManager",
     "simulation_manager(assets:[diffusion, ...],\n    change_of_measures:[changeOfMeasure, ...], "
     "correlation:matrix_IdE,\n     config:randomConfig, simulation_dates:(datetime, ...))\n    -> "
     "simulation_manager\nC++: simulation_manager(std::vector<ptr_const<diffusion> > &&assets,\n    "
     "std::vector<ptr_const<change_of_measure> > &&change_of_measures,\n    const matrix<double> &correlation,\n"
     "    const ptr_const<random_config> &config,\n    const std::vector<datetime> &simulation_dates)\n\n"
     "simulation_manager - no description provided.\n\n"),
    ("calibrationIrHjm",
     "calibration_ir_hjm(valuation_date:datetime, curve:discountCurve,\n    targets_config:"
     "calibrationIrTargetsConfiguration,\n    convention:dayCountConvention) -> calibration_ir_hjm\nC++: "
     "calibration_ir_hjm(const datetime &valuation_date,\n    const ptr_const<discount_curve> &curve,\n    const "
     "ptr_const<calibration_ir_targets_configuration> &targets_config,\n     const ptr_const<day_count_convention> "
     "&convention)\n\ncalibration_ir_hjm - no description provided.\n\n"),
]


@pytest.mark.parametrize("name, doc", TYPE_DOCS)
def test_type_documentation(name, doc):
    assert getattr(Analytics, name).__doc__ == doc


METHOD_DOCS = [
    ("diffusionIr", "log_df", "log_df(self, output:vector_IdE, states:matrix_IdE, from_:datetime,\n     to:datetime) "
     "-> None\nC++: virtual void log_df(vector<double> &output,\n    const matrix<double> &states, const datetime "
     "&from,\n    const datetime &to)\n\n"),
    ("diffusionIr", "log_normalized_discounting", "log_normalized_discounting(self, states:matrix_IdE) -> "
     "vector_IdE\nC++: vector<double> log_normalized_discounting(\n    const matrix<double> &states)\n\n"),
    ("diffusionCredit", "create_market_data", "create_market_data(self, asset:diffusion, next:matrix_IdE,\n    "
     "current:matrix_IdE, data:(marketData, ...)) -> marketData\nC++: ptr_const<market_data> create_market_data(\n"
     "    const ptr_const<diffusion> &asset, matrix<double> &&next,\n    matrix<double> &&current,\n    const "
     "std::vector<ptr_const<market_data> > &data) override;\n\n"),
    ("diffusionCreditMarkovianHjm", "survival_probability", "survival_probability(self, output:vector_IdE, "
     "states:matrix_IdE,\n    from_:datetime) -> None\nC++: void survival_probability(vector<double> &output,\n    "
     "const matrix<double> &states, const datetime &from) override;\n\n"),
    ("diffusionIrMarkovianHjm", "states_initialize", "states_initialize(self, states:matrix_IdE) -> None\nC++: void "
     "states_initialize(matrix<double> &states) override;\n\n"),
    ("diffusionCreditId", "id", "id(self) -> defaultId\nC++: const ptr_const<default_id> &id()\n\n"),
    ("diffusionIrId", "hash", "hash(self) -> int\nC++: size_t hash() noexcept override;\n\n"),
    ("diffusionIrId", "read_from_json", "read_from_json(file_name:str) -> diffusionIrId\nC++: static "
     "ptr_const<qavrek::diffusion_ir_id> read_from_json(\n    const std::string &file_name)\n\n"),
    ("diffusionFxId", "diffusion_ir_id_foreign", "diffusion_ir_id_foreign(self) -> diffusionIrId\nC++: const "
     "ptr_const<diffusion_ir_id> &diffusion_ir_id_foreign()\n\n"),
    ("diffusionEquityId", "write_to_binary", "write_to_binary(file_name:str, rhs:diffusionEquityId) -> None\nC++: "
     "static void write_to_binary(const std::string &file_name,\n    const ptr_const<diffusion_equity_id> &rhs)\n\n"),
    ("simulationManager", "data", "data(self, i:int) -> marketData\nC++: const ptr_const<market_data> &data(size_t "
     "i)\n\n"),
    ("simulationManager", "propagate", "propagate(self, time_index:int) -> None\nC++: void propagate(size_t "
     "time_index)\n\n"),
    ("calibrationIrHjm", "calibrate", "calibrate(self, volatility_surface:irVolatilitySurface,\n    "
     "correlation:matrix_IdE, settings:calibrationHjmSettings,\n    strikes:(float, ...)=...,\n    "
     "initial_parameter:parameterMarkovianHjm=...)\n    -> parameterMarkovianHjm\nC++: "
     "ptr_const<parameter_markovian_hjm> calibrate(\n    const ptr_const<ir_volatility_surface> &volatility_surface,"
     "\n    const matrix<double> &correlation,\n    const ptr_const<calibration_hjm_settings> &settings,\n    const "
     "std::vector<double> &strikes={ },\n    const ptr_const<parameter_markovian_hjm> &initial_parameter={ })\n\n"),
    ("calibrationIrHjm", "swaptions", "swaptions(self) -> (calibrationIrHjmSwaption, ...)\nC++: const "
     "std::vector<ptr_const<calibration_ir_hjm_swaption> > &swaptions(\n    )\n\n"),
    ("calibrationIrHjm", "cms_spread_pricing_experimental", "cms_spread_pricing_experimental(valuation_date:datetime,"
     "\n    expiry_date:datetime, parameter:parameterMarkovianHjm,\n    discount_crv:discountCurve, "
     "use_forward_measure:bool=True)\n    -> float\nC++: static double cms_spread_pricing_experimental(\n    const "
     "datetime &valuation_date, const datetime &expiry_date,\n    const ptr_const<parameter_markovian_hjm> &parameter,"
     "\n    const ptr_const<discount_curve> &discount_crv,\n    bool use_forward_measure=true)\n\n"),
]


@pytest.mark.parametrize("name, method, doc", METHOD_DOCS)
def test_method_documentation(name, method, doc):
    assert getattr(getattr(Analytics, name), method).__doc__ == doc


# ---------------------------------------------------------------------------------------------------------
# Construction and call errors: counts, argument types and the library's checks

def usd_ois():
    return Market.discountId(Market.discountDefinition("OIS"), Market.currency("USD"))


ERRORS = [
    (lambda: Analytics.diffusionIrMarkovianHjm(DATES, discount_curve()), TypeError,
     "diffusion_ir_markovian_hjm() takes exactly 3 arguments (2 given)"),
    (lambda: Analytics.diffusionCreditMarkovianHjm(DATES, survival_curve(), credit_hjm(), 1), TypeError,
     "diffusion_credit_markovian_hjm() takes exactly 3 arguments (4 given)"),
    (lambda: Analytics.diffusionCreditMarkovianHjm(DATES, discount_curve(), credit_hjm()), TypeError,
     "diffusion_credit_markovian_hjm() argument 2: method requires a survivalCurve, a discountCurve was provided."),
    (lambda: Analytics.diffusionIrMarkovianHjm(DATES, discount_curve(), lognormal()), TypeError,
     "diffusion_ir_markovian_hjm() argument 3: method requires a parameterMarkovianHjm, a parameterLognormal was "
     "provided."),
    (lambda: Analytics.diffusionIrMarkovianHjm([], discount_curve(), hjm()), RuntimeError,
     "a diffusion needs its simulation dates, the first being the start of the simulation"),
    (lambda: Analytics.diffusionIrMarkovianHjm(DATES[::-1], discount_curve(), hjm()), RuntimeError,
     "simulation date 1 (2024-03-15) is not after the one before it (2024-04-15)"),
    (lambda: Analytics.diffusionIrId(), TypeError, "diffusion_ir_id() has no overload that takes 0 arguments"),
    (lambda: Analytics.diffusionIrId(ois_eur(), ois_eur()), TypeError,
     "diffusion_ir_id() has no overload that takes 2 arguments"),
    (lambda: Analytics.diffusionIrId(acme()), TypeError,
     "diffusion_ir_id(): no overload takes the arguments (defaultId)"),
    (lambda: Analytics.diffusionCreditId(), TypeError, "diffusion_credit_id() has no overload that takes 0 arguments"),
    (lambda: Analytics.diffusionCreditId(acme(), acme()), TypeError,
     "diffusion_credit_id() has no overload that takes 2 arguments"),
    (lambda: Analytics.diffusionCreditId(ois_eur()), TypeError,
     "diffusion_credit_id(): no overload takes the arguments (discountId)"),
    (lambda: Analytics.diffusionEquityId(ois_eur()), TypeError,
     "diffusion_equity_id() argument 1: method requires a diffusionEquityId, a discountId was provided."),
    (lambda: Analytics.diffusionEquityId(ois_eur(), "SX5E", 1), TypeError,
     "diffusion_equity_id() has no overload that takes 3 arguments"),
    (lambda: Analytics.diffusionFxId(ois_eur()), TypeError,
     "diffusion_fx_id() argument 1: method requires a diffusionFxId, a discountId was provided."),
    (lambda: Analytics.diffusionFxId(), TypeError, "diffusion_fx_id() has no overload that takes 0 arguments"),
    (lambda: Analytics.diffusionIrId.json_to_string(ois_eur()), TypeError,
     "json_to_string() argument 1: method requires a diffusionIrId, a discountId was provided."),
    (lambda: Analytics.simulationManager([rate_diffusion()], [Analytics.changeOfMeasure()], np.eye(2), 1), TypeError,
     "simulation_manager() takes exactly 5 arguments (4 given)"),
    (lambda: Analytics.simulationManager(rate_diffusion(), [], np.eye(2), 1, DATES), TypeError,
     "simulation_manager() argument 1: expected a sequence, got diffusionIrMarkovianHjm"),
    (lambda: Analytics.simulationManager([Analytics.diffusionIrId(ois_eur())], [Analytics.changeOfMeasure()],
                                         np.eye(2), 1, DATES), TypeError,
     "simulation_manager() argument 1: method requires a diffusion, a diffusionIrId was provided."),
    (lambda: simulation(assets=[credit_diffusion(), rate_diffusion()]), RuntimeError,
     "the first diffusion of a simulation must be the domestic interest rate, whose view is a discount curve"),
    (lambda: simulation(assets=[rate_diffusion(monthly_dates(3)), credit_diffusion()]), RuntimeError,
     "diffusion 0 was built on other dates than the simulation dates"),
    (lambda: Analytics.calibrationIrHjm(VALUATION, discount_curve(), convention()), TypeError,
     "calibration_ir_hjm() takes exactly 4 arguments (3 given)"),
]


@pytest.mark.parametrize("call, error, message", ERRORS)
def test_construction_errors(call, error, message):
    with pytest.raises(error) as raised:
        call()
    assert str(raised.value).endswith(message)


KEYWORD_CALLS = [
    lambda: Analytics.diffusionIrMarkovianHjm(DATES, discount_curve(), params=hjm()),
    lambda: Analytics.diffusionCreditMarkovianHjm(dates=DATES, curve=survival_curve(), params=credit_hjm()),
    lambda: Analytics.diffusionIrId(id=ois_eur()),
    lambda: Analytics.diffusionCreditId(acme(), copy=False),
    lambda: Analytics.diffusionEquityId(ois_eur(), name="SX5E"),
    lambda: Analytics.diffusionFxId(ois_eur(), foreign=usd_ois()),
    lambda: Analytics.simulationManager([], [], np.eye(1), None, DATES, x=1),
    lambda: Analytics.calibrationIrHjm(VALUATION, discount_curve(), None, convention(), x=1),
]


@pytest.mark.parametrize("call", KEYWORD_CALLS)
def test_constructors_refuse_keyword_arguments(call):
    with pytest.raises(TypeError, match="^this function takes no keyword arguments$"):
        call()


@pytest.mark.parametrize("make", [list, tuple, Sequence, np.array], ids=lambda f: f.__name__)
def test_diffusions_take_their_dates_as_any_sequence(make):
    serials = [date.serial() for date in DATES]
    for built in (Analytics.diffusionIrMarkovianHjm(make(serials), discount_curve(), hjm()),
                  Analytics.diffusionCreditMarkovianHjm(make(DATES if make is not np.array else serials),
                                                        survival_curve(), credit_hjm())):
        assert built.number_of_states() == built.number_of_factors() + 1


# ---------------------------------------------------------------------------------------------------------
# Diffusion ids

def equity_id():
    return Analytics.diffusionEquityId(ois_eur(), "SX5E")


IDS = {
    "diffusionIrId": (lambda: Analytics.diffusionIrId(ois_eur()), "OIS_EUR"),
    "diffusionCreditId": (lambda: Analytics.diffusionCreditId(acme()), "ACME_USD_SNRFOR_XR14_2014"),
    "diffusionEquityId": (equity_id, "SX5E_OIS_EUR"),
    "diffusionFxId": (lambda: Analytics.diffusionFxId(ois_eur(), usd_ois()), "OIS_EUR_OIS_USD"),
}


def low_32_bits(value):
    low = value & 0xFFFFFFFF
    return low - 2 ** 32 if low >= 2 ** 31 else low


@pytest.mark.parametrize("name", IDS)
def test_id_text_hash_and_copies(name):
    make, text = IDS[name]
    kind = getattr(Analytics, name)
    made = make()
    assert made.to_string() == text
    # The method gives the library's 64 bits; Python's hash keeps the low 32, the same on every call.
    full = made.hash()
    assert 2 ** 32 <= full < 2 ** 64 and full == make().hash()
    assert hash(made) == low_32_bits(full) == hash(made)
    assert str(made) == kind.json_to_string(made) != made.to_string()
    assert json.loads(str(made))["Class"] == "qavrek::" + kind.__doc__.split("(")[0]
    copy = kind(made)
    assert type(copy) is kind and (copy.to_string(), copy.hash(), str(copy)) == (text, full, str(made))
    # Python compares ids by identity; the library compares them by value.
    assert copy != made and make() != made


@pytest.mark.parametrize("name", IDS)
@pytest.mark.parametrize("suffix, write, read", [(".json", "write_to_json", "read_from_json"),
                                                 (".bin", "write_to_binary", "read_from_binary")])
def test_ids_round_trip_through_files(tmp_path, name, suffix, write, read):
    made = IDS[name][0]()
    kind = getattr(Analytics, name)
    path = str(tmp_path / ("id" + suffix))
    assert getattr(kind, write)(path, made) is None
    loaded = getattr(kind, read)(path)
    assert type(loaded) is kind and str(loaded) == str(made) and loaded.hash() == made.hash()


def test_ids_hand_out_the_ids_they_were_built_from():
    ir = Analytics.diffusionIrId(ois_eur())
    assert type(ir.id()) is Market.discountId and ir.id() == ois_eur()
    assert type(Analytics.diffusionCreditId(acme()).id()) is Market.defaultId
    assert Analytics.diffusionCreditId(acme()).id() == acme()
    domestic = equity_id().diffusion_ir_id_domestic()
    assert type(domestic) is Analytics.diffusionIrId and domestic.id() == ois_eur()
    fx = Analytics.diffusionFxId(ois_eur(), usd_ois())
    assert (fx.diffusion_ir_id_domestic().id(), fx.diffusion_ir_id_foreign().id()) == (ois_eur(), usd_ois())
    assert fx.diffusion_ir_id_domestic().hash() == ir.hash()


def test_a_copied_id_shares_its_parts_and_leaves_the_source_alone():
    source = Analytics.diffusionFxId(ois_eur(), usd_ois())
    text = str(source)
    copy = Analytics.diffusionFxId(source)
    assert str(source) == text
    del source
    gc.collect()
    assert str(copy) == text and copy.diffusion_ir_id_foreign().id() == usd_ois()


def test_ids_held_as_the_base_type_read_as_their_text():
    ids = [Analytics.diffusionIrId(ois_eur()), Analytics.diffusionCreditId(acme()), equity_id()]
    manager = Analytics.correlationManager(VALUATION, ids, [2, 1, 1], np.eye(4))
    for held, made in zip(manager.ids(), ids):
        assert type(held) is Analytics.diffusionId
        assert str(held) == held.to_string() == made.to_string()
        assert held.hash() == made.hash() and hash(held) == hash(made)


# ---------------------------------------------------------------------------------------------------------
# Diffusions on states given from Python

@pytest.mark.parametrize("make, factors", [(rate_diffusion, 2), (credit_diffusion, 1)])
def test_counts_and_initial_states(make, factors):
    made = make()
    for call in (made.number_of_factors, lambda: Analytics.diffusion.number_of_factors(made)):
        assert call() == factors
    assert made.number_of_states() == Analytics.diffusion.number_of_states(made) == factors + 1
    states = Vectorization.matrix_IdE(np.ones((factors + 1, 5)))
    view = np.asarray(states)
    assert made.states_initialize(states) is None
    assert np.array_equal(view, np.zeros((factors + 1, 5)))
    with pytest.raises(TypeError, match=r"^states_initialize\(\) takes exactly 1 argument \(0 given\)$"):
        made.states_initialize()


def test_at_the_start_of_the_simulation_the_prices_are_the_market_curves():
    rate, credit = rate_diffusion(), credit_diffusion()
    output = Vectorization.vector_IdE(5)
    later = Util.datetime(2030, 6, 1)
    # Zero states at the first date: no deviation from the curves, whose values the model adds.
    rate.log_df(output, np.zeros((3, 5)), VALUATION, later)
    assert np.asarray(output) == pytest.approx(np.full(5, discount_curve().log_df(VALUATION, later)), rel=1e-15)
    Analytics.diffusionCredit.log_conditional_survival_probability(credit, output, np.zeros((2, 5)), VALUATION, later)
    assert np.asarray(output) == pytest.approx(
        np.full(5, survival_curve().log_survival_probability(VALUATION, later)), rel=1e-15)
    rate.discounting(output, np.zeros((3, 5)), VALUATION)
    assert np.array_equal(np.asarray(output), np.ones(5))
    credit.survival_probability(output, np.zeros((2, 5)), VALUATION)
    assert np.array_equal(np.asarray(output), np.ones(5))


@pytest.mark.parametrize("query, message", [
    (lambda d, out: d.log_df(out, np.zeros((3, 5)), Util.datetime(2024, 1, 20), DATES[2]),
     "which is not a simulation date of the diffusion: simulated states belong to their date"),
    (lambda d, out: d.discounting(out, np.zeros((1, 5)), DATES[1]),
     "the states have 1 rows, but the row asked for is 2"),
    (lambda d, out: d.log_df(out, np.zeros((1, 5)), DATES[1], DATES[2]), "the states have 1 rows for 2 factors"),
    (lambda d, out: d.log_df(out, np.zeros((3, 4)), DATES[1], DATES[2]), "expression has diferrent size "),
])
def test_queries_refuse_dates_and_states_that_do_not_fit(query, message):
    output = Vectorization.vector_IdE(5)
    with pytest.raises(RuntimeError) as raised:
        query(rate_diffusion(), output)
    assert message in str(raised.value)


def test_the_normalized_discounting_is_a_new_copy_of_the_discounting_row():
    rate = rate_diffusion()
    states = Vectorization.matrix_IdE(np.arange(12.0).reshape(3, 4))
    first = rate.log_normalized_discounting(states)
    second = Analytics.diffusionIr.log_normalized_discounting(rate, np.arange(12.0).reshape(3, 4))
    assert type(first) is Vectorization.vector_IdE and first is not second
    assert np.array_equal(np.asarray(first), [8.0, 9.0, 10.0, 11.0])
    states[2, 0] = -1.0
    assert np.array_equal(np.asarray(first), np.asarray(second))


@pytest.mark.parametrize("make, view_of, query", [
    (rate_diffusion, Analytics.diffusion.diffusion_discount_curve,
     lambda view, out: view.log_df(out, VALUATION, Util.datetime(2030, 6, 1))),
    (credit_diffusion, Analytics.diffusion.diffusion_survival_curve,
     lambda view, out: view.log_survival_probability(out, VALUATION, Util.datetime(2030, 6, 1))),
])
def test_a_market_data_view_takes_the_states_over(make, view_of, query):
    made = make()
    rows = made.number_of_states()
    next_states, current = (Vectorization.matrix_IdE(np.zeros((rows, 4))) for _ in range(2))
    data = Analytics.diffusion.create_market_data(made, made, next_states, current, ())
    assert type(data) is Market.marketData
    for moved in (next_states, current):
        assert (moved.rows(), moved.columns()) == (0, 0) and np.asarray(moved).shape == (0, 0)
        with pytest.raises(IndexError):
            moved[0, 0]
    view = view_of(data)
    output = Vectorization.vector_IdE(4)
    query(view, output)
    expected = (discount_curve().log_df(VALUATION, Util.datetime(2030, 6, 1)) if make is rate_diffusion else
                survival_curve().log_survival_probability(VALUATION, Util.datetime(2030, 6, 1)))
    assert np.asarray(output) == pytest.approx(np.full(4, expected), rel=1e-15)
    # The view answers path by path only.
    with pytest.raises(NotImplementedError):
        view.df(VALUATION, DATES[1]) if make is rate_diffusion else view.survival_probability(VALUATION, DATES[1])


def test_create_market_data_refuses_what_it_cannot_take_and_leaves_it_alone():
    rate = rate_diffusion()
    next_states = Vectorization.matrix_IdE(np.ones((3, 2)))
    with pytest.raises(TypeError, match=r"^create_market_data\(\) takes exactly 4 arguments \(3 given\)$"):
        rate.create_market_data(rate, next_states, np.ones((3, 2)))
    with pytest.raises(TypeError, match="argument 4"):
        rate.create_market_data(rate, next_states, np.ones((3, 2)), 1)
    with pytest.raises(TypeError, match="argument 4: method requires a marketData, a diffusionIrId was provided."):
        rate.create_market_data(rate, next_states, np.ones((3, 2)), [Analytics.diffusionIrId(ois_eur())])
    with pytest.raises(RuntimeError, match="must be given the shared pointer that holds this diffusion"):
        rate.create_market_data(rate_diffusion(), next_states, np.ones((3, 2)), [])
    viewed = np.asarray(next_states)
    with pytest.raises(BufferError, match="viewed through a buffer"):
        rate.create_market_data(rate, next_states, np.ones((3, 2)), [])
    assert next_states.rows() == 3 and np.array_equal(viewed, np.ones((3, 2)))
    # Converted arguments are temporaries: the arrays stay as they were.
    arrays = np.ones((3, 2)), np.ones((3, 2))
    rate.create_market_data(rate, *arrays, [])
    assert all(np.array_equal(array, np.ones((3, 2))) for array in arrays)


def test_a_view_of_another_kind_comes_back_holding_nothing():
    rate = rate_diffusion()
    data = rate.create_market_data(rate, np.zeros((3, 2)), np.zeros((3, 2)), [])
    for function, kind in [(Analytics.diffusion.diffusion_survival_curve, Market.survivalCurve),
                           (Analytics.diffusion.diffusion_equity_spot, Market.equitySpot),
                           (Analytics.diffusion.diffusion_fx_spot, Market.fxSpot)]:
        empty = function(data)
        assert type(empty) is kind and repr(empty).endswith("holding nothing>")
    # An object that holds nothing is refused before the library is called.
    with pytest.raises(ValueError, match="the survivalCurve object holds no library object"):
        Analytics.diffusion.diffusion_discount_curve(Analytics.diffusion.diffusion_survival_curve(data))
    assert type(rate.diffusion_discount_curve(data)) is Market.discountCurve


# ---------------------------------------------------------------------------------------------------------
# Simulation manager

@pytest.mark.parametrize("sequence", [list, tuple, Sequence])
def test_simulation_manager_takes_any_sequence_and_gives_market_data_views(sequence):
    assets = [rate_diffusion(), credit_diffusion()]
    config = Analytics.randomConfig(Random.random_type.MERSENNE_TWISTER, 7, 8, len(DATES), 3)
    manager = Analytics.simulationManager(sequence(assets), sequence([Analytics.changeOfMeasure()] * 2),
                                          JOINT_CORRELATION, config, sequence(DATES))
    assert [type(manager.data(i)) for i in range(2)] == [Market.marketData] * 2
    assert type(Analytics.diffusion.diffusion_survival_curve(manager.data(1))) is Market.survivalCurve
    assert str(manager) == repr(manager)
    with pytest.raises(TypeError, match="unhashable"):
        hash(manager)


@pytest.mark.parametrize("steps, error, message", [
    ([("data", 2)], RuntimeError, "diffusion 2 is out of range: the simulation has 2 diffusions"),
    ([("propagate", 1)], RuntimeError, "the states are not set: call states_initialize before the first step"),
    ([("states_initialize",), ("propagate", 2)], RuntimeError,
     "step 2 does not follow the date reached, 0: the steps run in order from 1"),
    ([("states_initialize",), ("propagate", 0)], RuntimeError, "time_index 0 is not a simulation step"),
    ([("states_initialize",), ("propagate", 4)], RuntimeError,
     "time_index 4 is not a simulation step: the steps run from 1 to 3"),
    ([("propagate", -1)], ValueError, "propagate() argument 1: expected a non-negative int of at most 64 bits"),
    ([("propagate",)], TypeError, "propagate() takes exactly 1 argument (0 given)"),
])
def test_simulation_steps_and_views_are_checked(steps, error, message):
    manager = simulation()
    *before, last = steps
    for name, *arguments in before:
        getattr(manager, name)(*arguments)
    with pytest.raises(error) as raised:
        getattr(manager, last[0])(*last[1:])
    assert message in str(raised.value)


def test_views_read_the_latest_states_and_keep_their_manager_alive():
    manager = simulation(paths=6)
    view = Analytics.diffusion.diffusion_discount_curve(manager.data(0))
    data = manager.data(0)
    del manager
    gc.collect()
    factors = Vectorization.vector_IdE(6)
    view.discounting(factors, DATES[0])
    assert np.array_equal(np.asarray(factors), np.ones(6))
    assert type(Analytics.diffusion.diffusion_discount_curve(data)) is Market.discountCurve


def test_a_large_step_runs_without_the_lock_its_views_busy_and_stops_on_ctrl_c(sigint_when):
    # Two million paths of three factors: steps of some six million draws each. Another thread runs while
    # one of them does, sees the manager and its views busy, and sends the signal; the walk goes on until
    # then (a step held the lock, the thread would never see that). The ceiling only ends a hang.
    manager = simulation(paths=2_000_000)
    views = [manager.data(0), manager.data(1)]
    seen = sigint_when(lambda: runtime_probe.busy(manager) and all(runtime_probe.busy(view) for view in views))
    ceiling = time.monotonic() + 60.0
    with pytest.raises(KeyboardInterrupt):
        while time.monotonic() < ceiling:
            manager.states_initialize()
            for step in range(1, len(DATES)):
                manager.propagate(step)
    assert seen["sent"]
    # However far the step went, the walk starts again.
    manager.states_initialize()
    manager.propagate(1)
    discounting = Vectorization.vector_IdE(2_000_000)
    Analytics.diffusion.diffusion_discount_curve(manager.data(0)).discounting(discounting, DATES[1])
    assert np.all(np.isfinite(np.asarray(discounting)))


def test_steps_refuse_views_that_a_long_call_reads():
    # A long call on another thread reads a view (as an instrument's simulated value reads a curve): the
    # states under it must not change, so steps and starts are refused until it ends.
    manager = simulation()
    manager.states_initialize()
    reader = analyticsProbe.probeViewReader()
    taken = analyticsProbe.probeViewReader.reads_taken()
    worker = threading.Thread(target=reader.read, args=(manager.data(1), 60.0))
    worker.start()
    while analyticsProbe.probeViewReader.reads_taken() == taken:
        pass  # until the reads are under way
    for write in (lambda: manager.propagate(1), manager.states_initialize):
        with pytest.raises(RuntimeError, match="^the view of diffusion 1 is read by a long call: the states cannot "
                                               "change under it$"):
            write()
    # So is any operation that takes the view to change it.
    with pytest.raises(RuntimeError, match="^write\\(\\) argument 1: the marketData is read by a long call: it "
                                           "cannot change under it$"):
        analyticsProbe.probeViewReader.write(manager.data(1))
    # And finalize, a const operation that rewrites the view's values, by the method and through the class.
    before = manager.data(1).valuation_date()
    for finalize in (manager.data(1).finalize, lambda date: Market.marketData.finalize(manager.data(1), date)):
        with pytest.raises(RuntimeError, match="^the marketData is read by a long call: it cannot change under it$"):
            finalize(DATES[2])
    assert manager.data(1).valuation_date() == before
    analyticsProbe.probeViewReader.stop_reads()
    worker.join()
    manager.propagate(1)


# ---------------------------------------------------------------------------------------------------------
# Markovian HJM calibration driver

def test_calibrate_takes_three_to_five_arguments(tmp_path):
    driver = Analytics.calibrationIrHjm(VALUATION, discount_curve(), cms_targets(tmp_path), convention())
    surface, settings = flat_surface(), hjm_settings(max_iterations=1)
    correlation = np.array([[1.0, -0.4], [-0.4, 1.0]])
    three = driver.calibrate(surface, correlation, settings)
    assert type(three) is Analytics.parameterMarkovianHjm and three.number_of_factors() == 2
    # No strikes and an empty list of them are the same: each target at its swap rate.
    assert str(driver.calibrate(surface, Vectorization.matrix_IdE(correlation), settings, [])) == str(three)
    assert str(Analytics.calibrationIrHjm.calibrate(driver, surface, correlation, settings, np.array([]))) == str(three)
    # A start of its own changes where the optimiser ends after one step.
    start = grid_start(correlation)
    assert str(driver.calibrate(surface, correlation, settings, [], start)) != str(three)
    for count in (2, 6):
        with pytest.raises(TypeError, match=rf"^calibrate\(\) takes from 3 to 5 arguments \({count} given\)$"):
            driver.calibrate(*[surface, correlation, settings, [], start, 1][:count])
    with pytest.raises(TypeError, match="argument 5: method requires a parameterMarkovianHjm, a list was provided."):
        driver.calibrate(surface, correlation, settings, [], [])
    with pytest.raises(RuntimeError, match="correlation matrix is bad!"):
        driver.calibrate(surface, np.ones((2, 3)), settings)


def test_swaptions_answer_only_a_driver_without_targets(tmp_path):
    with_targets = Analytics.calibrationIrHjm(VALUATION, discount_curve(), cms_targets(tmp_path), convention())
    with pytest.raises(ValueError, match='^cannot create object of unknown type "calibrationIrHjmSwaption"$'):
        with_targets.swaptions()
    without = Analytics.calibrationIrHjm(VALUATION, discount_curve(), cms_targets(tmp_path, include_cms=False),
                                         convention())
    assert without.swaptions() == ()
    assert str(with_targets) == repr(with_targets)
    with pytest.raises(TypeError, match="unhashable"):
        hash(with_targets)


def test_cms_spread_pricing_defaults_to_the_forward_measure():
    pricing = Analytics.calibrationIrHjm.cms_spread_pricing_experimental
    expiry = Util.datetime(2026, 1, 15)
    forward = pricing(VALUATION, expiry, hjm(), discount_curve())
    assert forward > 0.0 and forward == pricing(VALUATION, expiry, hjm(), discount_curve(), True)
    assert pricing(VALUATION, expiry, hjm(), discount_curve(), False) > 0.0
    with pytest.raises(TypeError, match=r"^cms_spread_pricing_experimental\(\) takes from 4 to 5 arguments \(3 "):
        pricing(VALUATION, expiry, hjm())


def long_calibration(tmp_path):
    """200 targets on three factors with finite-difference Jacobians: two minutes of work or more
    uninterrupted, in evaluations of the targets of milliseconds. Gives the driver, the surface and the
    settings, and settings of one iteration."""
    expiries = [f"{years}Y" for years in range(1, 21)]
    tenors = [f"{years}Y" for years in range(1, 11)]
    driver = Analytics.calibrationIrHjm(VALUATION, discount_curve(), cms_targets(tmp_path, expiries, tenors),
                                        convention())
    surface = Market.irVolatilitySurface(VALUATION, expiries, tenors, [], np.full((20, 10, 1), 0.2), convention())
    settings = Analytics.calibrationHjmSettings(3, (0.001, 0.05), (0.01, 1.0), HJM_TYPE.HULL_WHITE, False, 100000,
                                                False, True, 0.0)
    one_iteration = Analytics.calibrationHjmSettings(3, (0.001, 0.05), (0.01, 1.0), HJM_TYPE.HULL_WHITE, False, 1)
    return driver, surface, settings, one_iteration


def test_a_calibration_lets_other_threads_run_and_stops_on_ctrl_c(tmp_path, sigint_after, thread_counter):
    driver, surface, settings, one_iteration = long_calibration(tmp_path)
    sent = sigint_after(0.3)
    before = thread_counter()
    with pytest.raises(KeyboardInterrupt):
        driver.calibrate(surface, np.eye(3), settings)
    # The library looks at the signals ten times a second: the calibration stopped long before its end. The
    # ceiling, far above that, only tells a stop from a run to the end on a loaded machine.
    assert time.monotonic() - sent["at"] < 5.0
    # The counting thread ran while the calibration did.
    assert thread_counter() - before > 1000
    # The driver is still usable.
    assert driver.calibrate(surface, np.eye(3), one_iteration).number_of_factors() == 3


def test_a_set_that_a_calibration_reads_cannot_be_written_meanwhile(tmp_path, sigint_when):
    # The starting set is read without the interpreter lock for as long as the calibration runs (minutes,
    # uninterrupted): writing it in place from another thread is refused, by the method and through the class.
    driver, surface, settings, one_iteration = long_calibration(tmp_path)
    correlation = np.eye(3)
    start = driver.calibrate(surface, correlation, one_iteration)
    values = [0.0] * start.state_parameters_size()
    start.get_state_parameters(values)
    before = str(start)
    outcomes = []

    def try_to_write():
        if not runtime_probe.busy(driver):
            return False
        for write in (lambda: start.set_state_parameters(values),
                      lambda: Core.aadStateParametersManager.set_state_parameters(start, values)):
            try:
                write()
                outcomes.append("written")
            except RuntimeError as refused:
                outcomes.append(str(refused))
        return True

    seen = sigint_when(try_to_write)
    with pytest.raises(KeyboardInterrupt):
        driver.calibrate(surface, correlation, settings, [], start)
    assert seen["sent"]
    assert outcomes == ["the aadStateParametersManager is read by a long call: it cannot change under it"] * 2
    assert str(start) == before
    # Once the calibration has ended the set is the caller's again.
    assert start.set_state_parameters(values) == len(values)


# ---------------------------------------------------------------------------------------------------------
# The workflow: plant, calibrate, save, simulate, read the paths, against the same run in C++

def reference_program():
    for folder in sys.path:
        program = os.path.join(folder, "hjm_workflow_reference")
        if os.access(program, os.X_OK):
            return program
    pytest.fail("hjm_workflow_reference is not built beside the probe modules")


PATHS = 10000
# Ten years of monthly steps, the paths read once a year: at ten years the convexity of the discount factors
# and survival probabilities, which a wrong drift would leave out, is 4.5 and 6.4 standard errors.
MONTHS = 120
RECORDED = list(range(0, MONTHS + 1, 12))
TENORS = ["1Y", "2Y", "3Y"]


def test_calibrate_save_simulate_and_read_the_paths_as_the_cpp_api_does(tmp_path):
    folder = str(tmp_path)
    rates, credit = discount_curve(), survival_curve()
    # The two-factor set to plant: a slow and a fast factor, negatively correlated.
    correlation = np.array([[1.0, -0.4], [-0.4, 1.0]])
    known = Analytics.parameterMarkovianHjm(np.array([[0.03, 0.5]]), np.array([[0.006, 0.005]]), correlation,
                                            [Util.datetime(2034, 1, 15)], [Util.datetime(2034, 1, 15)], convention(),
                                            HJM_TYPE.HULL_WHITE)
    start = grid_start(correlation)
    targets, settings = cms_targets(tmp_path), hjm_settings()
    dates = monthly_dates(MONTHS + 1)
    config = Analytics.randomConfig(Random.random_type.MERSENNE_TWISTER, 20240521, PATHS, len(dates), 3)
    cms_expiry = Util.datetime(2026, 1, 15)

    # What the C++ run reads: the library's own files and the market's numbers.
    for kind, name, value in [(Analytics.calibrationIrTargetsConfiguration, "targets", targets),
                              (Analytics.parameterMarkovianHjm, "known", known),
                              (Analytics.calibrationHjmSettings, "settings", settings),
                              (Analytics.parameterMarkovianHjm, "start", start),
                              (Analytics.parameterMarkovianHjm, "credit", credit_hjm()),
                              (Analytics.randomConfig, "random", config)]:
        kind.write_to_json(os.path.join(folder, name + ".json"), value)
    (curve_dates, dfs), (survival_dates, probabilities) = curve_inputs(), survival_inputs()
    with open(os.path.join(folder, "inputs.json"), "w") as inputs:
        json.dump({"valuation_date": VALUATION.serial(), "curve": {"dates": curve_dates, "dfs": dfs},
                   "survival": {"dates": survival_dates, "probabilities": probabilities},
                   "calibration_correlation": correlation.tolist(),
                   "simulation_correlation": JOINT_CORRELATION.tolist(),
                   "simulation_dates": [date.serial() for date in dates], "recorded_steps": RECORDED,
                   "cms_expiry": cms_expiry.serial()}, inputs)
    run = subprocess.run([reference_program(), folder], capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stderr

    def read(name):
        with open(os.path.join(folder, name)) as stored:
            return json.load(stored)

    # Plant the volatilities of the known set, one node per target, and calibrate to them.
    planted = np.array(read("planted.json")["volatilities"])
    assert planted.shape == (3, 3) and np.all((planted > 0.1) & (planted < 0.3))
    surface = Market.irVolatilitySurface(VALUATION, TENORS, TENORS, [], planted[:, :, None], convention())
    driver = Analytics.calibrationIrHjm(VALUATION, rates, targets, convention())
    calibrated = driver.calibrate(surface, correlation, settings, [], start)
    saved = os.path.join(folder, "python_calibrated.json")
    Analytics.parameterMarkovianHjm.write_to_json(saved, calibrated)
    calibrated = Analytics.parameterMarkovianHjm.read_from_json(saved)
    with open(saved) as python_file, open(os.path.join(folder, "calibrated.json")) as cpp_file:
        assert python_file.read() == cpp_file.read()
    # The calibrated set gives the planted volatilities back to the pricing's root tolerance (1e-10 on the
    # swap value, some 1e-8 in volatility); its correlation is the one given, not calibrated.
    assert np.abs(np.array(read("fit.json")["volatilities"]) - planted).max() < 1e-8
    assert np.array_equal(np.asarray(calibrated.correlation()), correlation)
    pricing = Analytics.calibrationIrHjm.cms_spread_pricing_experimental
    spreads = read("cms.json")
    assert pricing(VALUATION, cms_expiry, calibrated, rates) == spreads["forward"]
    assert pricing(VALUATION, cms_expiry, calibrated, rates, False) == spreads["spot"]

    # Simulate the calibrated rate and the credit, and read every path of the recorded dates into numpy.
    manager = Analytics.simulationManager(
        [Analytics.diffusionIrMarkovianHjm(dates, rates, calibrated),
         Analytics.diffusionCreditMarkovianHjm(dates, credit, credit_hjm())],
        [Analytics.changeOfMeasure(), Analytics.changeOfMeasure()], JOINT_CORRELATION, config, dates)
    discounts = Analytics.diffusion.diffusion_discount_curve(manager.data(0))
    survivals = Analytics.diffusion.diffusion_survival_curve(manager.data(1))
    values = Vectorization.vector_IdE(PATHS)
    view = np.asarray(values)
    paths = np.empty((len(RECORDED), 2, PATHS))
    manager.states_initialize()
    for t, date in enumerate(dates):
        if t > 0:
            manager.propagate(t)
        if t in RECORDED:
            discounts.discounting(values, date)
            paths[RECORDED.index(t), 0] = view
            survivals.survival_probability(values, date)
            paths[RECORDED.index(t), 1] = view

    # The same numbers, bit for bit, as the C++ run.
    cpp_paths = np.fromfile(os.path.join(folder, "paths.bin"), dtype="<f8").reshape(paths.shape)
    assert np.array_equal(paths, cpp_paths)
    # Discounted bonds and survival are martingales: the path means are the market curves within 4
    # standard errors (fixed seed; a correct model fails one date in some 16000).
    assert np.all(paths[0] == 1.0)
    market = np.array([[rates.df(VALUATION, dates[t]), credit.survival_probability(VALUATION, dates[t])]
                       for t in RECORDED[1:]])
    means = paths[1:].mean(axis=2)
    errors = paths[1:].std(axis=2, ddof=1) / np.sqrt(PATHS)
    assert np.all(np.abs(means - market) < 4.0 * errors)
