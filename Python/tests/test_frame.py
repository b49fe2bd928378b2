"""The module frame as every wrapped type meets it: argument reading and its errors, calls through the
class, abstract and enumeration types, the object layout, hashing of identifiers, owning and borrowed
results, the translation of C++ exceptions and the failures of an import.

The frameProbe module (test-only) wraps small classes for what no library class of these modules reaches.
"""
import gc
import os
import shutil
import weakref

import pytest

from qavrekmodules import Core, Math, Random, Util, Vectorization

probe = pytest.importorskip("frameProbe")

random_type = Random.random_type
day_count = Util.day_count_convention_type


def settings():
    return Random.randomSettings(5489, 10, 3)


def twister():
    return Random.random.random_generator_factory(random_type.MERSENNE_TWISTER, settings())


WRAPPED_TYPES = [Random.random, Random.randomSettings, Util.datetime, Util.tenor, Util.key, Util.calendar,
                 Util.dayCountConvention, Vectorization.vector_IdE, Vectorization.matrix_IdE,
                 Vectorization.tensor_IdE, Math.normalDistribution, probe.probeBase, probe.probeDerived]
ENUMERATIONS = [random_type, Core.device_type, day_count]


@pytest.mark.parametrize("make, args", [
    (Random.randomSettings, (1, 1000, 12)),
    (Random.randomSettings, (settings(),)),
    (Util.datetime, (2020, 1, 1)),
    (Util.tenor, ("3M",)),
    (Util.dayCountConvention, (day_count.ACT_360,)),
    (Vectorization.vector_IdE, ([1.0, 2.0],)),
    (probe.probeDerived, (1.0,)),
])
def test_constructors_refuse_keyword_arguments(make, args):
    with pytest.raises(TypeError) as raised:
        make(*args, extra=1)
    assert str(raised.value) == "this function takes no keyword arguments"


def test_methods_refuse_keyword_arguments():
    with pytest.raises(TypeError, match="takes no keyword arguments"):
        twister().discard(discard_count=1)


@pytest.mark.parametrize("call, message", [
    (lambda: Random.random.random_generator_factory(random_type.SOBOL, Util.tenor("3M")),
     "random_generator_factory() argument 2: method requires a randomSettings, a tenor was provided."),
    (lambda: Random.random.random_generator_factory(random_type.SOBOL, 3),
     "random_generator_factory() argument 2: method requires a randomSettings, a int was provided."),
    (lambda: Random.random.random_generator_factory(2, settings()),
     "random_generator_factory() argument 1: expected a random_type value, got int"),
    (lambda: Random.random.generate_upfront_onley(Core.device_type.CPU),
     "generate_upfront_onley() argument 1: expected a random_type value, got device_type"),
    (lambda: Random.randomSettings(1, 1000, "12"), "random_settings() argument 3: expected an int, got str"),
    (lambda: Random.randomSettings(1, 1000, 12.0), "random_settings() argument 3: expected an int, got float"),
    (lambda: Random.randomSettings(1, 1000, 12, 1, 0, "no"), "random_settings() argument 6: expected a bool, got str"),
    (lambda: Random.randomSettings(Util.tenor("1Y")),
     "random_settings() argument 1: method requires a randomSettings, a tenor was provided."),
    (lambda: twister().uniforms((0.0,), 1, 0), "uniforms() argument 1: expected a list of floats, got tuple"),
    (lambda: twister().uniforms([0.0, "x"], 1, 0), "uniforms() argument 1: item 1: expected a float, got str"),
    (lambda: twister().discard("1"), "discard() argument 1: expected an int, got str"),
    (lambda: Util.dayCountConvention().fraction("2020-01-01", 43831.0),
     "fraction() argument 1: method requires a datetime, a str was provided."),
    (lambda: probe.probeCalls.label_length_shared("abc"),
     "label_length_shared() argument 1: cannot pass str as a non-const probeLabel reference"),
    (lambda: probe.probeCalls.label_append("abc"),
     "label_append() argument 1: cannot pass str as a non-const probeLabel reference"),
    (lambda: probe.probeBundle([probe.probeDerived(1.0), 2]),
     "probe_bundle() argument 1: method requires a probeBase, a int was provided."),
])
def test_wrong_argument_types_are_type_errors(call, message):
    with pytest.raises(TypeError) as raised:
        call()
    assert str(raised.value) == message


@pytest.mark.parametrize("call, message", [
    (lambda: twister().uniforms([0.0]), "uniforms() takes exactly 3 arguments (1 given)"),
    (lambda: twister().gaussians([0.0], 1, 0, 0), "gaussians() takes exactly 3 arguments (4 given)"),
    (lambda: twister().discard(), "discard() takes exactly 1 argument (0 given)"),
    (lambda: Random.random.random_generator_factory(random_type.SOBOL),
     "random_generator_factory() takes exactly 2 arguments (1 given)"),
    (lambda: Random.random.generate_upfront_onley(), "generate_upfront_onley() takes exactly 1 argument (0 given)"),
    (lambda: Random.randomSettings.write_to_json("x.json"), "write_to_json() takes exactly 2 arguments (1 given)"),
    (lambda: Random.randomSettings.read_from_binary(), "read_from_binary() takes exactly 1 argument (0 given)"),
    (lambda: Random.randomSettings(), "random_settings() has no overload that takes 0 arguments"),
    (lambda: Util.datetime(2020, 1), "datetime() has no overload that takes 2 arguments"),
    (lambda: Vectorization.tensor_IdE(*[1] * 9), "tensor<double>() has no overload that takes 9 arguments"),
])
def test_argument_counts(call, message):
    with pytest.raises(TypeError) as raised:
        call()
    assert str(raised.value) == message


def test_a_count_that_several_overloads_take_is_settled_by_the_argument_types():
    assert Util.datetime(43831.0).serial() == 43831.0
    assert Util.datetime(Util.datetime(2020, 1, 1)).serial() == 43831.0
    with pytest.raises(TypeError, match=r"^datetime\(\): no overload takes the arguments \(str\)$"):
        Util.datetime("2020-01-01")


def test_methods_called_through_the_class_act_on_their_first_argument():
    record = Random.randomSettings(7, 10, 3)
    assert Random.randomSettings.seed(record) == record.seed() == 7
    date = Util.datetime(2024, 2, 29)
    assert Util.datetime.day(date) == 29
    # A method of the base class on a derived object: the base part sits at an offset inside it.
    assert probe.probeBase.scale(probe.probeDerived(2.5)) == 2.5


@pytest.mark.parametrize("call", [
    lambda: Random.randomSettings.seed(),
    lambda: Random.randomSettings.seed(3),
    lambda: Random.randomSettings.seed(Util.datetime(2020, 1, 1)),
])
def test_a_call_through_the_class_needs_an_object_of_the_class(call):
    with pytest.raises(TypeError, match=r"^seed\(\) called through its class needs a randomSettings object"):
        call()


def test_static_functions_are_reached_from_objects_too(tmp_path):
    record = Random.randomSettings(7, 10, 3)
    assert record.json_to_string(record) == Random.randomSettings.json_to_string(record)
    assert twister().generate_upfront_onley(random_type.SOBOL) is True


@pytest.mark.parametrize("make", [lambda: Random.random(), lambda: Math.normalDistribution(),
                                  lambda: probe.probeBase(1.0)])
def test_abstract_types_cannot_be_instantiated(make):
    with pytest.raises(TypeError) as raised:
        make()
    assert str(raised.value) == "this class cannot be instantiated"


@pytest.mark.parametrize("python_type", WRAPPED_TYPES)
def test_object_layout_and_type_flags(python_type):
    assert python_type.__basicsize__ == 72
    assert python_type.__weakrefoffset__ == 48
    assert python_type.__dictoffset__ == 56
    with pytest.raises(TypeError):
        type("Derived", (python_type,), {})


@pytest.mark.parametrize("enumeration", ENUMERATIONS)
def test_enumeration_values_are_ints_that_python_cannot_make(enumeration):
    values = {name: value for name, value in vars(enumeration).items() if type(value) is enumeration}
    assert values, "the enumeration has its values in its dictionary"
    for value in values.values():
        assert isinstance(value, int) and value == int(value)
        with pytest.raises(TypeError):
            value()
    with pytest.raises(TypeError):
        enumeration()
    with pytest.raises(TypeError):
        enumeration(0)
    with pytest.raises(TypeError):
        type("Derived", (enumeration,), {})


def test_enumeration_results_are_the_registered_values():
    assert Random.randomSettings(1, 2, 3).generator_type() is random_type.WELL_19937
    assert Util.dayCountConvention(day_count.ACT_360).type() is day_count.ACT_360
    assert Random.randomSettings(1, 2, 3).type() is Core.device_type.CPU


def fnv1a_64(text):
    value = 0xCBF29CE484222325
    for byte in text.encode():
        value = ((value ^ byte) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return value


@pytest.mark.parametrize("text", ["", "EUR", "USD.LIBOR.3M", "id-daublfh"])
def test_identifier_hash_is_the_low_32_bits_of_the_library_hash(text):
    low = fnv1a_64(text) & 0xFFFFFFFF
    expected = low - (1 << 32) if low >= 1 << 31 else low
    if expected == -1:  # Python reserves -1 for errors
        expected = -2
    name = Util.key(text)
    assert name.hash() == fnv1a_64(text)
    assert hash(name) == expected == hash(name)
    assert hash(Util.key(text)) == expected


def test_a_hash_of_minus_one_becomes_minus_two():
    assert fnv1a_64("id-daublfh") & 0xFFFFFFFF == 0xFFFFFFFF
    assert hash(Util.key("id-daublfh")) == -2


@pytest.mark.parametrize("make", [lambda: Random.randomSettings(1, 2, 3), lambda: Util.datetime(2020, 1, 1),
                                  lambda: Vectorization.vector_IdE(2), twister])
def test_other_classes_are_unhashable(make):
    with pytest.raises(TypeError, match="unhashable type"):
        hash(make())


def test_weak_references_die_with_their_object():
    record = Random.randomSettings(1, 2, 3)
    reference = weakref.ref(record)
    assert reference() is record
    del record
    gc.collect()
    assert reference() is None


def test_instances_take_attributes_of_their_own():
    record = Random.randomSettings(1, 2, 3)
    record.label = "base case"
    assert record.label == "base case"


@pytest.mark.parametrize("call, error, message", [
    (lambda: Util.tenor("3X"), RuntimeError, 'tenor text "3X"'),
    (lambda: Util.datetime(2021, 2, 30), RuntimeError, "day 30 is not a day of 2021-2"),
    (lambda: Util.dayCountConvention(day_count.BUSINESS_252), RuntimeError, "needs a calendar"),
    (lambda: Vectorization.vector_IdE(2 ** 61), MemoryError, ""),
    (lambda: Vectorization.matrix_IdE(2 ** 40, 2 ** 40), MemoryError, ""),
    (lambda: Vectorization.vector_IdE(-1), ValueError, "non-negative"),
    (lambda: Vectorization.vector_IdE([1.0])[1], IndexError, "out of range"),
    (lambda: Vectorization.matrix_IdE([[1.0], [2.0, 3.0]]), ValueError, "not rectangular"),
    (lambda: twister().uniforms([0.0], 2, 0), ValueError, "exceeds the 1 values"),
    (lambda: probe.probeCalls.library_error("the library refused"), RuntimeError, "^the library refused$"),
    (lambda: probe.probeCalls.not_implemented(), NotImplementedError, "^not offered here$"),
    (lambda: probe.probeCalls.allocation(), MemoryError, ""),
    (lambda: probe.probeCalls.out_of_range(), IndexError, "^position 7 is past the end$"),
    (lambda: probe.probeCalls.invalid_argument(), ValueError, "^not a valid argument$"),
    (lambda: probe.probeCalls.foreign(), RuntimeError, "^unknown C\\+\\+ exception$"),
])
def test_library_errors_are_python_exceptions(call, error, message):
    with pytest.raises(error, match=message):
        call()


def churn():
    """Allocates and frees enough objects of the sizes involved that freed memory is likely reused."""
    for _ in range(200):
        Util.dayCountConvention(day_count.BUSINESS_252, Util.calendar(False, [Util.datetime(1999, 9, 9)]))
        probe.probeBundle([probe.probeDerived(-7.0)])
    gc.collect()


def test_a_borrowed_result_outlives_its_parents_last_reference():
    holidays = [Util.datetime(2024, 1, 2), Util.datetime(2024, 1, 3)]
    convention = Util.dayCountConvention(day_count.BUSINESS_252, Util.calendar(True, holidays))
    borrowed = convention.calendar()
    assert repr(borrowed).startswith("<borrowed qavrekmodules.Util.calendar")
    del convention  # the calendar's only owner is the convention's member
    churn()
    assert [date.serial() for date in borrowed.dates()] == [45293.0, 45294.0]
    assert borrowed.use_weekends()
    assert not borrowed.is_business_day(Util.datetime(2024, 1, 2))
    assert borrowed.business_days_between(Util.datetime(2024, 1, 1), Util.datetime(2024, 1, 8)) == 3


def test_releasing_a_borrowed_result_leaves_its_parent_whole():
    convention = Util.dayCountConvention(day_count.BUSINESS_252, Util.calendar(True, [Util.datetime(2024, 1, 2)]))
    for _ in range(3):
        borrowed = convention.calendar()
        del borrowed
    churn()
    # 2024-01-01 .. 2024-01-08 holds 5 weekdays, one of them a holiday.
    assert convention.fraction(Util.datetime(2024, 1, 1), Util.datetime(2024, 1, 8)) == 4 / 252


def test_borrowed_tuple_items_outlive_their_parent():
    bundle = probe.probeBundle([probe.probeDerived(1.5), probe.probeDerived(2.5)])
    items, first = bundle.items(), bundle.first()
    del bundle
    churn()
    assert [item.scale() for item in items] == [1.5, 2.5]
    assert first.name() == "derived" and first.scale() == 1.5


def test_objects_that_hold_nothing_raise_instead_of_failing_silently():
    empty_member = Util.dayCountConvention(day_count.ACT_365F).calendar()
    null_result = probe.probeCalls.nothing()
    assert "holding nothing" in repr(empty_member) and "holding nothing" in repr(null_result)
    with pytest.raises(ValueError, match="^the calendar object holds no library object$"):
        empty_member.dates()
    with pytest.raises(ValueError, match="^the probeBase object holds no library object$"):
        null_result.name()
    with pytest.raises(ValueError, match=r"^name_of\(\) argument 1: the probeBase object holds no library object$"):
        probe.probeCalls.name_of(null_result)
    with pytest.raises(ValueError):
        Util.dayCountConvention(day_count.BUSINESS_252, empty_member)


def test_results_of_unknown_or_uncopyable_classes_are_value_errors():
    with pytest.raises(ValueError) as unknown:
        probe.probeCalls.unregistered()
    assert str(unknown.value) == 'cannot create object of unknown type "probeUnregistered"'
    with pytest.raises(ValueError) as uncopyable:
        probe.probeCalls.by_reference()
    assert str(uncopyable.value) == 'no copy constructor for object of type "probeBase"'


def test_derived_objects_pass_for_their_base():
    derived = probe.probeDerived(2.5)
    assert derived.scale() == 2.5 and derived.name() == "derived"
    assert probe.probeCalls.name_of(derived) == "derived@2.500000"


def test_const_references_accept_implicit_conversions_and_mutable_ones_do_not():
    assert probe.probeCalls.label_length("abc") == 3
    label = probe.probeLabel("ab")
    assert probe.probeCalls.label_append(label) == 3
    assert label.length() == 3  # the library changed the argument's own object


def test_an_output_vector_replaces_the_lists_contents():
    values = [1.0, 2.0]
    probe.probeCalls.refill(values)
    assert values == [2.0, 4.0, -1.0]


def test_a_failed_registration_fails_the_import_with_its_reason():
    with pytest.raises(ImportError) as raised:
        import brokenProbe  # noqa: F401
    assert str(raised.value) == ("Initialization failed for brokenProbe: TypeError: the base class probeMissingBase "
                                 "of brokenProbe.probeOrphan is not registered")
    assert isinstance(raised.value.__cause__, TypeError)


def test_a_module_checks_that_the_run_time_is_initialised(python_runner):
    code, errors = python_runner("import isolatedProbe")
    assert code != 0
    assert "ImportError: Initialization failed for isolatedProbe, not compatible with qavrekmodules.Core" in errors
    code, errors = python_runner("import qavrekmodules.Core, isolatedProbe")
    assert code == 0, errors


def test_a_missing_sibling_fails_the_import_and_stops_the_imports(tmp_path, python_runner):
    package = os.path.dirname(Random.__file__)
    shutil.copytree(package, tmp_path / "qavrekmodules", ignore=shutil.ignore_patterns("Math.*"))
    code, errors = python_runner("""
        import sys
        try:
            import qavrekmodules.Random
        except ImportError as error:
            assert str(error) == "Failed to load Random: No module named qavrekmodules.Math", str(error)
            assert "qavrekmodules.Vectorization" not in sys.modules
            assert "qavrekmodules.Core" in sys.modules
        else:
            raise AssertionError("the import succeeded")
        """, [str(tmp_path)])
    assert code == 0, errors


@pytest.mark.parametrize("module", ["Core", "Util", "Vectorization", "Math", "Random"])
def test_each_module_imports_on_its_own(python_runner, module):
    code, errors = python_runner(f"import qavrekmodules.{module}")
    assert code == 0, errors
