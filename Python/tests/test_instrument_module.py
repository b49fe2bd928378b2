"""The Instrument module: its dictionary, types and enumerations, the count-dispatched constructors and
methods with their argument errors, and the instruments valued from Python.

Values are checked against closed forms written out here on a flat ACT/365F curve (P(t) = exp(-r t)):
swap rates and annuities from the schedule's accruals, Black prices for the implied volatilities,
derivatives by central differences of the library's own values, and the intrinsic values that
swaptions, bonds and Monte Carlo values reach when the curves hold no randomness.
"""
import datetime as python_dates
import math
import os
import shutil

import numpy
import pytest

from qavrekmodules import Instrument, Market, Util, Vectorization

VALUATION = python_dates.date(2024, 1, 15)
RATE = 0.03


def date(text):
    day = python_dates.date.fromisoformat(text)
    return Util.datetime(day.year, day.month, day.day)


def years(text, start=VALUATION):
    return (python_dates.date.fromisoformat(text) - start).days / 365.0


def df(text):
    return math.exp(-RATE * years(text))


def curve():
    return Market.discountCurve(date("2024-01-15"), RATE)


def act360():
    return Util.dayCountConvention(Util.day_count_convention_type.ACT_360)


EXPIRY, MATURITY, SHORT_MATURITY = "2026-01-15", "2031-01-15", "2028-01-15"
SCHEDULE = ["2026-01-15", "2027-01-15", "2028-01-15", "2029-01-15", "2030-01-15", "2031-01-15"]


def swap():
    return Instrument.interestRateSwap(curve(), date(EXPIRY), date(MATURITY), "1Y", act360())


def accruals(schedule=SCHEDULE):
    """ACT/360 accruals of the periods."""
    days = [python_dates.date.fromisoformat(d) for d in schedule]
    return [(b - a).days / 360.0 for a, b in zip(days, days[1:])]


def forward_swap(dfs, schedule=SCHEDULE):
    """(float leg, annuity) on discount factors of the schedule."""
    return dfs[0] - dfs[-1], sum(a * p for a, p in zip(accruals(schedule), dfs[1:]))


# Sums and ratios of a few order-one terms, rounded differently on either side.
CLOSE = dict(rel=1e-13, abs=1e-15)

INSTRUMENTS = ["instrumentCreditBond", "instrumentIrBond", "instrumentIrSwaption", "instrumentIrSpreadOption",
               "instrumentBermudanSwaption"]
TYPES = {name: "instrument" for name in INSTRUMENTS}
TYPES.update({"instrument": None, "Stub": None, "stubPlacement": None, "marketConventionData": None,
              "interestRateSwap": None, "interestRateSpread": None, "bermudanStrikesLifeCycle": "lifeCycleData"})
ENUMERATIONS = {"stub_type": "qavrekmodules.Instrument.stub_type",
                "stub_placement_type": "qavrekmodules.Instrument.stub_placement_type"}


def test_module_dictionary_holds_exactly_its_types_and_enumerations():
    assert {name for name in vars(Instrument) if not name.startswith("__")} == set(TYPES) | set(ENUMERATIONS)


@pytest.mark.parametrize("name, base", TYPES.items())
def test_type_names_and_bases(name, base):
    python_type = getattr(Instrument, name)
    package = "qavrekmodules.qavrek" if name == "marketConventionData" else "qavrekmodules.Instrument"
    assert f"{python_type.__module__}.{python_type.__qualname__}" == f"{package}.{name}"
    expected_base = {None: object, "instrument": Instrument.instrument, "lifeCycleData": Market.lifeCycleData}[base]
    assert python_type.__base__ is expected_base


@pytest.mark.parametrize("name, values", [
    ("stub_type", {"LONGSTART": 0, "SHORTSTART": 1, "LONGEND": 2, "SHORTEND": 3}),
    ("stub_placement_type", {"FRONT": 0, "BACK": 1, "AUTO": 2}),
])
def test_enumerations_and_their_values(name, values):
    enumeration = getattr(Instrument, name)
    assert f"{enumeration.__module__}.{enumeration.__qualname__}" == ENUMERATIONS[name]
    assert {k: v for k, v in vars(enumeration).items() if not k.startswith("__")} == values
    assert all(type(getattr(enumeration, k)) is enumeration for k in values)


def test_the_stubs_own_enumeration_is_its_class_attribute():
    nested = Instrument.Stub.stub_type
    assert f"{nested.__module__}.{nested.__qualname__}" == "qavrekmodules.Instrument.Stub.stub_type"
    assert (nested.SIMPLE, nested.BOND, nested.NONE) == (0, 1, 2)
    assert not hasattr(Instrument.stub_type, "SIMPLE")


def test_documentation_texts():
    assert Instrument.instrument.__doc__ == "instrument - no description provided.\n\n"
    assert Instrument.instrumentCreditBond.__doc__.endswith(
        "instrument_credit_bond - no description provided.\n\nSuperclass: instrument\n\n")
    assert Instrument.bermudanStrikesLifeCycle.__doc__.endswith("Superclass: life_cycle_data\n\n")
    assert Instrument.interestRateSwap.__doc__.endswith("interest_rate_swap - no description provided.\n\n")
    assert Instrument.Stub.to_string.__doc__.endswith("\n\nreturns a string description e.g. SIMPLE")
    assert Instrument.stubPlacement.isEndStub.__doc__.endswith("rurn TRUE, unless there is a stub in which case "
                                                               "FALSE is\n   retued.")
    assert Instrument.interestRateSwap.implied_volatility.__doc__.startswith(
        "implied_volatility(self, value:float, strike:float, is_call:float=1) -> float\n")


def swaption(strikes=(0.9, 1.0, 1.1), *rest):
    return Instrument.instrumentIrSwaption(True, curve(), date(EXPIRY), date(MATURITY), "1Y", act360(),
                                           list(strikes), *rest)


def spread(*weights):
    return Instrument.interestRateSpread(curve(), date(EXPIRY), date(MATURITY), date(SHORT_MATURITY), "1Y", act360(),
                                         *weights)


def bermudan(event_dates=(), expiries=("2026-01-15", "2027-01-15")):
    return Instrument.instrumentBermudanSwaption(True, 0.03, list(event_dates), curve(),
                                                 [date(d) for d in expiries], date(MATURITY), "1Y", act360())


SAMPLES = {
    "Stub": lambda: Instrument.Stub(Instrument.Stub.stub_type.BOND),
    "stubPlacement": lambda: Instrument.stubPlacement(Instrument.stub_placement_type.AUTO),
    "marketConventionData": lambda: Instrument.marketConventionData(),
    "instrumentCreditBond": lambda: Instrument.instrumentCreditBond(date(EXPIRY), date(MATURITY), act360()),
    "instrumentIrBond": lambda: Instrument.instrumentIrBond(date(EXPIRY), date(MATURITY), act360()),
    "instrumentIrSwaption": swaption,
    "instrumentIrSpreadOption": lambda: Instrument.instrumentIrSpreadOption(
        False, curve(), date(EXPIRY), date(SHORT_MATURITY), date(MATURITY), "1Y", act360(), [0.0]),
    "instrumentBermudanSwaption": bermudan,
    "bermudanStrikesLifeCycle": lambda: Instrument.bermudanStrikesLifeCycle(2, 0.03),
    "interestRateSwap": swap,
    "interestRateSpread": spread,
}


@pytest.mark.parametrize("name", SAMPLES)
def test_objects_are_unhashable_and_only_stubs_have_a_string_form(name):
    made = SAMPLES[name]()
    assert type(made) is getattr(Instrument, name)
    with pytest.raises(TypeError, match="unhashable"):
        hash(made)
    assert str(made) == ("BOND" if name == "Stub" else repr(made))


# Copies compare by what they answer: a copy is a new object, the source answers as before.
COPIES = [
    ("Stub", lambda s: s.to_string()),
    ("stubPlacement", lambda p: p.isEndStub("1Y", date("2024-01-15"), date("2025-03-15"))),
    ("marketConventionData", lambda m: None),
    ("instrumentIrSwaption", lambda s: (s.strikes(), s.is_call(), s.swap().swap_rate())),
    ("instrumentIrSpreadOption", lambda s: (s.strikes(), s.spread().long_swap().maturity().serial())),
    ("instrumentBermudanSwaption", lambda b: [s.swap().expiry().serial() for s in b.swaptoins()]),
    ("bermudanStrikesLifeCycle", lambda b: b.excution_boundary_strikes()),
    ("interestRateSwap", lambda s: (s.swap_rate(), s.annuity(), [d.serial() for d in s.all_dates()])),
    ("interestRateSpread", lambda s: (s.long_swap().swap_rate(), s.short_swap().swap_rate(), s.dfs())),
]


@pytest.mark.parametrize("name, answer", COPIES, ids=[row[0] for row in COPIES])
def test_copies_answer_like_their_source(name, answer):
    source = SAMPLES[name]()
    before = answer(source)
    copy = type(source)(source)
    assert copy is not source and type(copy) is type(source)
    assert answer(copy) == before and answer(source) == before


def test_the_abstract_instrument_refuses_construction_even_without_arguments():
    with pytest.raises(TypeError, match="^this class cannot be instantiated$"):
        Instrument.instrument()


@pytest.mark.parametrize("call, message", [
    (lambda: Instrument.Stub(), r"^Stub\(\) has no overload that takes 0 arguments$"),
    (lambda: Instrument.Stub(1), r"^Stub\(\): no overload takes the arguments \(int\)$"),
    (lambda: Instrument.Stub(Instrument.stub_type.LONGSTART), r"Stub\(\): no overload takes the arguments \(stub_type\)"),
    (lambda: Instrument.stubPlacement(Instrument.stub_placement_type.BACK, 1),
     r"^stub_placement\(\) has no overload that takes 2 arguments$"),
    (lambda: Instrument.marketConventionData(1, 2), r"^market_convention_data\(\) has no overload that takes 2 arguments$"),
    (lambda: Instrument.instrumentCreditBond(date(EXPIRY), date(MATURITY)),
     r"^instrument_credit_bond\(\) takes from 3 to 4 arguments \(2 given\)$"),
    (lambda: Instrument.instrumentCreditBond(date(EXPIRY), date(MATURITY), act360(), False, 1),
     r"^instrument_credit_bond\(\) takes from 3 to 4 arguments \(5 given\)$"),
    (lambda: Instrument.instrumentIrBond(SAMPLES["instrumentIrBond"]()),
     r"^instrument_ir_bond\(\) takes exactly 3 arguments \(1 given\)$"),
    (lambda: Instrument.instrumentIrSwaption(True, curve(), date(EXPIRY), date(MATURITY), "1Y"),
     r"^instrument_ir_swaption\(\) has no overload that takes 5 arguments$"),
    (lambda: Instrument.instrumentIrSpreadOption(True, curve(), date(EXPIRY), date(MATURITY), "1Y", act360(), [0.0]),
     r"^instrument_ir_spread_option\(\) has no overload that takes 7 arguments$"),
    (lambda: Instrument.instrumentBermudanSwaption(swaption()),
     r"instrument_bermudan_swaption\(\) argument 1: method requires a instrumentBermudanSwaption, a "
     r"instrumentIrSwaption was provided\."),
    (lambda: Instrument.bermudanStrikesLifeCycle(1, 2, 3),
     r"^bermudan_strikes_life_cycle\(\) has no overload that takes 3 arguments$"),
    (lambda: Instrument.interestRateSwap(curve(), date(EXPIRY), date(MATURITY), "1Y"),
     r"^interest_rate_swap\(\) has no overload that takes 4 arguments$"),
    (lambda: Instrument.interestRateSpread(curve(), date(EXPIRY), date(MATURITY), date(SHORT_MATURITY), "1Y"),
     r"^interest_rate_spread\(\) has no overload that takes 5 arguments$"),
    (lambda: Instrument.interestRateSwap(act360(), date(EXPIRY), date(MATURITY), "1Y", act360()),
     r"^interest_rate_swap\(\) argument 1: method requires a discountCurve, a dayCountConvention was provided\.$"),
    (lambda: Instrument.interestRateSwap(swap(), extra=1), "^this function takes no keyword arguments$"),
    (lambda: swap().swap_rate(1.0, 2.0), r"^swap_rate\(\) has no overload that takes 2 arguments$"),
    (lambda: swap().annuity([1.0], [1.0]), r"^annuity\(\) has no overload that takes 2 arguments$"),
    (lambda: swap().implied_volatility(0.01, 0.03, 1.0, 0.0), r"^implied_volatility\(\) has no overload that takes 4"),
    (lambda: swap().implied_volatility("a", 0.03), r"^implied_volatility\(\): no overload takes the arguments \(str, float\)"),
    (lambda: swap().annuity_aad((0.0,) * 6, [1.0] * 6), r"^annuity_aad\(\) argument 1: expected a list of floats, got tuple"),
    (lambda: swap().value(0.03), r"^value\(\) takes exactly 2 arguments \(1 given\)$"),
    (lambda: Instrument.interestRateSwap.gradient([0.0], [[1.0]], [1.0]),
     r"^gradient\(\) argument 1: cannot pass list as a non-const vector_IdE reference$"),
    (lambda: swap().hessian(Vectorization.matrix_IdE(1, 1), 1.0, curve(), [1.0] * 6),
     r"^hessian\(\) argument 3: method requires a matrix_IdE, a discountCurve was provided\.$"),
    (lambda: swaption().value(date(EXPIRY), [curve(), 3], Vectorization.tensor_IdE(3, 1)),
     r"^value\(\) argument 2: method requires a marketData, a int was provided\.$"),
    (lambda: swaption().value(date(EXPIRY), [curve()], [[0.0]]),
     r"^value\(\) argument 3: cannot pass list as a non-const tensor_IdE reference$"),
    (lambda: swaption().value(date(EXPIRY), [curve()]), r"^value\(\) takes exactly 3 arguments \(2 given\)$"),
    (lambda: Instrument.bermudanStrikesLifeCycle(2, 0.03).excution_boundary_strikes(0, 1),
     r"^excution_boundary_strikes\(\) has no overload that takes 2 arguments$"),
    (lambda: Instrument.instrument.size(swap()),
     r"^size\(\) called through its class needs a instrument object as first argument"),
])
def test_argument_errors_are_type_errors(call, message):
    with pytest.raises(TypeError, match=message):
        call()


def test_instrument_methods_run_the_objects_own_operations_through_the_base_type():
    made = swaption()
    assert isinstance(made, Instrument.instrument)
    assert Instrument.instrument.size(made) == made.size() == 3
    assert Instrument.instrument.make_life_cycle_data(bermudan()).__class__ is Market.lifeCycleData
    # An instrument without a life cycle answers None rather than an empty object.
    assert made.make_life_cycle_data() is None


@pytest.mark.parametrize("stub_type, accrual", [
    ("SIMPLE", 136 / 360), ("BOND", 182 / 360 * 136 / 182), ("NONE", 182 / 360),
])
def test_stub_payments(stub_type, accrual):
    stub = Instrument.Stub(getattr(Instrument.Stub.stub_type, stub_type))
    payment = stub.payment(date("2024-01-15"), date("2024-07-15"), date("2024-03-01"), date("2024-07-15"), act360())
    assert payment == pytest.approx(accrual, rel=1e-15)
    assert str(stub) == stub.to_string() == stub_type


@pytest.mark.parametrize("placement, end, at_end", [
    ("FRONT", "2029-01-15", False), ("BACK", "2029-03-15", True),
    ("AUTO", "2029-01-15", True), ("AUTO", "2029-03-15", False),
])
def test_stub_placements(placement, end, at_end):
    rule = Instrument.stubPlacement(getattr(Instrument.stub_placement_type, placement))
    assert rule.isEndStub(Util.tenor("6M"), date("2024-01-15"), date(end)) is at_end
    assert (rule.isShortStub(), rule.isLongStub()) == (True, False)


def test_swap_schedule_rate_and_annuity_are_the_closed_forms():
    made = swap()
    assert [d.serial() for d in made.all_dates()] == [date(d).serial() for d in SCHEDULE]
    assert (made.expiry().serial(), made.maturity().serial()) == (date(EXPIRY).serial(), date(MATURITY).serial())
    assert made.is_caplet() is False
    dfs = [df(d) for d in SCHEDULE]
    floating, annuity = forward_swap(dfs)
    assert made.annuity() == pytest.approx(annuity, **CLOSE)
    assert made.swap_rate() == pytest.approx(floating / annuity, **CLOSE)
    # Other discount factors through the overloads, as a list, a tuple or an array.
    bumped = [p * (1 - 0.01 * i) for i, p in enumerate(dfs)]
    floating, annuity = forward_swap(bumped)
    assert made.swap_rate(tuple(bumped)) == pytest.approx(floating / annuity, **CLOSE)
    assert made.annuity(numpy.array(bumped)) == pytest.approx(annuity, **CLOSE)
    assert made.value(0.025, bumped) == pytest.approx(floating - 0.025 * annuity, **CLOSE)
    caplet = Instrument.interestRateSwap(curve(), date(EXPIRY), date("2026-07-15"), "6M", act360())
    assert caplet.is_caplet() is True


def central_difference(function, values, i, h=1e-6):
    up, down = list(values), list(values)
    up[i] += h
    down[i] -= h
    return (function(up) - function(down)) / (2 * h)


# Central differences with steps of 1e-6 on functions of order one: errors near 1e-10.
DIFFERENCE = dict(rel=1e-7, abs=1e-9)


def test_adjoints_are_added_into_the_callers_lists():
    made = swap()
    dfs = [df(d) for d in SCHEDULE]
    start = [0.5] * len(dfs)
    annuity_adjoints = list(start)
    assert made.annuity_aad(annuity_adjoints, dfs) is None
    assert annuity_adjoints == pytest.approx([0.5] + [0.5 + a for a in accruals()], **CLOSE)
    rate_adjoints = list(start)
    assert made.swap_rate_aad(2.0, dfs, rate_adjoints) is None
    for i in range(len(dfs)):
        assert rate_adjoints[i] - 0.5 == pytest.approx(2.0 * central_difference(made.swap_rate, dfs, i), **DIFFERENCE)

    pair = spread(1.5, 0.5)
    spread_dfs = list(pair.dfs())
    log_adjoints = [0.0] * len(spread_dfs)
    assert pair.value_aad(log_adjoints, 3.0, spread_dfs) is None
    for i, p in enumerate(spread_dfs):
        derivative = central_difference(lambda x: pair.value(0.0, x), spread_dfs, i)
        assert log_adjoints[i] == pytest.approx(3.0 * p * derivative, **DIFFERENCE)


def test_state_gradient_and_hessian_of_the_swap_rate():
    made = swap()
    dfs = [df(d) for d in SCHEDULE]
    loadings = [[0.1 * i, 0.02 * i * i] for i in range(len(dfs))]

    def rate_in_state(x):
        shifted = [p * math.exp(-sum((g[k] - loadings[0][k]) * x[k] for k in range(2))) for p, g in zip(dfs, loadings)]
        return made.swap_rate(shifted)

    log_adjoints = [0.0] * len(dfs)
    made.swap_rate_aad(1.0, dfs, log_adjoints)
    log_adjoints = [a * p for a, p in zip(log_adjoints, dfs)]
    gradient = Vectorization.vector_IdE(2)
    assert Instrument.interestRateSwap.gradient(gradient, loadings, log_adjoints) is None
    for k in range(2):
        assert gradient.tolist()[k] == pytest.approx(central_difference(rate_in_state, [0.0, 0.0], k), **DIFFERENCE)

    hessian = Vectorization.matrix_IdE(2, 2)
    assert made.hessian(hessian, 1.0, Vectorization.matrix_IdE(loadings), dfs) is None
    h = 1e-4
    for k in range(2):
        for l in range(2):
            def shifted(dk, dl):
                x = [0.0, 0.0]
                x[k] += dk
                x[l] += dl
                return rate_in_state(x)
            second = (shifted(h, h) - shifted(h, -h) - shifted(-h, h) + shifted(-h, -h)) / (4 * h * h)
            # Second differences with steps of 1e-4: truncation near 1e-8 of values near 1e-3.
            assert hessian.tolist()[k][l] == pytest.approx(second, rel=1e-5, abs=1e-9)


def black_price(forward, strike, variance, annuity, is_call):
    d1 = (math.log(forward / strike) + 0.5 * variance) / math.sqrt(variance)
    d2 = d1 - math.sqrt(variance)
    normal = lambda x: 0.5 * (1.0 + math.erf(x / math.sqrt(2.0)))
    if is_call:
        return annuity * (forward * normal(d1) - strike * normal(d2))
    return annuity * (strike * normal(-d2) - forward * normal(-d1))


@pytest.mark.parametrize("strike_ratio, is_call", [(0.8, 1.0), (1.0, 1.0), (1.25, 0.0)])
def test_implied_volatilities_by_price_and_by_surface(strike_ratio, is_call):
    made = swap()
    strike = strike_ratio * made.swap_rate()
    expiry_time = (python_dates.date.fromisoformat(EXPIRY) - VALUATION).days / 360.0  # the swap's ACT/360
    price = black_price(made.swap_rate(), strike, 0.2 ** 2 * expiry_time, made.annuity(), is_call)
    # The root search stops within 1e-10 of the volatility or so.
    arguments = (price, strike) if is_call == 1.0 else (price, strike, is_call)
    assert made.implied_volatility(*arguments) == pytest.approx(0.2, rel=1e-8)

    surface = Market.irVolatilitySurface(date("2024-01-15"), ["1Y", "5Y"], ["1Y", "10Y"], [0.01, 0.05],
                                         Vectorization.tensor_IdE([[[0.2, 0.3], [0.25, 0.35]], [[0.15, 0.2], [0.3, 0.4]]]))
    assert made.implied_volatility(surface, strike) == surface.volatility(date(EXPIRY), date(MATURITY), strike)


def test_swaption_values_read_through_numpy():
    strikes = [0.9, 1.0, 1.1]
    made = swaption(strikes)
    output = Vectorization.tensor_IdE(3, 4)
    assert made.value(date(EXPIRY), [curve()], output) is None
    values = numpy.asarray(output)
    assert values.shape == (3, 4)
    # On the market curve seen from the expiry the payoff is the forward intrinsic value in money at the
    # expiry: (S - K) A / P(expiry).
    rate, annuity = made.swap().swap_rate(), made.swap().annuity()
    expected = [max(rate - ratio * rate, 0.0) * annuity / df(EXPIRY) for ratio in strikes]
    for k in range(3):
        assert values[k].tolist() == pytest.approx([expected[k]] * 4, abs=1e-15)


@pytest.mark.parametrize("arguments, strikes, ratios", [
    ((), (), True),
    (([0.5, 2.0],), (0.5, 2.0), True),
    (([0.02, 0.04], False), (0.02, 0.04), False),
])
def test_swaption_strikes_default_to_none_and_to_ratios(arguments, strikes, ratios):
    made = Instrument.instrumentIrSwaption(False, curve(), date(EXPIRY), date(MATURITY), "1Y", act360(), *arguments)
    scale = made.swap().swap_rate() if ratios else 1.0
    assert list(made.strikes()) == pytest.approx([k * scale for k in strikes], rel=1e-15)
    assert made.size() == len(strikes) and made.is_call() is False
    assert "borrowed" in repr(made.swap())


@pytest.mark.parametrize("weights, expected", [((), (1.0, 1.0)), ((1.5,), (1.5, 1.0)), ((1.5, 0.5), (1.5, 0.5))])
def test_spread_weights_default_to_one(weights, expected):
    made = spread(*weights)
    assert (made.long_weight(), made.short_weight()) == expected
    assert made.long_swap().maturity().serial() == date(MATURITY).serial()
    assert made.short_swap().maturity().serial() == date(SHORT_MATURITY).serial()
    assert made.expiry().serial() == date(EXPIRY).serial()
    assert [d.serial() for d in made.all_dates()] == [date(d).serial() for d in SCHEDULE]
    assert list(made.dfs()) == pytest.approx([df(d) for d in SCHEDULE], **CLOSE)
    assert made.value(0.001, made.dfs()) == pytest.approx(
        expected[0] * made.long_swap().swap_rate() - expected[1] * made.short_swap().swap_rate() - 0.001, **CLOSE)


def test_borrowed_swaps_keep_their_spread_alive():
    long_swap = spread().long_swap()
    assert "borrowed" in repr(long_swap)
    assert long_swap.swap_rate() == pytest.approx(swap().swap_rate(), **CLOSE)


def test_the_spread_option_takes_the_short_maturity_first():
    option = Instrument.instrumentIrSpreadOption(True, curve(), date(EXPIRY), date(SHORT_MATURITY), date(MATURITY),
                                                 "1Y", act360(), [-0.001, 0.0, 0.01])
    assert option.spread().long_swap().maturity().serial() == date(MATURITY).serial()
    assert option.spread().short_swap().maturity().serial() == date(SHORT_MATURITY).serial()
    assert (option.size(), option.is_call(), option.strikes()) == (3, True, (-0.001, 0.0, 0.01))
    output = Vectorization.tensor_IdE(3, 2)
    option.value(date(EXPIRY), [curve()], output)
    forward = option.spread().value(0.0, option.spread().dfs())
    assert numpy.asarray(output)[:, 0].tolist() == pytest.approx([max(forward - k, 0.0) for k in option.strikes()],
                                                                  abs=1e-15)


@pytest.mark.parametrize("make_survival, survival", [
    (lambda: Market.survivalCurve(date("2024-01-15"), 0.02), lambda text: math.exp(-0.02 * years(text))),
    (lambda: Market.survivalCurve(date("2024-01-15"), [date("2027-01-15"), date("2034-01-15")], [0.95, 0.8]), None),
])
def test_bonds_are_discount_factors_times_survival(make_survival, survival):
    probabilities = make_survival()
    if survival is None:
        survival = lambda text: probabilities.survival_probability(date("2024-01-15"), date(text))
    output = Vectorization.tensor_IdE(1, 3)
    credit = Instrument.instrumentCreditBond(date(EXPIRY), date(MATURITY), act360())
    assert credit.value(date("2024-01-15"), [curve(), probabilities], output) is None
    assert output.tolist()[0] == pytest.approx([df(MATURITY) * survival(MATURITY)] * 3, rel=1e-14)
    riskless = Instrument.instrumentIrBond(date(EXPIRY), date(MATURITY), act360())
    riskless.value(date("2024-01-15"), [curve()], output)
    assert output.tolist()[0] == pytest.approx([df(MATURITY)] * 3, rel=1e-14)
    for bond in (credit, riskless):
        assert bond.size() == 1 and bond.maturity().serial() == date(MATURITY).serial()
        assert bond.convention().__class__ is Util.dayCountConvention


def test_an_at_default_bond_pays_the_default_leg():
    # Flat rate r and hazard h from the expiry s to the maturity T: h / (r + h) (e^{-(r+h)s} - e^{-(r+h)T}).
    bond = Instrument.instrumentCreditBond(date(EXPIRY), date(MATURITY), act360(), True)
    output = Vectorization.tensor_IdE(1, 1)
    bond.value(date("2024-01-15"), [curve(), Market.survivalCurve(date("2024-01-15"), 0.02)], output)
    total = RATE + 0.02
    expected = 0.02 / total * (math.exp(-total * years(EXPIRY)) - math.exp(-total * years(MATURITY)))
    assert output.tolist()[0][0] == pytest.approx(expected, rel=1e-13)


def test_bermudan_swaptions_hold_their_swaptions_and_life_cycle():
    made = bermudan()
    swaptions = made.swaptoins()
    assert [type(s) for s in swaptions] == [Instrument.instrumentIrSwaption] * 2
    assert all("borrowed" in repr(s) for s in swaptions)
    assert [s.swap().expiry().serial() for s in swaptions] == [date("2026-01-15").serial(), date("2027-01-15").serial()]
    assert [s.strikes() for s in swaptions] == [(0.03,), (0.03,)]
    life = made.make_life_cycle_data()
    assert type(life) is Market.lifeCycleData
    assert bermudan(expiries=()).swaptoins() == ()
    # Notice dates given one per expiry; none given means the expiries.
    noticed = bermudan(event_dates=(date("2025-11-14"), date("2026-11-13")))
    output = Vectorization.tensor_IdE(1, 2)
    noticed.value(date("2025-11-14"), [curve()], output)
    rate = swaptions[0].swap().swap_rate()
    annuity = swaptions[0].swap().annuity()
    expected = max(rate - 0.03, 0.0) * annuity / math.exp(-RATE * years("2025-11-14"))
    assert output.tolist()[0] == pytest.approx([expected] * 2, rel=1e-13)


@pytest.mark.parametrize("count, strike", [(3, 0.05), (0, 0.05)])
def test_bermudan_strikes_life_cycle(count, strike):
    life = Instrument.bermudanStrikesLifeCycle(count, strike)
    assert isinstance(life, Market.lifeCycleData)
    assert life.excution_boundary_strikes() == (strike,) * count
    for index in range(count):
        assert life.excution_boundary_strikes(index) == strike


@pytest.mark.parametrize("index", [3, 4, 1000])
def test_a_boundary_index_past_the_events_is_an_index_error(index):
    with pytest.raises(IndexError, match=f"index {index} is out of range for 3 events"):
        Instrument.bermudanStrikesLifeCycle(3, 0.05).excution_boundary_strikes(index)


@pytest.mark.parametrize("is_call", [True, False])
def test_simulated_values_on_a_deterministic_curve_are_the_intrinsic_values(is_call):
    """With no randomness every path is the market: the Monte Carlo value is the intrinsic value."""
    made, pair = swap(), spread(1.2, 0.8)
    paths = Vectorization.vector_IdE([df(EXPIRY)] * 4)
    strikes = [0.0, 0.03, 0.05]
    sign = 1.0 if is_call else -1.0
    swaptions = made.simulated_value(paths, curve(), strikes, is_call, False, False)
    spread_options = pair.simulated_value(paths, curve(), numpy.array(strikes) - 0.03, is_call, True)
    floating, annuity = forward_swap([df(d) for d in SCHEDULE])
    assert list(swaptions) == pytest.approx([max(sign * (floating - k * annuity), 0.0) for k in strikes], **CLOSE)
    forward = pair.value(0.0, pair.dfs())
    assert list(spread_options) == pytest.approx([max(sign * (forward - k + 0.03), 0.0) * df(EXPIRY) for k in strikes],
                                           **CLOSE)


def test_simulated_value_accepts_lists_for_the_path_discounting():
    made = swap()
    from_list = made.simulated_value([df(EXPIRY)] * 2, curve(), [0.03], True, False, False)
    from_vector = made.simulated_value(Vectorization.vector_IdE([df(EXPIRY)] * 2), curve(), [0.03], True, False, False)
    assert from_list == from_vector


def test_new_user_walkthrough():
    """A curve, a swap and a swaption built and valued from the documented signatures, read into numpy."""
    valuation = Util.datetime(2024, 1, 15)
    market = Market.discountCurve(valuation, [Util.datetime(2025, 1, 15), Util.datetime(2035, 1, 15)], [0.97, 0.7])
    convention = Util.dayCountConvention()
    payer = Instrument.instrumentIrSwaption(True, market, Util.datetime(2026, 1, 15), Util.datetime(2031, 1, 15),
                                            Util.tenor("6M"), convention, [0.8, 1.0, 1.2])
    values = Vectorization.tensor_IdE(payer.size(), 1)
    payer.value(payer.swap().expiry(), [market], values)
    array = numpy.asarray(values)[:, 0]
    assert array.shape == (3,) and array[0] > array[1] >= 0.0 and array[2] == 0.0


@pytest.mark.parametrize("missing, not_tried", [
    ("Market", ["qavrekmodules.Math", "qavrekmodules.Util", "qavrekmodules.Vectorization"]),
    ("Math", []),
])
def test_a_missing_sibling_fails_the_import_and_stops_the_imports(tmp_path, python_runner, missing, not_tried):
    package = os.path.dirname(Instrument.__file__)
    shutil.copytree(package, tmp_path / "qavrekmodules", ignore=shutil.ignore_patterns(f"{missing}.*"))
    code, errors = python_runner(f"""
        import sys
        try:
            import qavrekmodules.Instrument
        except ImportError as error:
            assert str(error) == "Failed to load Instrument: No module named qavrekmodules.{missing}", str(error)
            assert not [name for name in {not_tried!r} if name in sys.modules]
        else:
            raise AssertionError("the import succeeded")
        """, [str(tmp_path)])
    assert code == 0, errors


def test_the_module_imports_on_its_own(python_runner):
    code, errors = python_runner("import qavrekmodules.Instrument as I; assert I.stub_type.SHORTEND == 3")
    assert code == 0, errors
