"""The Analytics module: its import, the calibration settings and targets, the change of measure, the
measure and its id, the correlation and random managers and the five parameter sets.

Values are checked against what the test itself gives or works out: the arguments of the constructors,
the JSON text of each object read with Python's json, the flat state layout written out by hand, and the
random manager's Gaussian numbers against CPython's MT19937 and normal quantile.
"""
import gc
import json
import math
import statistics

import numpy as np
import pytest

from qavrekmodules import Analytics, Core, Market, Random, Util, Vectorization
from references import mt19937_words

HJM_TYPE = Analytics.parameter_markovian_hjm_type
random_type = Random.random_type

# The registration order of the module: the keys its initialisation may add, in that order.
TABLE_KEYS = [
    "calibrationBlackKarasinskiSettings", "calibrationCheyetteSettings", "calibrationHjmSettings",
    "lognormalModelWithMhjmIr", "calibrationCreditBlackKarasinski", "lognormalEquityWithMhjmIr",
    "lognormalFxWithMhjmIr", "calibrationIrTargetsConfiguration", "calibrationIrCheyette", "calibrationIrHjm",
    "changeOfMeasure", "measureId", "measure", "correlationManager", "pdeManager", "randomConfig", "randomManager",
    "simulationManager", "diffusion", "diffusionId", "diffusionCredit", "diffusionCreditBlackKarasinski",
    "diffusionCreditExtendedCir", "diffusionCreditMarkovianHjm", "diffusionCreditId", "diffusionEquity",
    "diffusionEquityLognormal", "diffusionEquityId", "diffusionFx", "diffusionFxLognormal", "diffusionFxId",
    "diffusionIr", "diffusionIrBlackKarasinski", "diffusionIrCheyette", "diffusionIrExtendedCir",
    "diffusionIrMarkovianHjm", "diffusionIrId", "parameterBlackKarasinski", "parameterCheyette",
    "parameterExtendedCir", "parameterLognormal", "parameterMarkovianHjm", "parameter_markovian_hjm_type",
]

# The types of this part: type name and base.
TYPES = {
    "calibrationBlackKarasinskiSettings": ("qavrekmodules.Analytics.calibrationBlackKarasinskiSettings",
                                           Market.configData),
    "calibrationCheyetteSettings": ("qavrekmodules.Analytics.calibrationCheyetteSettings", Market.configData),
    "calibrationHjmSettings": ("qavrekmodules.Analytics.calibrationHjmSettings", Market.configData),
    "calibrationIrTargetsConfiguration": ("qavrekmodules.Analytics.calibrationIrTargetsConfiguration",
                                          Market.configData),
    "changeOfMeasure": ("qavrekmodules.Analytics.changeOfMeasure", object),
    "measureId": ("qavrekmodules.Analytics.measureId", Market.configDataId),
    "measure": ("qavrekmodules.qavrek.measure", Market.configData),
    "correlationManager": ("qavrekmodules.Analytics.correlationManager", Market.marketData),
    "randomConfig": ("qavrekmodules.Analytics.randomConfig", Market.configData),
    "randomManager": ("qavrekmodules.Analytics.randomManager", object),
    "parameterBlackKarasinski": ("qavrekmodules.Analytics.parameterBlackKarasinski", Core.aadStateParametersManager),
    "parameterCheyette": ("qavrekmodules.Analytics.parameterCheyette", Core.aadStateParametersManager),
    "parameterExtendedCir": ("qavrekmodules.Analytics.parameterExtendedCir", Core.aadStateParametersManager),
    "parameterLognormal": ("qavrekmodules.Analytics.parameterLognormal", Core.aadStateParametersManager),
    "parameterMarkovianHjm": ("qavrekmodules.Analytics.parameterMarkovianHjm", Core.aadStateParametersManager),
}

DATES = [Util.datetime(2025, 1, 1), Util.datetime(2026, 1, 1), Util.datetime(2028, 1, 1)]

# A two-factor HJM set: decays on three dates, volatilities on two.
DECAYS = np.array([[0.03, 0.30], [0.04, 0.35], [0.05, 0.40]])
VOLATILITIES = np.array([[0.010, 0.005], [0.012, 0.006]])
CORRELATION = np.array([[1.0, -0.3], [-0.3, 1.0]])


def convention(kind=Util.day_count_convention_type.ACT_365F):
    # With a calendar of its own: a convention without one loads back with the default calendar.
    return Util.dayCountConvention(kind, Util.calendar())


def ois_eur():
    return Market.discountId(Market.discountDefinition("OIS"), Market.currency("EUR"))


def acme():
    return Market.defaultId("ACME", Market.currency("USD"), "SNRFOR", "XR14", "2014")


def hjm(model_type=HJM_TYPE.HULL_WHITE):
    return Analytics.parameterMarkovianHjm(DECAYS, VOLATILITIES, CORRELATION, DATES, DATES[:2],
                                           convention(), model_type)


def one_factor_hjm():
    return Analytics.parameterMarkovianHjm(np.array([[0.05]]), np.array([[0.01], [0.012]]), np.array([[1.0]]),
                                           DATES[:1], DATES[:2], convention(), HJM_TYPE.HULL_WHITE)


def black_karasinski(*optional):
    return Analytics.parameterBlackKarasinski(one_factor_hjm(), [-3.0, -2.9, -2.8], DATES, *optional)


def cheyette():
    return Analytics.parameterCheyette(hjm(), np.array([[0.1, 0.2], [0.15, 0.25]]), DATES[:2], 0.05)


def extended_cir():
    return Analytics.parameterExtendedCir(
        np.array([[0.5], [0.6]]), np.array([[0.1], [0.12], [0.11]]), np.array([[0.01]]), np.array([[1.0]]),
        DATES[:2], DATES, DATES[:1], convention(Util.day_count_convention_type.ACT_360))


def lognormal():
    return Analytics.parameterLognormal(np.array([[0.2, 0.1], [0.25, 0.12]]), np.array([[1.0, 0.4], [0.4, 1.0]]),
                                        DATES[:2], convention())


def bk_settings():
    return Analytics.calibrationBlackKarasinskiSettings("6M", 0.03)


def cheyette_settings():
    return Analytics.calibrationCheyetteSettings((0.001, 0.05), [0.01, 0.5], np.array([-1.0, 1.0]),
                                                 HJM_TYPE.PICEWISE_CONSTANT)


def hjm_settings():
    return Analytics.calibrationHjmSettings(2, (0.001, 0.05), (0.01, 0.5), HJM_TYPE.HULL_WHITE)


def random_config(*optional):
    return Analytics.randomConfig(random_type.MERSENNE_TWISTER, 42, 8, 4, *optional)


def write_root(path, envelope):
    path.write_text(json.dumps({"root": envelope}))
    return str(path)


TARGETS = {"Class": "qavrek::calibration_ir_targets_configuration", "frequency": "6M",
           "expiries": ["1Y", "2Y", "5Y"], "coterminal": "10Y", "cms_tenors": ["2Y", "10Y"],
           "strikes": [[0.01, 0.02], [0.03]], "include_caplets": True, "include_coterminal": False,
           "include_cms": True}


@pytest.fixture
def targets(tmp_path):
    return Analytics.calibrationIrTargetsConfiguration.read_from_json(write_root(tmp_path / "targets.json", TARGETS))


# Factors 2 and 1; the stored form nests the correlation by column.
MANAGER_CORRELATION = np.array([[1.0, 0.2, 0.5], [0.2, 1.0, -0.1], [0.5, -0.1, 1.0]])


def manager_envelope():
    return {"Class": "qavrek::correlation_manager", "valuation_date": DATES[0].serial(), "factors": [2, 1],
            "correlation": {"class": "qavrek.matrix", "rows": 3, "columns": 3,
                            "data": MANAGER_CORRELATION.T.tolist()},
            "ids": [{"Class": "qavrek::diffusion_ir_id", "id": json.loads(str(ois_eur()))},
                    {"Class": "qavrek::diffusion_credit_id", "id": json.loads(str(acme()))}]}


@pytest.fixture
def manager(tmp_path):
    return Analytics.correlationManager.read_from_json(write_root(tmp_path / "manager.json", manager_envelope()))


# ---------------------------------------------------------------------------------------------------------
# The module


def test_module_adds_its_keys_in_registration_order():
    keys = [name for name in vars(Analytics) if not name.startswith("__")]
    assert keys == [key for key in TABLE_KEYS if key in keys]
    assert set(TYPES) | {"parameter_markovian_hjm_type"} <= set(keys)
    # No functions of its own: everything is a type.
    assert all(isinstance(getattr(Analytics, key), type) for key in keys)


@pytest.mark.parametrize("name, full_name, base", [(name, *row) for name, row in TYPES.items()])
def test_type_names_and_bases(name, full_name, base):
    python_type = getattr(Analytics, name)
    assert f"{python_type.__module__}.{python_type.__qualname__}" == full_name
    assert python_type.__base__ is base
    with pytest.raises(TypeError):
        type("Derived", (python_type,), {})


MARKET_MISSING = [
    # A package without Market: Instrument, imported before it, needs it too.
    ("package", """
        import json, os, sys, tempfile
        import qavrekmodules
        source = os.path.dirname(qavrekmodules.__file__)
        package = os.path.join(tempfile.mkdtemp(), "qavrekmodules")
        os.mkdir(package)
        for name in os.listdir(source):
            if not name.startswith("Market.") and name != "__pycache__":
                os.symlink(os.path.join(source, name), os.path.join(package, name))
        sys.path.insert(0, os.path.dirname(package))
        for name in [n for n in sys.modules if n.startswith("qavrekmodules")]:
            del sys.modules[name]
        try:
            import qavrekmodules.Analytics
        except ImportError as error:
            chain = []
            while error is not None:
                chain.append(str(error))
                error = error.__cause__
            print(json.dumps({"chain": chain}), file=sys.stderr)
    """),
    # Market gone after Instrument was loaded: the sibling imports stop at Market.
    ("after Instrument", """
        import json, sys
        import qavrekmodules.Instrument
        asked = []
        class Refuse:
            def find_spec(self, name, path, target=None):
                asked.append(name)
                if name == "qavrekmodules.Market":
                    raise ModuleNotFoundError("No module named 'qavrekmodules.Market'", name=name)
                return None
        sys.meta_path.insert(0, Refuse())
        del sys.modules["qavrekmodules.Market"], sys.modules["qavrekmodules.Math"]
        try:
            import qavrekmodules.Analytics
        except ImportError as error:
            print(json.dumps({"chain": [str(error)], "asked": asked}), file=sys.stderr)
    """),
]


@pytest.mark.parametrize("case, code", MARKET_MISSING)
def test_importing_with_the_market_module_missing_fails(python_runner, case, code):
    status, errors = python_runner(code)
    assert status == 0, errors
    report = json.loads(errors.strip().splitlines()[-1])
    assert report["chain"][0].startswith("Failed to load Analytics: No module named qavrekmodules.")
    assert any(text.endswith("No module named qavrekmodules.Market") for text in report["chain"])
    if case == "after Instrument":
        assert report["chain"] == ["Failed to load Analytics: No module named qavrekmodules.Market"]
        assert "qavrekmodules.Math" not in report["asked"]


# ---------------------------------------------------------------------------------------------------------
# Construction: counts, keyword arguments, argument types and the library's checks

ERRORS = [
    (lambda: Analytics.calibrationBlackKarasinskiSettings(), TypeError,
     "calibration_black_karasinski_settings() has no overload that takes 0 arguments"),
    (lambda: Analytics.calibrationBlackKarasinskiSettings("6M", 0.03, *[True] * 13), TypeError,
     "calibration_black_karasinski_settings() has no overload that takes 15 arguments"),
    (lambda: Analytics.calibrationCheyetteSettings((1.0,), (1.0,), (1.0,)), TypeError,
     "calibration_cheyette_settings() has no overload that takes 3 arguments"),
    (lambda: Analytics.calibrationCheyetteSettings((1.0,), (1.0,), (1.0,), 1), TypeError,
     "calibration_cheyette_settings() argument 4: expected a parameter_markovian_hjm_type value, got int"),
    (lambda: Analytics.calibrationCheyetteSettings((1.0,), (1.0,), (1.0,), random_type.SOBOL), TypeError,
     "calibration_cheyette_settings() argument 4: expected a parameter_markovian_hjm_type value, got random_type"),
    (lambda: Analytics.calibrationHjmSettings(1, (1.0,), (1.0,), HJM_TYPE.HULL_WHITE, *[False] * 9), TypeError,
     "calibration_hjm_settings() has no overload that takes 13 arguments"),
    (lambda: Analytics.calibrationHjmSettings(Analytics.measureId()), TypeError,
     "calibration_hjm_settings() argument 1: method requires a calibrationHjmSettings, a measureId was provided."),
    (lambda: Analytics.calibrationIrTargetsConfiguration(), TypeError,
     "calibration_ir_targets_configuration() takes exactly 1 argument (0 given)"),
    (lambda: Analytics.calibrationIrTargetsConfiguration("6M", ["1Y"], "10Y", [], [], True, True, False), TypeError,
     "calibration_ir_targets_configuration() takes exactly 1 argument (8 given)"),
    (lambda: Analytics.changeOfMeasure(np.eye(2)), TypeError,
     "change_of_measure() argument 1: method requires a changeOfMeasure, a ndarray was provided."),
    (lambda: Analytics.changeOfMeasure(np.eye(2), np.eye(2), np.eye(2)), TypeError,
     "change_of_measure() has no overload that takes 3 arguments"),
    (lambda: Analytics.measureId(1, 2), TypeError, "measure_id() has no overload that takes 2 arguments"),
    (lambda: Analytics.measure(), TypeError, "measure() has no overload that takes 0 arguments"),
    (lambda: Analytics.measure(Analytics.measureId()), TypeError,
     "measure(): no overload takes the arguments (measureId)"),
    (lambda: Analytics.measure(Market.currency("EUR")), TypeError,
     "measure(): no overload takes the arguments (currency)"),
    (lambda: Analytics.correlationManager(DATES[0], [], [1]), TypeError,
     "correlation_manager() takes exactly 4 arguments (3 given)"),
    (lambda: Analytics.correlationManager(DATES[0], [], [1], np.eye(1), 1), TypeError,
     "correlation_manager() takes exactly 4 arguments (5 given)"),
    (lambda: Analytics.correlationManager(DATES[0], [ois_eur()], [1], np.eye(1)), TypeError,
     "correlation_manager() argument 2: method requires a diffusionId, a discountId was provided."),
    (lambda: Analytics.correlationManager(DATES[0], [], [1], np.eye(1)), RuntimeError, "ids_ are empty!"),
    (lambda: random_config(1, 0, False, False, random_type.WELL_19937, 0, 7), TypeError,
     "random_config() has no overload that takes 11 arguments"),
    (lambda: Analytics.randomConfig(random_type.SOBOL, 1), TypeError,
     "random_config() has no overload that takes 2 arguments"),
    (lambda: Analytics.randomConfig(random_type.SOBOL, 1, 2), TypeError,
     "random_config() has no overload that takes 3 arguments"),
    (lambda: Analytics.randomConfig(Random.randomSettings(1, 2, 3)), TypeError,
     "random_config() argument 1: method requires a randomConfig, a randomSettings was provided."),
    (lambda: Analytics.randomConfig(1, 42, 8, 4), TypeError,
     "random_config() argument 1: expected a random_type value, got int"),
    (lambda: Analytics.randomManager(), TypeError, "random_manager() takes exactly 1 argument (0 given)"),
    (lambda: Analytics.randomManager(Random.randomSettings(1, 2, 3)), TypeError,
     "random_manager() argument 1: method requires a randomConfig, a randomSettings was provided."),
    (lambda: Analytics.parameterBlackKarasinski(one_factor_hjm(), [1.0]), TypeError,
     "parameter_black_karasinski() takes from 3 to 5 arguments (2 given)"),
    (lambda: black_karasinski(10, 8, 1), TypeError,
     "parameter_black_karasinski() takes from 3 to 5 arguments (6 given)"),
    (lambda: Analytics.parameterBlackKarasinski(hjm(), [1.0, 2.0, 3.0], DATES), RuntimeError,
     "parameter_black_karasinski supports one factor"),
    (lambda: Analytics.parameterBlackKarasinski(one_factor_hjm(), [1.0], DATES), RuntimeError,
     "bk levels size 1 is differents from dates size 3"),
    (lambda: Analytics.parameterCheyette(hjm(), np.eye(2), DATES[:2]), TypeError,
     "parameter_cheyette() takes exactly 4 arguments (3 given)"),
    (lambda: Analytics.parameterCheyette(np.eye(2), np.eye(2), DATES[:2], 0.0), TypeError,
     "parameter_cheyette() argument 1: method requires a parameterMarkovianHjm, a ndarray was provided."),
    (lambda: Analytics.parameterExtendedCir(np.eye(1)), TypeError,
     "parameter_extended_cir() takes exactly 8 arguments (1 given)"),
    (lambda: Analytics.parameterExtendedCir(np.eye(1), np.eye(1), np.eye(1), np.eye(1), DATES[:1], DATES[:1],
                                            DATES[:1], Util.day_count_convention_type.ACT_360), TypeError,
     "parameter_extended_cir() argument 8: method requires a dayCountConvention, a day_count_convention_type "
     "was provided."),
    (lambda: Analytics.parameterLognormal(np.eye(2), np.eye(2), DATES, convention()), RuntimeError,
     "volatilities size 2 is differents from volatilities dates size 3"),
    (lambda: Analytics.parameterLognormal(np.eye(2), "x", DATES[:2], convention()), TypeError,
     "parameter_lognormal() argument 2: method requires a matrix_IdE, a str was provided."),
    (lambda: Analytics.parameterMarkovianHjm(), TypeError,
     "parameter_markovian_hjm() has no overload that takes 0 arguments"),
    (lambda: Analytics.parameterMarkovianHjm(DECAYS, VOLATILITIES), TypeError,
     "parameter_markovian_hjm() has no overload that takes 2 arguments"),
    (lambda: Analytics.parameterMarkovianHjm(DECAYS, VOLATILITIES, CORRELATION, DATES[:2], DATES[:2],
                                             convention(), HJM_TYPE.HULL_WHITE), RuntimeError,
     "decays size 3 is differents from decays dates size 2"),
    (lambda: Analytics.parameterMarkovianHjm(DECAYS, VOLATILITIES, CORRELATION, DATES, DATES[:2],
                                             convention(), 0), TypeError,
     "parameter_markovian_hjm() argument 7: expected a parameter_markovian_hjm_type value, got int"),
]


@pytest.mark.parametrize("call, error, message", ERRORS)
def test_construction_errors(call, error, message):
    with pytest.raises(error) as raised:
        call()
    assert str(raised.value).endswith(message)


KEYWORD_CALLS = [
    lambda: Analytics.calibrationBlackKarasinskiSettings("6M", 0.03, backward=False),
    lambda: Analytics.calibrationHjmSettings(hjm_settings(), copy=True),
    lambda: Analytics.changeOfMeasure(correlation=np.eye(1), volatility=np.eye(1)),
    lambda: Analytics.measureId(x=1),
    lambda: Analytics.measure(id=ois_eur()),
    lambda: Analytics.randomConfig(random_type.SOBOL, 1, 2, 3, number_of_brownians=2),
    lambda: Analytics.randomManager(config=random_config()),
    lambda: Analytics.parameterMarkovianHjm(hjm(), x=1),
    lambda: Analytics.parameterLognormal(np.eye(1), np.eye(1), DATES[:1], day_convention=convention()),
]


@pytest.mark.parametrize("call", KEYWORD_CALLS)
def test_constructors_refuse_keyword_arguments(call):
    with pytest.raises(TypeError, match="^this function takes no keyword arguments$"):
        call()


# ---------------------------------------------------------------------------------------------------------
# Defaults and the arguments that reach their fields


def test_black_karasinski_settings_from_a_tenor_and_a_float_take_the_defaults():
    settings = bk_settings()
    assert [settings.mean_reversion_spead(), settings.backward(), settings.use_adjustement(),
            settings.pde_grid_size(), settings.pde_span(), settings.level_lower_bound(),
            settings.level_upper_bound(), settings.tolerance(), settings.debug(), settings.step(), settings.period(),
            settings.minimum_step(), settings.update_bounds()] == [
        0.03, True, True, 129, 3.0, -50.0, 50.0, 1e-13, False, 30.0, 10, 1.0, True]
    assert json.loads(str(settings))["frequency"] == "6M"


def test_every_black_karasinski_settings_argument_reaches_its_accessor():
    values = ["3M", 0.07, False, False, 65, 4.5, -20.0, 20.0, 1e-9, True, 7.0, 3, 0.5, False]
    settings = Analytics.calibrationBlackKarasinskiSettings(*values)
    accessors = ["mean_reversion_spead", "backward", "use_adjustement", "pde_grid_size", "pde_span",
                 "level_lower_bound", "level_upper_bound", "tolerance", "debug", "step", "period", "minimum_step",
                 "update_bounds"]
    assert [getattr(settings, name)() for name in accessors] == values[1:]
    assert json.loads(str(settings))["frequency"] == "3M"


# Stored keys of the interest-rate settings given every argument, with the defaults that fewer arguments keep.
IR_SETTINGS = [
    (lambda *a: Analytics.calibrationCheyetteSettings((0.001, 0.05), (0.01, 0.5), (-1.0, 1.0), HJM_TYPE.HULL_WHITE, *a),
     [("debug", True, False), ("max_iterations", 50, 200), ("tolerance", 1e-9, 1e-6)]),
    (lambda *a: Analytics.calibrationHjmSettings(2, (0.001, 0.05), (0.01, 0.5), HJM_TYPE.PICEWISE_CONSTANT, *a),
     [("debug", True, False), ("max_iterations", 50, 200), ("jacobian_with_aad_flag", False, True),
      ("calibrate_correlation_flag", True, False), ("tolerance", 1e-9, 1e-6), ("regularization_factor", 0.25, 0.0),
      ("regularization_flag", True, False), ("calibrate_to_all_target_flag", True, False)]),
]


@pytest.mark.parametrize("make, optional", IR_SETTINGS)
def test_interest_rate_settings_read_their_optional_arguments_from_the_left(make, optional):
    for given in range(len(optional) + 1):
        stored = json.loads(str(make(*[value for _, value, _ in optional[:given]])))
        assert [stored[key] for key, _, _ in optional] == (
            [value for _, value, _ in optional[:given]] + [default for _, _, default in optional[given:]])


def test_interest_rate_settings_store_their_bounds_and_type():
    stored = json.loads(str(hjm_settings()))
    assert (stored["mumber_of_factors"], stored["volatility_bounds"], stored["decay_bounds"], stored["type"]) == (
        2, [0.001, 0.05], [0.01, 0.5], 0)
    stored = json.loads(str(cheyette_settings()))
    assert (stored["volatility_bounds"], stored["decay_bounds"], stored["skew_bounds"], stored["type"]) == (
        [0.001, 0.05], [0.01, 0.5], [-1.0, 1.0], 1)


@pytest.mark.parametrize("make, kind", [(cheyette_settings, HJM_TYPE.PICEWISE_CONSTANT),
                                        (hjm_settings, HJM_TYPE.HULL_WHITE)])
def test_interest_rate_settings_type_is_an_enumeration_value(make, kind):
    settings = make()
    assert type(settings.type()) is HJM_TYPE and settings.type() == kind
    assert type(settings).type(settings) == kind
    assert (settings.tolerance(), settings.debug()) == (1e-6, False)


def test_a_method_called_through_the_class_needs_an_object_of_the_class():
    with pytest.raises(TypeError, match="calibrationHjmSettings"):
        Analytics.calibrationHjmSettings.type(cheyette_settings())


def test_random_config_defaults_and_brownians():
    four = json.loads(str(random_config()))
    assert four["main_generator_type"] == 4
    assert four["settings"] == {
        "Class": "qavrek::random_settings", "seed": 42, "number_of_paths_per_batch": 8,
        "number_of_simulation_dates": 4, "number_of_brownians": 1, "batch_index": 0, "full_skip": False,
        "generator_type": 2, "use_shift": False, "type": 0, "orthogonalization": False}
    five = json.loads(str(random_config(3)))
    assert five["settings"].pop("number_of_brownians") == 3
    four["settings"].pop("number_of_brownians")
    assert five == four


def test_every_random_config_argument_reaches_the_settings():
    config = Analytics.randomConfig(random_type.SOBOL, 7, 16, 5, 2, 3, True, True, random_type.WELL_44497,
                                    Core.device_type.CPU)
    settings = config.settings()
    assert type(settings) is Random.randomSettings
    assert [settings.seed(), settings.number_of_paths_per_batch(), settings.number_of_simulation_dates(),
            settings.number_of_brownians(), settings.batch_index(), settings.use_shift(), settings.orthogonalization(),
            settings.generator_type(), settings.type(), settings.full_skip()] == [
        7, 16, 5, 2, 3, True, True, random_type.WELL_44497, Core.device_type.CPU, False]
    assert type(config.main_generator_type()) is random_type and config.main_generator_type() == random_type.SOBOL


def test_black_karasinski_set_defaults():
    stored = [json.loads(str(black_karasinski(*optional))) for optional in [(), (4,), (4, 6)]]
    assert [(s["time_step_in_days"], s["number_of_roots"]) for s in stored] == [(10, 8), (4, 8), (4, 6)]
    assert stored[0]["levels_parameter"] == [-3.0, -2.9, -2.8]


# ---------------------------------------------------------------------------------------------------------
# Documentation texts as the module states them

TYPE_DOCS = [
    (Analytics.calibrationIrTargetsConfiguration,
     "calibration_ir_targets_configuration(\n    __a:calibrationIrTargetsConfiguration)\n"
     "    -> calibration_ir_targets_configuration\nC++: calibration_ir_targets_configuration(\n"
     "    const &calibration_ir_targets_configuration)\n\ncalibration_ir_targets_configuration - no description "
     "provided.\n\nSuperclass: config_data\n\n"),
    (Analytics.changeOfMeasure,
     "change_of_measure(correlation:matrix_IdE, volatility:matrix_IdE)\n    -> change_of_measure\n"
     "C++: change_of_measure(matrix<double> &&correlation,\n    matrix<double> &&volatility) noexcept;\n"
     "change_of_measure() -> change_of_measure\nC++: change_of_measure()\nchange_of_measure(__a:changeOfMeasure) "
     "-> change_of_measure\nC++: change_of_measure(const &change_of_measure)\n\nchange_of_measure - no description "
     "provided.\n\n"),
    (Analytics.measureId,
     "measure_id() -> measure_id\nC++: measure_id()\nmeasure_id(__a:measureId) -> measure_id\nC++: "
     "measure_id(const &measure_id)\n\nmeasure_id - no description provided.\n\nSuperclass: config_data_id\n\n"),
    (Analytics.measure,
     "measure(id:discountId) -> measure\nC++: explicit measure(const ptr_const<discount_id> &id)\nmeasure(__a:measure)"
     " -> measure\nC++: measure(const &measure)\n\nmeasure - no description provided.\n\nSuperclass: config_data\n\n"),
    (Analytics.randomConfig,
     "random_config(main_generator_type:randomType, seed:int,\n    number_of_paths_per_batch:int, "
     "number_of_simulation_dates:int,\n    number_of_brownians:int=1, batch_index:int=0,\n    use_shift:bool=False, "
     "orthogonalization:bool=False,\n    generator_type:randomType=..., type:deviceType=...)\n    -> random_config\n"
     "C++: random_config(random_type main_generator_type, size_t seed,\n    size_t number_of_paths_per_batch,\n    "
     "size_t number_of_simulation_dates, size_t number_of_brownians=1,\n    size_t batch_index=0, bool "
     "use_shift=false,\n    bool orthogonalization=false,\n    random_type generator_type=random_type::WELL_19937,\n"
     "    device_type type=device_type::CPU)\nrandom_config(__a:randomConfig) -> random_config\nC++: "
     "random_config(const &random_config)\n\nrandom_config - no description provided.\n\nSuperclass: config_data\n\n"),
    (Analytics.randomManager,
     "random_manager(config:randomConfig) -> random_manager\nC++: explicit random_manager(const "
     "ptr_const<random_config> &config)\n    noexcept;\n\nrandom_manager - no description provided.\n\n"),
    (Analytics.correlationManager,
     "correlation_manager(valuation_date:datetime, ids:(diffusionId, ...),\n    factors:(int, ...), "
     "correlation:matrix_IdE) -> correlation_manager\nC++: correlation_manager(const datetime &valuation_date,\n"
     "    const std::vector<ptr_const<diffusion_id> > &ids,\n    const std::vector<size_t> &factors,\n    const "
     "matrix<double> &correlation)\n\ncorrelation_manager - no description provided.\n\nSuperclass: market_data\n\n"),
]


@pytest.mark.parametrize("python_type, doc", TYPE_DOCS)
def test_type_documentation(python_type, doc):
    assert python_type.__doc__ == doc


@pytest.mark.parametrize("python_type, starts, spellings", [
    (Analytics.calibrationBlackKarasinskiSettings, "calibration_black_karasinski_settings(frequency:tenor,\n",
     ["mean_reversion_spead:float", "use_adjustement:bool=True", "pde_grid_size:int=129", "tolerance:float=1e-13"]),
    (Analytics.calibrationCheyetteSettings, "calibration_cheyette_settings(volatility_bounds:(float, ...),\n",
     ["type:parameterMarkovianHjmType", "max_iterations:int=200"]),
    (Analytics.calibrationHjmSettings, "calibration_hjm_settings(mumber_of_factors:int,\n",
     ["type:parameterMarkovianHjmType", "calibrate_to_all_target_flag:bool=False"]),
    (Analytics.parameterBlackKarasinski, "parameter_black_karasinski(parameters:parameterMarkovianHjm,\n",
     ["levels_parameter:(float, ...)", "time_step_in_days:int=10", "number_of_roots:int=8"]),
    (Analytics.parameterCheyette, "parameter_cheyette(parameters:parameterMarkovianHjm,\n", []),
    (Analytics.parameterExtendedCir, "parameter_extended_cir(mean_reversion_speeds:matrix_IdE,\n",
     ["day_convention:dayCountConvention"]),
    (Analytics.parameterLognormal, "parameter_lognormal(volatilities:matrix_IdE, correlation:matrix_IdE,\n", []),
    (Analytics.parameterMarkovianHjm, "parameter_markovian_hjm(decays:matrix_IdE, volatilities:matrix_IdE,\n",
     ["model_type:parameterMarkovianHjmType", "parameter_markovian_hjm(__a:parameterMarkovianHjm)\n",
      "C++: parameter_markovian_hjm(const &parameter_markovian_hjm)\n"]),
])
def test_built_documentation(python_type, starts, spellings):
    doc = python_type.__doc__
    library_name = starts[:starts.index("(")]
    base = "config_data" if library_name.startswith("calibration") else "aad_state_parameters_manager"
    assert doc.startswith(starts)
    assert doc.endswith(f"\n\n{library_name} - no description provided.\n\nSuperclass: {base}\n\n")
    assert all(text in doc for text in spellings)


METHOD_DOCS = [
    (Analytics.calibrationIrTargetsConfiguration, {
        "frequency": "frequency(self) -> tenor\nC++: const tenor &frequency() noexcept;\n\n",
        "expiries": "expiries(self) -> (tenor, ...)\nC++: const std::vector<tenor> &expiries() noexcept;\n\n",
        "cms_tenors": "cms_tenors(self) -> (tenor, ...)\nC++: const std::vector<tenor> &cms_tenors() noexcept;\n\n",
        "include_coterminal": "include_coterminal(self) -> bool\nC++: bool include_coterminal() noexcept;\n\n",
        "write_to_json": "write_to_json(file_name:str,\n    rhs:calibrationIrTargetsConfiguration) -> None\nC++: static "
                         "void write_to_json(const std::string &file_name,\n    const "
                         "ptr_const<calibration_ir_targets_configuration> &rhs)\n\n",
        "read_from_json": "read_from_json(file_name:str) -> calibrationIrTargetsConfiguration\nC++: static "
                          "ptr_const<qavrek::calibration_ir_targets_configuration> read_from_json(\n    const "
                          "std::string &file_name)\n\n",
        "read_from_binary": "read_from_binary(file_name:str)\n    -> calibrationIrTargetsConfiguration\nC++: static "
                            "ptr_const<qavrek::calibration_ir_targets_configuration> read_from_binary(\n    const "
                            "std::string &file_name)\n\n",
        "json_to_string": "json_to_string(rhs:calibrationIrTargetsConfiguration) -> str\nC++: static std::string "
                          "json_to_string(\n    const ptr_const<calibration_ir_targets_configuration> &rhs)\n\n",
    }),
    (Analytics.measureId, {
        "hash": "hash(self) -> int\nC++: size_t hash() override;\n\n",
        "to_string": "to_string(self) -> str\nC++: std::string to_string() override;\n\n",
        "write_to_binary": "write_to_binary(file_name:str, rhs:measureId) -> None\nC++: static void write_to_binary("
                           "const std::string &file_name,\n    const ptr_const<measure_id> &rhs)\n\n",
    }),
    (Analytics.measure, {
        "id": "id(self) -> discountId\nC++: const ptr_const<discount_id> &id()\n\n",
        "read_from_binary": "read_from_binary(file_name:str) -> measure\nC++: static ptr_const<qavrek::measure> "
                            "read_from_binary(\n    const std::string &file_name)\n\n",
    }),
    (Analytics.randomConfig, {
        "main_generator_type": "main_generator_type(self) -> randomType\nC++: random_type main_generator_type()\n\n",
        "settings": "settings(self) -> randomSettings\nC++: ptr_const<random_settings> settings()\n\n",
        "json_to_string": "json_to_string(rhs:randomConfig) -> str\nC++: static std::string json_to_string(\n    "
                          "const ptr_const<random_config> &rhs)\n\n",
    }),
    (Analytics.randomManager, {
        "correlate": "correlate(self, time_index:int, decomposed_correlation:matrix_IdE)\n     -> matrix_IdE\nC++: "
                     "matrix<double> correlate(size_t time_index,\n    const matrix<double> "
                     "&decomposed_correlation)\n\n",
        "number_of_paths": "number_of_paths(self) -> int\nC++: size_t number_of_paths()\n\n",
    }),
    (Analytics.correlationManager, {
        "pair_correlation_matrix": "pair_correlation_matrix(self, ids1:(diffusionId, ...), ids2:(\n    diffusionId, "
                                   "...)) -> matrix_IdE\nC++: matrix<double> pair_correlation_matrix(\n    const "
                                   "std::vector<ptr_const<diffusion_id> > &ids1,\n    const "
                                   "std::vector<ptr_const<diffusion_id> > &ids2)\n\n",
        "ids": "ids(self) -> (diffusionId, ...)\nC++: const std::vector<ptr_const<diffusion_id> > &ids()\n\n",
        "id": "id(self, i:int) -> diffusionId\nC++: const ptr_const<diffusion_id> &id(size_t i)\n\n",
        "number_of_factors": "number_of_factors(self, id:diffusionId) -> int\nC++: size_t number_of_factors(const "
                             "ptr_const<diffusion_id> &id)\n\n",
        "write_to_json": "write_to_json(file_name:str, rhs:correlationManager) -> None\nC++: static void "
                         "write_to_json(const std::string &file_name,\n    const ptr_const<correlation_manager> "
                         "&rhs)\n\n",
    }),
]


@pytest.mark.parametrize("python_type, docs", METHOD_DOCS)
def test_method_documentation(python_type, docs):
    assert {name: getattr(python_type, name).__doc__ for name in docs} == docs


# The method names of each type, in table order.
METHODS = {
    "calibrationBlackKarasinskiSettings": ["mean_reversion_spead", "backward", "use_adjustement", "pde_grid_size",
                                           "pde_span", "level_lower_bound", "level_upper_bound", "tolerance", "debug",
                                           "step", "period", "minimum_step", "update_bounds"],
    "calibrationCheyetteSettings": ["type", "tolerance", "debug"],
    "calibrationHjmSettings": ["type", "tolerance", "debug"],
    "calibrationIrTargetsConfiguration": ["frequency", "expiries", "coterminal", "cms_tenors", "include_caplets",
                                          "include_coterminal", "include_cms"],
    "changeOfMeasure": [],
    "measureId": ["hash", "to_string"],
    "measure": ["id"],
    "correlationManager": ["pair_correlation_matrix", "ids", "id", "number_of_factors"],
    "randomConfig": ["main_generator_type", "settings"],
    "randomManager": ["correlate", "number_of_paths"],
    "parameterBlackKarasinski": ["parameters", "levels_parameter_offset"],
    "parameterCheyette": ["skew_parameter_dates", "skew_parameter", "long_term_skew_level", "parameters"],
    "parameterExtendedCir": ["correlation", "mean_reversion_speeds", "volatilities", "shifts",
                             "mean_reversion_speed_dates", "volatilities_dates", "shifts_dates", "day_convention"],
    "parameterLognormal": ["volatilities", "correlation", "volatilities_dates", "day_convention", "number_of_factors"],
    "parameterMarkovianHjm": ["decays_dates", "volatilities_dates", "number_of_factors", "decays", "volatilities",
                              "correlation", "day_convention", "model_type"],
}
PERSISTENCE = ["write_to_json", "read_from_json", "write_to_binary", "read_from_binary", "json_to_string"]


@pytest.mark.parametrize("name, methods", METHODS.items())
def test_each_type_has_its_methods_and_the_persistence_functions_where_persistable(name, methods):
    python_type = getattr(Analytics, name)
    own = [key for key in vars(python_type) if not key.startswith("__")]
    persistable = name not in ("changeOfMeasure", "randomManager")
    assert own == methods + (PERSISTENCE if persistable else [])


# ---------------------------------------------------------------------------------------------------------
# String forms, hashes, copies and files of every persistable type

PERSISTABLE = {
    "calibrationBlackKarasinskiSettings": lambda tmp: bk_settings(),
    "calibrationCheyetteSettings": lambda tmp: cheyette_settings(),
    "calibrationHjmSettings": lambda tmp: hjm_settings(),
    "calibrationIrTargetsConfiguration": lambda tmp: Analytics.calibrationIrTargetsConfiguration.read_from_json(
        write_root(tmp / "targets.json", TARGETS)),
    "measureId": lambda tmp: Analytics.measureId(),
    "measure": lambda tmp: Analytics.measure(ois_eur()),
    "correlationManager": lambda tmp: Analytics.correlationManager.read_from_json(
        write_root(tmp / "manager.json", manager_envelope())),
    "randomConfig": lambda tmp: random_config(2, 1, True),
    "parameterBlackKarasinski": lambda tmp: black_karasinski(5),
    "parameterCheyette": lambda tmp: cheyette(),
    "parameterExtendedCir": lambda tmp: extended_cir(),
    "parameterLognormal": lambda tmp: lognormal(),
    "parameterMarkovianHjm": lambda tmp: hjm(HJM_TYPE.PICEWISE_CONSTANT),
}


@pytest.mark.parametrize("name", PERSISTABLE)
def test_string_form_is_the_json_text(tmp_path, name):
    original = PERSISTABLE[name](tmp_path)
    kind = getattr(Analytics, name)
    text = str(original)
    assert text == kind.json_to_string(original)
    assert json.loads(text)["Class"] == "qavrek::" + kind.__doc__.split("(")[0]
    # Two blanks per level, as the library's json_to_string writes.
    assert text.splitlines()[1].startswith('  "Class"')
    if name != "measureId":
        with pytest.raises(TypeError, match="unhashable"):
            hash(original)


@pytest.mark.parametrize("name", PERSISTABLE)
@pytest.mark.parametrize("suffix, write, read", [(".json", "write_to_json", "read_from_json"),
                                                 (".bin", "write_to_binary", "read_from_binary")])
def test_round_trip_through_files(tmp_path, name, suffix, write, read):
    original = PERSISTABLE[name](tmp_path)
    kind = getattr(Analytics, name)
    path = str(tmp_path / ("object" + suffix))
    assert getattr(kind, write)(path, original) is None
    loaded = getattr(kind, read)(path)
    assert type(loaded) is kind and loaded is not original
    assert str(loaded) == str(original)


def test_a_json_file_holds_the_object_under_root(tmp_path):
    path = str(tmp_path / "settings.json")
    Analytics.calibrationHjmSettings.write_to_json(path, hjm_settings())
    with open(path) as stored:
        assert json.load(stored) == {"root": json.loads(str(hjm_settings()))}


def test_reading_what_is_not_the_class_is_a_python_error(tmp_path):
    path = str(tmp_path / "settings.json")
    Analytics.calibrationHjmSettings.write_to_json(path, hjm_settings())
    with pytest.raises(RuntimeError):
        Analytics.randomConfig.read_from_json(path)
    with pytest.raises(RuntimeError):
        Analytics.measureId.read_from_binary(str(tmp_path / "missing.bin"))


COPYABLE = ["calibrationBlackKarasinskiSettings", "calibrationCheyetteSettings", "calibrationHjmSettings",
            "calibrationIrTargetsConfiguration", "measureId", "measure", "randomConfig", "parameterMarkovianHjm"]


@pytest.mark.parametrize("name", COPYABLE)
def test_copies_are_new_objects_that_outlive_their_source(tmp_path, name):
    source = PERSISTABLE[name](tmp_path)
    text = str(source)
    copy = getattr(Analytics, name)(source)
    assert type(copy) is type(source) and copy is not source
    del source
    gc.collect()
    assert str(copy) == text


def test_a_parameter_set_copy_keeps_its_own_values():
    source = hjm()
    copy = Analytics.parameterMarkovianHjm(source)
    state = [0.0] * source.state_parameters_size()
    source.get_state_parameters(state)
    source.set_state_parameters([2 * value for value in state])
    assert np.array_equal(np.asarray(source.decays()), 2 * DECAYS)
    assert np.array_equal(np.asarray(copy.decays()), DECAYS)
    assert copy.decays_dates() == tuple(DATES) and copy.day_convention().type() == source.day_convention().type()


def test_a_random_config_copy_shares_its_settings():
    source = random_config(2)
    settings = str(source.settings())
    copy = Analytics.randomConfig(source)
    assert str(copy) == str(source) and str(source.settings()) == settings
    assert Analytics.randomManager(source).number_of_paths() == Analytics.randomManager(copy).number_of_paths() == 8


# ---------------------------------------------------------------------------------------------------------
# The enumeration


@pytest.mark.parametrize("name, value", [("HULL_WHITE", 0), ("PICEWISE_CONSTANT", 1)])
def test_enumeration_values_are_ints_that_cannot_be_made_or_called(name, value):
    member = getattr(HJM_TYPE, name)
    assert type(member) is HJM_TYPE and isinstance(member, int) and member == value
    assert f"{HJM_TYPE.__module__}.{HJM_TYPE.__qualname__}" == "qavrekmodules.Analytics.parameter_markovian_hjm_type"
    with pytest.raises(TypeError):
        member()
    with pytest.raises(TypeError):
        HJM_TYPE(value)


@pytest.mark.parametrize("kind", [HJM_TYPE.HULL_WHITE, HJM_TYPE.PICEWISE_CONSTANT])
def test_model_type_comes_back_as_the_enumeration(kind):
    model_type = hjm(kind).model_type()
    assert type(model_type) is HJM_TYPE and model_type == kind
    assert json.loads(str(hjm(kind)))["model_type"] == int(kind)


# ---------------------------------------------------------------------------------------------------------
# Targets configuration


def test_targets_accessors_read_the_stored_configuration(targets):
    assert (targets.frequency(), targets.expiries(), targets.coterminal(), targets.cms_tenors(),
            targets.include_caplets(), targets.include_coterminal(), targets.include_cms()) == (
        "6M", ("1Y", "2Y", "5Y"), "10Y", ("2Y", "10Y"), True, False, True)
    # The strikes have no accessor; the text shows them.
    assert json.loads(str(targets))["strikes"] == [[0.01, 0.02], [0.03]]


def test_targets_without_tenors_give_empty_tuples(tmp_path):
    path = write_root(tmp_path / "targets.json", TARGETS | {"expiries": [], "cms_tenors": []})
    targets = Analytics.calibrationIrTargetsConfiguration.read_from_json(path)
    assert targets.expiries() == () and targets.cms_tenors() == ()


def test_a_targets_copy_keeps_its_own_vectors(tmp_path, targets):
    copy = Analytics.calibrationIrTargetsConfiguration(targets)
    assert copy.expiries() == targets.expiries() and copy.cms_tenors() == targets.cms_tenors()
    del targets
    gc.collect()
    assert copy.expiries() == ("1Y", "2Y", "5Y")


# ---------------------------------------------------------------------------------------------------------
# Change of measure, measure id and measure


def test_change_of_measure_forms():
    empty = Analytics.changeOfMeasure()
    assert str(empty) == repr(empty) and repr(empty).startswith("<qavrekmodules.Analytics.changeOfMeasure object")
    with pytest.raises(TypeError, match="unhashable"):
        hash(empty)
    assert type(Analytics.changeOfMeasure(empty)) is Analytics.changeOfMeasure


def test_change_of_measure_takes_the_matrices_over_and_leaves_them_empty():
    correlation = Vectorization.matrix_IdE(np.ones((2, 3)))
    volatility = Vectorization.matrix_IdE(np.full((4, 3), 0.01))
    Analytics.changeOfMeasure(correlation, volatility)
    for moved in (correlation, volatility):
        assert (moved.rows(), moved.columns(), moved.size()) == (0, 0, 0)
        assert np.asarray(moved).shape == (0, 0)
        with pytest.raises(IndexError):
            moved[0, 0]


def test_change_of_measure_leaves_converted_arguments_alone():
    correlation, volatility = np.ones((2, 3)), np.full((4, 3), 0.01)
    Analytics.changeOfMeasure(correlation, volatility)
    assert np.array_equal(correlation, np.ones((2, 3))) and np.array_equal(volatility, np.full((4, 3), 0.01))


def test_change_of_measure_refuses_a_matrix_viewed_through_a_buffer():
    correlation = Vectorization.matrix_IdE(np.ones((2, 2)))
    view = np.asarray(correlation)
    with pytest.raises(BufferError, match="viewed through a buffer"):
        Analytics.changeOfMeasure(correlation, Vectorization.matrix_IdE(np.eye(2)))
    assert np.array_equal(view, np.ones((2, 2))) and correlation.rows() == 2
    del view
    gc.collect()
    Analytics.changeOfMeasure(correlation, Vectorization.matrix_IdE(np.eye(2)))
    assert correlation.rows() == 0


def test_measure_ids_are_all_alike():
    one, other = Analytics.measureId(), Analytics.measureId()
    assert one.to_string() == "" and one.hash() == other.hash()
    assert 2 ** 32 <= one.hash() < 2 ** 64
    low = one.hash() & 0xFFFFFFFF
    assert hash(one) == hash(other) == hash(one) == (low - 2 ** 32 if low >= 2 ** 31 else low)
    assert json.loads(str(one)) == {"Class": "qavrek::measure_id", "state": 0}


def test_measure_picks_its_constructor_by_the_argument():
    ois = ois_eur()
    built = Analytics.measure(ois)
    copied = Analytics.measure(built)
    for measure in (built, copied):
        id = measure.id()
        assert type(id) is Market.discountId and id is not ois and id == ois
    assert json.loads(str(built))["id"] == json.loads(str(ois))


def test_borrowed_results_keep_their_parent_alive():
    measure = Analytics.measure(ois_eur())
    id = measure.id()
    parameters = hjm()
    convention = parameters.day_convention()
    del measure, parameters
    gc.collect()
    assert id == ois_eur() and id.to_string() == "OIS_EUR"
    assert convention.fraction(DATES[0], DATES[1]) == 1.0


# ---------------------------------------------------------------------------------------------------------
# Correlation manager


def test_correlation_manager_read_from_its_stored_form(manager):
    assert manager.valuation_date() == DATES[0]
    stored = json.loads(str(manager))
    assert stored["factors"] == [2, 1]
    assert np.array_equal(np.array(stored["correlation"]["data"]).T, MANAGER_CORRELATION)
    assert [row["Class"] for row in stored["ids"]] == ["qavrek::diffusion_ir_id", "qavrek::diffusion_credit_id"]


def test_correlation_manager_has_no_copy_constructor(manager):
    with pytest.raises(TypeError, match=r"^correlation_manager\(\) takes exactly 4 arguments \(1 given\)$"):
        Analytics.correlationManager(manager)


def diffusion_ids():
    return [Analytics.diffusionIrId(ois_eur()), Analytics.diffusionCreditId(acme())]


class Sequence:
    """A sequence that is neither a list nor a tuple."""

    def __init__(self, items):
        self.items = list(items)

    def __len__(self):
        return len(self.items)

    def __getitem__(self, index):
        return self.items[index]


@pytest.mark.parametrize("sequence", [list, tuple, Sequence])
def test_correlation_manager_built_from_ids(sequence):
    ids = diffusion_ids()
    built = Analytics.correlationManager(DATES[0], sequence(ids), (2, 1), MANAGER_CORRELATION)
    assert [type(id) for id in built.ids()] == [Analytics.diffusionId] * 2
    assert built.id(0).to_string() == ids[0].to_string() and built.id(1).hash() == ids[1].hash()
    assert [built.number_of_factors(id) for id in diffusion_ids()] == [2, 1]
    block = built.pair_correlation_matrix([ids[1]], [ids[0]])
    assert np.array_equal(np.asarray(block), MANAGER_CORRELATION[2:, :2])


def test_correlation_manager_refuses_what_it_does_not_hold():
    ids = diffusion_ids()
    with pytest.raises(RuntimeError, match="factors are empty!"):
        Analytics.correlationManager(DATES[0], ids, [], MANAGER_CORRELATION)
    not_a_number = MANAGER_CORRELATION.copy()
    not_a_number[2, 1] = np.nan
    with pytest.raises(RuntimeError, match=r"holds nan at \(2, 1\): a correlation is a finite number"):
        Analytics.correlationManager(DATES[0], ids, [2, 1], not_a_number)
    manager = Analytics.correlationManager(DATES[0], ids[:1], [2], MANAGER_CORRELATION[:2, :2])
    with pytest.raises(RuntimeError, match="id not fount in the list"):
        manager.number_of_factors(ids[1])
    with pytest.raises(RuntimeError):
        manager.id(1)


# ---------------------------------------------------------------------------------------------------------
# Random manager


def mt19937_gaussians(seed, count):
    """The normal quantiles of the open uniforms of std::mt19937(seed)'s first words."""
    normal = statistics.NormalDist()
    return np.array([normal.inv_cdf((word + 0.5) / 2.0 ** 32) for word in mt19937_words(seed, count)])


@pytest.mark.parametrize("brownians, batch", [(1, 0), (2, 0), (2, 1)])
def test_random_manager_draws_each_date_from_its_place_in_the_stream(brownians, batch):
    paths, dates = 8, 4
    config = Analytics.randomConfig(random_type.MERSENNE_TWISTER, 42, paths, dates, brownians, batch)
    manager = Analytics.randomManager(config)
    assert manager.number_of_paths() == paths
    stream = mt19937_gaussians(42, (batch + 1) * dates * brownians * paths)
    batch_start = batch * dates * brownians * paths
    for date in range(1, dates):
        start = batch_start + date * brownians * paths
        expected = stream[start:start + brownians * paths].reshape(brownians, paths)
        # Two implementations of the normal quantile (the library's and Wichura's AS241 in statistics), each
        # accurate to about 1e-16 relative.
        assert np.asarray(manager.correlate(date, np.eye(brownians))) == pytest.approx(expected, rel=1e-12, abs=1e-12)


def test_correlated_increments_are_the_factor_times_the_draws():
    manager = Analytics.randomManager(random_config(3))
    factor = np.linalg.cholesky(np.array([[1.0, 0.5, 0.2], [0.5, 1.0, -0.3], [0.2, -0.3, 1.0]]))
    draws = np.asarray(manager.correlate(2, np.eye(3)))
    correlated = np.asarray(manager.correlate(2, factor))
    # A product of three terms of order one: a few ulps.
    assert correlated == pytest.approx(factor @ draws, rel=1e-14, abs=1e-14)
    # Each result owns its numbers: later calls do not reach it.
    manager.correlate(3, np.eye(3))
    assert np.array_equal(np.asarray(manager.correlate(2, np.eye(3))), draws)


@pytest.mark.parametrize("date, factor, message", [
    (0, np.eye(1), "time_index 0 is not a simulation step: expected 1 to 3"),
    (4, np.eye(1), "time_index 4 is not a simulation step: expected 1 to 3"),
    (1, np.eye(2), "the decomposed correlation must be 1 x 1 (the brownians), got 2 x 2"),
])
def test_random_manager_refuses_dates_and_factors_outside_its_batch(date, factor, message):
    manager = Analytics.randomManager(random_config())
    with pytest.raises(RuntimeError) as raised:
        manager.correlate(date, factor)
    assert str(raised.value).endswith(message)
    assert manager.correlate(1, np.eye(1)).size() == 8


def test_random_manager_forms():
    manager = Analytics.randomManager(random_config())
    assert str(manager) == repr(manager)
    with pytest.raises(TypeError, match="unhashable"):
        hash(manager)
    with pytest.raises(TypeError, match=r"^correlate\(\) takes exactly 2 arguments \(1 given\)$"):
        manager.correlate(1)


# ---------------------------------------------------------------------------------------------------------
# Parameter sets


def flat_hjm_state(decays, volatilities, correlation):
    """[decays row-major][volatilities row-major][correlation (i, j) for i = 1 .. n-1, j < i]."""
    n = correlation.shape[0]
    lower = [correlation[i, j] for i in range(1, n) for j in range(i)]
    return list(decays.ravel()) + list(volatilities.ravel()) + lower


def test_a_parameter_set_saved_and_reloaded_gives_its_matrices_back(tmp_path):
    path = str(tmp_path / "hjm.json")
    Analytics.parameterMarkovianHjm.write_to_json(path, hjm())
    loaded = Analytics.parameterMarkovianHjm.read_from_json(path)
    with open(path) as stored:
        root = json.load(stored)["root"]
    for name, given in [("decays", DECAYS), ("volatilities", VOLATILITIES), ("correlation", CORRELATION)]:
        array = np.asarray(getattr(loaded, name)())
        assert array.dtype == np.float64 and np.array_equal(array, given)
        assert np.array_equal(np.array(root[name]["data"]).T, given)
    assert loaded.decays_dates() == tuple(DATES) and loaded.volatilities_dates() == tuple(DATES[:2])
    assert loaded.number_of_factors() == 2 and loaded.model_type() == HJM_TYPE.HULL_WHITE


def test_the_state_vector_round_trips_through_the_base(tmp_path):
    parameters = hjm()
    assert isinstance(parameters, Core.aadStateParametersManager)
    expected = flat_hjm_state(DECAYS, VOLATILITIES, CORRELATION)
    state = [0.0] * parameters.state_parameters_size()
    assert parameters.get_state_parameters(state) == len(expected) == 6 + 4 + 1
    assert state == expected
    decays, volatilities, correlation = 1.5 * DECAYS, 0.5 * VOLATILITIES, np.array([[1.0, 0.6], [0.6, 1.0]])
    assert parameters.set_state_parameters(np.array(flat_hjm_state(decays, volatilities, correlation))) == 11
    path = str(tmp_path / "hjm.bin")
    Analytics.parameterMarkovianHjm.write_to_binary(path, parameters)
    loaded = Analytics.parameterMarkovianHjm.read_from_binary(path)
    for read in (parameters, loaded):
        assert np.array_equal(np.asarray(read.decays()), decays)
        assert np.array_equal(np.asarray(read.volatilities()), volatilities)
        assert np.array_equal(np.asarray(read.correlation()), correlation)


@pytest.mark.parametrize("make", [black_karasinski, cheyette, extended_cir, lognormal], ids=lambda f: f.__name__)
def test_every_parameter_set_state_round_trips(tmp_path, make):
    parameters = make()
    state = [0.0] * parameters.state_parameters_size()
    assert parameters.get_state_parameters(state) == len(state) > 0
    changed = [0.9 * value for value in state]
    parameters.set_state_parameters(changed)
    path = str(tmp_path / "set.json")
    type(parameters).write_to_json(path, parameters)
    again = [0.0] * len(state)
    type(parameters).read_from_json(path).get_state_parameters(again)
    assert again == changed
    # A value that is not a number would run into every path of a model: the set keeps its state.
    for bad in (math.nan, math.inf):
        with pytest.raises(ValueError, match=r"^set_state_parameters\(\) argument 1: value 1 is -?(nan|inf): a state "
                                             r"parameter is a finite number$"):
            parameters.set_state_parameters([changed[0], bad] + changed[2:])
    parameters.get_state_parameters(again)
    assert again == changed


def test_matrix_results_are_copies():
    parameters = hjm()
    decays = parameters.decays()
    decays[0, 0] = 9.0
    assert np.asarray(decays)[0, 0] == 9.0
    assert np.array_equal(np.asarray(parameters.decays()), DECAYS)


def test_black_karasinski_set_shares_its_hjm_set():
    nested = one_factor_hjm()
    parameters = Analytics.parameterBlackKarasinski(nested, [-3.0, -2.9, -2.8], DATES)
    assert type(parameters.parameters()) is Analytics.parameterMarkovianHjm
    nested.set_state_parameters([0.07, 0.02, 0.03])
    assert np.array_equal(np.asarray(parameters.parameters().decays()), [[0.07]])
    assert json.loads(str(parameters))["parameters"] == json.loads(str(nested))


# The level in force at a date: that of the last level date not after it, the first before them all.
@pytest.mark.parametrize("date, offset", [(DATES[0].serial() - 10, 0), (DATES[0], 0), (DATES[1].serial() - 1, 0),
                                          (DATES[1], 1), (DATES[2].serial() + 400, 2)])
def test_black_karasinski_level_offsets(date, offset):
    assert black_karasinski().levels_parameter_offset(date) == offset


def test_cheyette_accessors():
    parameters = cheyette()
    assert parameters.skew_parameter_dates() == tuple(DATES[:2]) and parameters.long_term_skew_level() == 0.05
    assert np.array_equal(np.asarray(parameters.skew_parameter()), [[0.1, 0.2], [0.15, 0.25]])
    assert np.array_equal(np.asarray(parameters.parameters().decays()), DECAYS)


def test_a_set_without_dates_gives_empty_tuples():
    parameters = Analytics.parameterCheyette(hjm(), np.zeros((0, 0)), [], 0.05)
    assert parameters.skew_parameter_dates() == ()
    assert np.asarray(parameters.skew_parameter()).shape == (0, 0)


def test_extended_cir_accessors(tmp_path):
    path = str(tmp_path / "cir.json")
    Analytics.parameterExtendedCir.write_to_json(path, extended_cir())
    parameters = Analytics.parameterExtendedCir.read_from_json(path)
    assert [np.asarray(getattr(parameters, name)()).tolist() for name in
            ("mean_reversion_speeds", "volatilities", "shifts", "correlation")] == [
        [[0.5], [0.6]], [[0.1], [0.12], [0.11]], [[0.01]], [[1.0]]]
    assert (parameters.mean_reversion_speed_dates(), parameters.volatilities_dates(), parameters.shifts_dates()) == (
        tuple(DATES[:2]), tuple(DATES), tuple(DATES[:1]))
    assert parameters.day_convention().type() == Util.day_count_convention_type.ACT_360


def test_lognormal_accessors():
    parameters = lognormal()
    assert parameters.number_of_factors() == 2 and parameters.volatilities_dates() == tuple(DATES[:2])
    assert np.array_equal(np.asarray(parameters.volatilities()), [[0.2, 0.1], [0.25, 0.12]])
    assert np.array_equal(np.asarray(parameters.correlation()), [[1.0, 0.4], [0.4, 1.0]])
    assert type(parameters.day_convention()) is Util.dayCountConvention


def test_dates_may_be_serial_numbers_or_numpy_arrays():
    serials = np.array([date.serial() for date in DATES])
    parameters = Analytics.parameterMarkovianHjm(DECAYS, VOLATILITIES, CORRELATION, serials, list(serials[:2]),
                                                 convention(), HJM_TYPE.HULL_WHITE)
    assert str(parameters) == str(hjm())
