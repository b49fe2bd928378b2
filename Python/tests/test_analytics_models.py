"""The Analytics module's model types: the Cheyette and credit Black-Karasinski calibration drivers, the
lognormal equity and FX models with Markovian HJM rates, and the PDE manager, which Python holds only as
a copy of one that a native caller built (the analytics probe module plays that caller).

Numbers are checked against closed forms: the lognormal volatilities when the rates do not move, and a
zero-coupon bond rolled back on the PDE grid, worth the market's discount factor at the grid's centre.
"""
import gc
import json
import math

import numpy as np
import pytest

import analyticsProbe
from qavrekmodules import Analytics, Instrument, Market, Util, Vectorization

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


def write_root(path, envelope):
    path.write_text(json.dumps({"root": envelope}))
    return str(path)


def targets(tmp_path, expiries, strikes, caplets=True, coterminals=True):
    envelope = {"Class": "qavrek::calibration_ir_targets_configuration", "frequency": "1Y", "expiries": expiries,
                "coterminal": "5Y", "cms_tenors": [], "strikes": strikes, "include_caplets": caplets,
                "include_coterminal": coterminals, "include_cms": False}
    return Analytics.calibrationIrTargetsConfiguration.read_from_json(write_root(tmp_path / "targets.json", envelope))


def cheyette_driver(tmp_path, caplets=True, coterminals=True):
    # Caplets at three strikes (a skew each), at-the-money coterminals to 5Y.
    config = targets(tmp_path, ["1Y", "2Y", "3Y", "4Y"], [[0.75, 1.0, 1.3]] * 4 + [[1.0]] * 4, caplets, coterminals)
    return Analytics.calibrationIrCheyette(VALUATION, Market.discountCurve(VALUATION, 0.03), config, act_365f())


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


# A one-factor HJM set whose coefficients the probe's PDE manager uses; the bond matures in five years.
PDE_RATE = 0.03
PDE_MATURITY = Util.datetime(2029, 1, 2)


@pytest.fixture
def pde_pricing():
    rates = Analytics.parameterMarkovianHjm(
        np.array([[0.08], [0.03]]), np.array([[0.012], [0.009], [0.011]]), np.array([[1.0]]),
        [VALUATION.serial() + 900, VALUATION.serial() + 3650],
        [VALUATION.serial() + 200, VALUATION.serial() + 1200, VALUATION.serial() + 3650], act_365f(),
        HJM_TYPE.HULL_WHITE)
    return analyticsProbe.probePdePricing(VALUATION, PDE_MATURITY, rates, PDE_RATE)


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
}


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
                     "    const ptr_const<parameter_markovian_hjm> &parameter_hjm)\n\n",
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
               "&data={ })\n\n",
        "pv": "pv(self, pvs:[float, ...]) -> None\nC++: void pv(double *pvs)\n\n",
        "dimensions": "dimensions(self) -> (int, ...)\nC++: const std::vector<size_t> &dimensions()\n\n",
        "dates": "dates(self) -> (datetime, ...)\nC++: const std::vector<datetime> &dates()\n\n",
        "size": "size(self) -> int\nC++: size_t size()\n\n",
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
]


@pytest.mark.parametrize("call", KEYWORD_CALLS)
def test_constructors_refuse_keyword_arguments(call):
    with pytest.raises(TypeError, match="^this function takes no keyword arguments$"):
        call()


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
