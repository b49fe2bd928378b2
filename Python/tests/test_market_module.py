"""The Market module: its dictionary and types, the ids (values that compare and hash by content and
persist), and the curves, spots and volatility surface queried from Python.

Curve and surface values are checked against the closed forms written out here: exp(-r t) for flat
curves, log-linear interpolation of the given discount factors or probabilities between nodes (the
first and last segments continued), Black volatilities bilinear in expiry time and swap length and linear
in strike, with times as ACT/365F year fractions worked out with Python's own dates.
"""
import datetime as python_dates
import json
import math

import pytest

from qavrekmodules import Market, Util, Vectorization

VALUATION = python_dates.date(2024, 1, 15)


def date(text):
    day = python_dates.date.fromisoformat(text)
    return Util.datetime(day.year, day.month, day.day)


def years(text):
    """ACT/365F year fraction from the valuation date."""
    return (python_dates.date.fromisoformat(text) - VALUATION).days / 365.0


def eur():
    return Market.currency("EUR")


def ois_eur():
    return Market.discountId(Market.discountDefinition("OIS"), Market.currency("EUR"))


def acme():
    return Market.defaultId("ACME", Market.currency("USD"), "SNRFOR", "XR14", "2014")


MARKET_TYPES = {
    "configData": None, "configDataId": None, "marketData": None, "marketDataId": None, "lifeCycleData": None,
    "currency": None, "discountDefinition": None, "discountId": "marketDataId", "defaultId": "marketDataId",
    "discountCurve": "marketData", "survivalCurve": "marketData", "equitySpot": "marketData",
    "fxSpot": "marketData", "irVolatilitySurface": "marketData",
}


def test_module_dictionary_holds_exactly_its_types():
    assert {name for name in vars(Market) if not name.startswith("__")} == set(MARKET_TYPES)


@pytest.mark.parametrize("name, base", MARKET_TYPES.items())
def test_type_names_and_bases(name, base):
    python_type = getattr(Market, name)
    assert f"{python_type.__module__}.{python_type.__qualname__}" == f"qavrekmodules.Market.{name}"
    assert python_type.__base__ is (object if base is None else getattr(Market, base))


@pytest.mark.parametrize("name", ["configData", "configDataId", "marketData", "marketDataId", "lifeCycleData"])
def test_abstract_bases_refuse_construction(name):
    with pytest.raises(TypeError, match="^this class cannot be instantiated$"):
        getattr(Market, name)()


IDS = [
    (eur, lambda: Market.currency(Util.key("EUR")), lambda: Market.currency("USD")),
    (lambda: Market.discountDefinition("OIS"), lambda: Market.discountDefinition(Util.key("OIS")),
     lambda: Market.discountDefinition("3M")),
    (ois_eur, lambda: Market.discountId(Market.discountDefinition(Util.key("OIS")), eur()),
     lambda: Market.discountId(Market.discountDefinition("OIS"), Market.currency("USD"))),
    (acme, lambda: Market.defaultId(Util.key("ACME"), Market.currency("USD"), "SNRFOR", Util.key("XR14"), "2014"),
     lambda: Market.defaultId("ACME", Market.currency("USD"), "SUBLT2", "XR14", "2014")),
]


@pytest.mark.parametrize("make, make_apart, make_other", IDS)
def test_ids_built_apart_compare_equal_and_hash_alike(make, make_apart, make_other):
    one, same, other = make(), make_apart(), make_other()
    assert one is not same and one == same and not one != same
    assert hash(one) == hash(same) and one.hash() == same.hash()
    assert len({one, same, other}) == 2
    assert one != other and one.hash() != other.hash()
    copy = type(one)(one)
    assert copy == one and copy is not one


@pytest.mark.parametrize("make, text", [
    (eur, "EUR"), (ois_eur, "OIS_EUR"), (acme, "ACME_USD_SNRFOR_XR14_2014"),
    (lambda: Market.discountDefinition("3M"), "3M"),
])
def test_id_texts(make, text):
    id = make()
    assert id.to_string() == text
    assert str(id) == type(id).json_to_string(id)


def test_an_id_string_is_its_json_envelope():
    assert json.loads(str(ois_eur())) == {
        "Class": "qavrek::discount_id",
        "id": {"Class": "qavrek::discount_definition", "id": "OIS"},
        "ccy": {"Class": "qavrek::currency", "ccy": "EUR"},
    }
    assert json.loads(str(acme()))["seniority"] == "SNRFOR"


@pytest.mark.parametrize("make", [row[0] for row in IDS])
@pytest.mark.parametrize("suffix, write, read", [
    (".json", "write_to_json", "read_from_json"), (".bin", "write_to_binary", "read_from_binary")])
def test_ids_round_trip_through_files(tmp_path, make, suffix, write, read):
    original = make()
    kind = type(original)
    path = str(tmp_path / ("id" + suffix))
    assert getattr(kind, write)(path, original) is None
    loaded = getattr(kind, read)(path)
    assert type(loaded) is kind and loaded == original and hash(loaded) == hash(original)


def test_a_json_file_holds_the_id_under_root(tmp_path):
    path = tmp_path / "id.json"
    Market.discountId.write_to_json(str(path), ois_eur())
    assert json.loads(path.read_text())["root"] == json.loads(str(ois_eur()))


# Nodes of the interpolated curves, and the query dates: before the valuation date, at it, between
# nodes, on a node and past the last node.
NODES = ["2025-01-15", "2026-01-15", "2029-01-15"]
DFS = [0.97, 0.94, 0.85]
QUERIES = ["2023-10-01", "2024-01-15", "2024-07-15", "2026-01-15", "2027-06-30", "2032-03-01"]


def log_linear(values, text):
    """ln f at the date: linear in time between (0, 0) and the nodes, the end segments continued."""
    times = [0.0] + [years(node) for node in NODES]
    logs = [0.0] + [math.log(value) for value in values]
    t = years(text)
    if t >= times[-1]:
        return logs[-1] + (t - times[-1]) * (logs[-1] - logs[-2]) / (times[-1] - times[-2])
    k = sum(1 for node in times[1:-1] if node <= t)
    return logs[k] + (t - times[k]) * (logs[k + 1] - logs[k]) / (times[k + 1] - times[k])


CURVES = [
    ("flat discount", lambda: Market.discountCurve(date("2024-01-15"), 0.03, ois_eur()), lambda text: -0.03 * years(text)),
    ("discount factors", lambda: Market.discountCurve(date("2024-01-15"), [date(n) for n in NODES], DFS),
     lambda text: log_linear(DFS, text)),
    ("flat hazard", lambda: Market.survivalCurve(date("2024-01-15"), 0.012, acme()), lambda text: -0.012 * years(text)),
    ("probabilities", lambda: Market.survivalCurve(date("2024-01-15"), [date(n) for n in NODES], DFS),
     lambda text: log_linear(DFS, text)),
]

# Two roundings of the same formula on either side: a few units in the last place.
TIGHT = dict(rel=1e-15, abs=1e-15)


@pytest.mark.parametrize("name, make, log_value", CURVES, ids=[row[0] for row in CURVES])
def test_curves_answer_their_closed_forms(name, make, log_value):
    curve = make()
    discount = isinstance(curve, Market.discountCurve)
    log_query = curve.log_df if discount else curve.log_survival_probability
    query = curve.df if discount else curve.survival_probability
    path_query = curve.discounting if discount else curve.survival_probability
    paths = Vectorization.vector_IdE(3)
    for start in QUERIES[:3]:
        for end in QUERIES:
            expected = log_value(end) - log_value(start)
            assert log_query(date(start), date(end)) == pytest.approx(expected, **TIGHT)
            assert query(date(start), date(end)) == pytest.approx(math.exp(expected), **TIGHT)
            log_query(paths, date(start), date(end))
            assert paths.tolist() == [log_query(date(start), date(end))] * 3
        path_query(paths, date(start))
        assert paths.tolist() == pytest.approx([math.exp(log_value(start))] * 3, **TIGHT)


def test_curves_are_market_data_of_their_valuation_date():
    curve = Market.discountCurve(date("2024-01-15"), 0.03)
    assert isinstance(curve, Market.marketData)
    assert curve.valuation_date().serial() == date("2024-01-15").serial()
    assert Market.marketData.valuation_date(curve).serial() == date("2024-01-15").serial()
    curve.finalize(date("2025-01-15"))  # a deterministic curve keeps its date
    assert curve.valuation_date().serial() == date("2024-01-15").serial()


def test_dates_may_be_day_numbers():
    curve = Market.survivalCurve(date("2024-01-15"), 0.012)
    start, end = date("2024-01-15").serial(), date("2026-01-15").serial()
    assert curve.survival_probability(start, end) == curve.survival_probability(date("2024-01-15"), date("2026-01-15"))


def test_spots_and_their_forwards():
    domestic = Market.discountCurve(date("2024-01-15"), 0.03)
    foreign = Market.discountCurve(date("2024-01-15"), [date(n) for n in NODES], DFS)
    equity = Market.equitySpot(date("2024-01-15"), 100.0, domestic)
    fx = Market.fxSpot(date("2024-01-15"), 1.1, domestic, foreign)
    assert (equity.spot(), fx.spot()) == (100.0, 1.1)
    assert equity.spots().tolist() == [100.0] and fx.spots().tolist() == [1.1]
    paths = Vectorization.vector_IdE(2)
    for to in QUERIES[1:]:
        equity.forward(paths, date("2024-07-15"), date(to))
        assert paths.tolist() == pytest.approx([100.0 * math.exp(0.03 * years(to))] * 2, **TIGHT)
        fx.forward(paths, date("2024-07-15"), date(to))
        parity = 1.1 * math.exp(log_linear(DFS, to) + 0.03 * years(to))
        assert paths.tolist() == pytest.approx([parity] * 2, **TIGHT)


def test_a_spot_without_curves_has_no_forward():
    with pytest.raises(RuntimeError):
        Market.equitySpot(date("2024-01-15"), 100.0).forward(Vectorization.vector_IdE(1), date("2024-01-15"),
                                                               date("2025-01-15"))


# Volatilities by expiry (1Y, 2Y), swap tenor (5Y, 10Y) and strike (1%, 3%).
STRIKES = [0.01, 0.03]
VOLS = [[[0.20, 0.24], [0.18, 0.21]], [[0.22, 0.27], [0.19, 0.25]]]


def surface():
    return Market.irVolatilitySurface(date("2024-01-15"), ["1Y", "2Y"], [Util.tenor("5Y"), "10Y"], STRIKES,
                                      Vectorization.tensor_IdE(VOLS))


@pytest.mark.parametrize("expiry, tenor, strike, expected", [
    ("1Y", "5Y", 0.01, VOLS[0][0][0]),
    ("2Y", "10Y", 0.03, VOLS[1][1][1]),
    ("1Y", "10Y", 0.02, (VOLS[0][1][0] + VOLS[0][1][1]) / 2),
    ("2Y", "5Y", -0.5, VOLS[1][0][0]),
    ("2Y", "5Y", 0.5, VOLS[1][0][1]),
    ("6M", "5Y", 0.01, VOLS[0][0][0]),
    ("5Y", "30Y", 0.03, VOLS[1][1][1]),
])
def test_surface_nodes_strikes_and_flat_ends(expiry, tenor, strike, expected):
    assert surface().volatility(expiry, tenor, strike) == pytest.approx(expected, **TIGHT)


def test_surface_between_expiries_by_dates():
    # 18 months out, on the 5Y swap: linear in expiry time between the 1Y and 2Y rows.
    weight = (years("2025-07-15") - years("2025-01-15")) / (years("2026-01-15") - years("2025-01-15"))
    for k, strike in enumerate(STRIKES):
        expected = (1 - weight) * VOLS[0][0][k] + weight * VOLS[1][0][k]
        assert surface().volatility(date("2025-07-15"), date("2030-07-15"), strike) == pytest.approx(expected, **TIGHT)
    assert surface().volatility(date("2025-01-15"), date("2030-01-15"), 0.02) == surface().volatility("1Y", "5Y", 0.02)


def test_surface_copy_answers_alike():
    original = surface()
    assert Market.irVolatilitySurface(original).volatility("2Y", "10Y", 0.02) == original.volatility("2Y", "10Y", 0.02)


@pytest.mark.parametrize("call, message", [
    (lambda: Market.discountCurve(date("2024-01-15"), "3%"), r"discount_curve\(\) argument 2: expected a float, got str"),
    (lambda: Market.discountCurve(date("2024-01-15"), 0.03, extra=1), "this function takes no keyword arguments"),
    (lambda: Market.discountCurve(date("2024-01-15")), r"discount_curve\(\) has no overload that takes 1 argument"),
    (lambda: Market.discountId("OIS", eur()),
     r"discount_id\(\) argument 1: method requires a discountDefinition, a str was provided\."),
    (lambda: Market.currency(3), r"currency\(\): no overload takes the arguments \(int\)"),
    (lambda: Market.discountCurve(date("2024-01-15"), 0.03).log_df(date("2025-01-15")),
     r"log_df\(\) has no overload that takes 1 argument"),
    (lambda: Market.survivalCurve(date("2024-01-15"), 0.01).survival_probability("a", "b"),
     r"survival_probability\(\): no overload takes the arguments \(str, str\)"),
    (lambda: Market.discountCurve(date("2024-01-15"), 0.03).discounting([0.0], date("2025-01-15")),
     r"discounting\(\) argument 1: cannot pass list as a non-const vector_IdE reference"),
    (lambda: Market.fxSpot(date("2024-01-15"), 1.1, eur()),
     r"fx_spot\(\) argument 3: method requires a discountCurve, a currency was provided\."),
    (lambda: Market.equitySpot.spot(eur()), r"spot\(\) called through its class needs a equitySpot object"),
])
def test_wrong_arguments_are_type_errors(call, message):
    with pytest.raises(TypeError, match=message):
        call()


@pytest.mark.parametrize("call, message", [
    (lambda: Market.discountCurve(date("2024-01-15"), [date("2025-01-15")], [0.9, 0.8]), "dates size 1"),
    (lambda: Market.survivalCurve(date("2024-01-15"), -0.01), ""),
    (lambda: Market.currency(""), ""),
    (lambda: surface().volatility("1Y", "5Y", float("nan")), "the strike is not a number"),
])
def test_library_refusals_are_runtime_errors(call, message):
    with pytest.raises(RuntimeError, match=message):
        call()
