"""The Util module: dates, tenors, keys, calendars and day counts, checked against Python's own
calendar arithmetic and a direct FNV-1a."""
import datetime as pydate

import pytest

from qavrekmodules import Util

day_count = Util.day_count_convention_type
EPOCH = pydate.date(1899, 12, 30)


def serial(date):
    return float((date - EPOCH).days)


@pytest.mark.parametrize("date", [pydate.date(2020, 1, 1), pydate.date(2024, 2, 29), pydate.date(1900, 3, 1),
                                  pydate.date(1899, 12, 30), pydate.date(2100, 12, 31)])
def test_dates_from_fields_and_from_serial_numbers(date):
    made = Util.datetime(date.year, date.month, date.day)
    assert made.serial() == serial(date)
    assert made.weekday() == date.isoweekday() % 7  # 0 is Sunday
    assert str(made) == made.to_string() == date.isoformat()
    back = Util.datetime(serial(date))
    assert (back.year(), back.month(), back.day()) == (date.year, date.month, date.day)


def test_the_default_date_is_no_date():
    empty = Util.datetime()
    assert not empty.is_valid()
    assert str(empty) == "no date"
    with pytest.raises(RuntimeError):
        empty.year()


def test_dates_compare_by_their_serial_numbers():
    first, second = Util.datetime(2020, 1, 1), Util.datetime(2020, 1, 2)
    assert first < second and first <= second and second > first and first != second
    assert Util.datetime(43831.0) == first
    assert not Util.datetime() == Util.datetime()  # no date equals nothing, itself included


@pytest.mark.parametrize("text, count", [("0D", 0), ("3M", 3), ("10Y", 10), ("2W", 2)])
def test_tenors_keep_their_text(text, count):
    period = Util.tenor(text)
    assert str(period) == period.to_string() == text
    assert period.count() == count
    assert Util.tenor(period) == period


def test_tenors_compare_by_text():
    assert Util.tenor("12M") != Util.tenor("1Y")
    assert str(Util.tenor()) == "0D"


@pytest.mark.parametrize("text", ["", "3", "M3", "3X", "-1Y"])
def test_bad_tenor_texts_are_library_errors(text):
    with pytest.raises(RuntimeError):
        Util.tenor(text)


def test_keys_work_as_dictionary_keys():
    prices = {Util.key("EUR"): 1.0, Util.key("USD"): 2.0}
    assert prices[Util.key("USD")] == 2.0
    assert Util.key("EUR") != Util.key("USD")
    assert str(Util.key("EUR")) == "EUR"


def business_days(start, end, weekends, holidays):
    days = [start + pydate.timedelta(days=i) for i in range((end - start).days)]
    return sum(1 for d in days if d not in holidays and not (weekends and d.weekday() >= 5))


@pytest.mark.parametrize("weekends", [True, False])
def test_calendar_counts_business_days(weekends):
    holidays = [pydate.date(2024, 1, 1), pydate.date(2024, 3, 29), pydate.date(2024, 12, 25)]
    calendar = Util.calendar(weekends, [serial(d) for d in reversed(holidays)])
    assert [d.serial() for d in calendar.dates()] == [serial(d) for d in holidays]
    start, end = pydate.date(2023, 12, 20), pydate.date(2025, 1, 10)
    expected = business_days(start, end, weekends, holidays)
    assert calendar.business_days_between(serial(start), serial(end)) == expected
    assert calendar.business_days_between(Util.datetime(serial(end)), Util.datetime(serial(start))) == -expected


@pytest.mark.parametrize("kind, denominator", [(day_count.ACT_365F, 365.0), (day_count.ACT_360, 360.0)])
def test_actual_day_counts(kind, denominator):
    convention = Util.dayCountConvention(kind)
    start, end = pydate.date(2020, 2, 15), pydate.date(2023, 7, 1)
    days = (end - start).days
    assert convention.fraction(serial(start), serial(end)) == pytest.approx(days / denominator, rel=1e-15)
    assert convention.fraction(serial(end), serial(start)) == -convention.fraction(serial(start), serial(end))
    assert convention.type() is kind
    assert convention.calendar().__repr__().endswith("holding nothing>")


def test_business_252_counts_the_calendars_days():
    holidays = [pydate.date(2024, 5, 1)]
    convention = Util.dayCountConvention(day_count.BUSINESS_252, Util.calendar(True, [serial(holidays[0])]))
    start, end = pydate.date(2024, 4, 1), pydate.date(2024, 7, 1)
    assert convention.fraction(serial(start), serial(end)) == business_days(start, end, True, holidays) / 252


def test_the_default_day_count_is_act_365f_and_copies_keep_the_calendar():
    assert Util.dayCountConvention().type() is day_count.ACT_365F
    original = Util.dayCountConvention(day_count.BUSINESS_252, Util.calendar(True, [45413.0]))
    copy = Util.dayCountConvention(original)
    assert [d.serial() for d in copy.calendar().dates()] == [45413.0]
