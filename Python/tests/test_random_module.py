"""The Random module: its dictionary, its settings record and the generators its factory makes.

Generator outputs are checked against independent references: CPython's own MT19937 (driven from the
state that std::mt19937 seeding gives), the 10000th output of a default std::mt19937 that the C++
standard fixes, the published WELL reference outputs, and the first Sobol points worked out by hand.
"""
import json
import statistics

import pytest

from qavrekmodules import Core, Random
from references import mt19937_words

random_type = Random.random_type
TWO_TO_32 = 2.0 ** 32


def generator(kind, seed=5489, paths=1, dates=1, brownians=1, use_shift=True):
    settings = Random.randomSettings(seed, paths, dates, brownians, 0, False, random_type.WELL_19937, use_shift)
    return Random.random.random_generator_factory(kind, settings)


def test_module_dictionary_holds_exactly_its_types():
    assert {name for name in vars(Random) if not name.startswith("__")} == {"random", "randomSettings", "random_type"}


@pytest.mark.parametrize("python_type, full_name", [
    (Random.random, "qavrekmodules.Random.random"),
    (Random.randomSettings, "qavrekmodules.Random.randomSettings"),
    (Random.random_type, "qavrekmodules.Random.random_type"),
])
def test_type_names(python_type, full_name):
    assert f"{python_type.__module__}.{python_type.__qualname__}" == full_name


def test_type_documentation():
    assert Random.random.__doc__ == "random - no description provided.\n\n"
    doc = Random.randomSettings.__doc__
    assert doc.startswith("random_settings(seed:int, number_of_paths_per_batch:int,\n")
    assert "random_settings(__a:randomSettings)\n    -> random_settings\nC++: random_settings(const &random_settings)" in doc
    assert doc.endswith("\nrandom_settings - no description provided.\n\n")
    assert Random.random.uniforms.__doc__.startswith(
        "uniforms(self, output:[float, ...], size:int, discard_count:int) -> None\nC++: virtual void uniforms(")


@pytest.mark.parametrize("name, value", [
    ("SOBOL", 0), ("SOBOL_BROWNIAN_BRIDGE", 1), ("WELL_19937", 2), ("WELL_44497", 3), ("MERSENNE_TWISTER", 4),
])
def test_random_type_values(name, value):
    assert getattr(random_type, name) == value


SETTINGS_FIELDS = ["seed", "number_of_paths_per_batch", "number_of_simulation_dates", "number_of_brownians",
                   "batch_index", "full_skip", "generator_type", "use_shift", "type", "orthogonalization"]


def fields(settings):
    return [getattr(settings, name)() for name in SETTINGS_FIELDS]


def test_settings_take_the_library_defaults():
    assert fields(Random.randomSettings(1, 1000, 12)) == [1, 1000, 12, 1, 0, False, random_type.WELL_19937, True,
                                                           Core.device_type.CPU, False]


def test_every_settings_argument_reaches_its_field():
    # Every value differs from its default and from its neighbours.
    given = [7, 300, 24, 3, 5, True, random_type.SOBOL_BROWNIAN_BRIDGE, False, Core.device_type.CPU, True]
    settings = Random.randomSettings(*given)
    assert fields(settings) == given
    assert settings.generator_type() is random_type.SOBOL_BROWNIAN_BRIDGE


@pytest.mark.parametrize("count", [0, 2, 11])
def test_settings_counts_that_no_overload_takes(count):
    with pytest.raises(TypeError, match=f"^random_settings\\(\\) has no overload that takes {count} arguments$"):
        Random.randomSettings(*range(1, count + 1))


def test_settings_copy_is_a_new_object_with_the_same_fields():
    original = Random.randomSettings(7, 300, 24, 3, 5, True, random_type.SOBOL)
    copy = Random.randomSettings(original)
    assert copy is not original
    assert fields(copy) == fields(original)
    assert str(copy) == str(original)


def test_settings_string_is_their_json_text():
    settings = Random.randomSettings(7, 300, 24, 3, 5, True, random_type.SOBOL, False)
    text = str(settings)
    assert text == Random.randomSettings.json_to_string(settings)
    assert json.loads(text) == {
        "Class": "qavrek::random_settings", "seed": 7, "number_of_paths_per_batch": 300,
        "number_of_simulation_dates": 24, "number_of_brownians": 3, "batch_index": 5, "full_skip": True,
        "generator_type": 0, "use_shift": False, "type": 0, "orthogonalization": False,
    }


@pytest.mark.parametrize("write, read, file_name", [
    (Random.randomSettings.write_to_json, Random.randomSettings.read_from_json, "settings.json"),
    (Random.randomSettings.write_to_binary, Random.randomSettings.read_from_binary, "settings.bin"),
])
def test_settings_round_trip_through_files(tmp_path, write, read, file_name):
    original = Random.randomSettings(7, 300, 24, 3, 5, True, random_type.WELL_44497, False, Core.device_type.CPU, True)
    path = str(tmp_path / file_name)
    assert write(path, original) is None
    loaded = read(path)
    assert type(loaded) is Random.randomSettings
    assert fields(loaded) == fields(original)


def test_json_file_holds_the_settings_under_root(tmp_path):
    settings = Random.randomSettings(9, 10, 11)
    path = tmp_path / "settings.json"
    Random.randomSettings.write_to_json(str(path), settings)
    assert json.loads(path.read_text())["root"] == json.loads(str(settings))


def test_reading_a_missing_file_is_a_python_error(tmp_path):
    with pytest.raises(RuntimeError):
        Random.randomSettings.read_from_json(str(tmp_path / "missing.json"))


@pytest.mark.parametrize("read, content, message", [
    # 200000 arrays nested under the class name (about 400 KB): refused while parsed, not a stack overflow.
    (Random.randomSettings.read_from_json, '{"root": {"Class": ' + "[" * 200000 + "]" * 200000 + "}}",
     "nests deeper than 256 levels"),
    (Random.randomSettings.read_from_json,
     '{"root": {' + ",".join(f'"k{i}": 0' for i in range(100000)) + "}}", "more than 10000 members"),
    (Random.randomSettings.read_from_json,
     '{"root": {"Class": "qavrek::random_settings", "seed": -1, "number_of_paths_per_batch": 1, '
     '"number_of_simulation_dates": 1, "number_of_brownians": 1, "batch_index": 0, "full_skip": false, '
     '"generator_type": 2, "use_shift": false, "type": 0, "orthogonalization": false}}',
     "does not fit in an unsigned 64-bit integer"),
    (Random.randomSettings.read_from_binary, None, "is not a regular file"),
])
def test_a_hostile_file_is_a_python_error(tmp_path, read, content, message):
    path = tmp_path / "hostile"
    if content is not None:
        path.write_text(content)
    else:
        path = tmp_path  # a directory
    with pytest.raises(RuntimeError, match=message):
        read(str(path))


@pytest.mark.parametrize("seed", [5489, 42, 4294967295])
def test_mersenne_twister_matches_cpython(seed):
    words = mt19937_words(seed, 700)  # past one twist of the 624-word state
    values = [0.0] * len(words)
    generator(random_type.MERSENNE_TWISTER, seed).uniforms(values, len(values), 0)
    assert values == [w / TWO_TO_32 for w in words]


def test_ten_thousandth_word_of_the_default_mersenne_twister():
    # The C++ standard requires 4123659995 as the 10000th output of a default-constructed std::mt19937.
    twister = generator(random_type.MERSENNE_TWISTER, seed=5489)
    twister.discard(9999)
    value = [0.0]
    twister.uniforms(value, 1, 0)
    assert value[0] * TWO_TO_32 == 4123659995


# Published reference outputs (value of the n-th word) of the untempered WELL generators seeded with the
# MT19937 initialisation recursion.
WELL_REFERENCE = [
    (random_type.WELL_19937, 5489, 1, 436613738),
    (random_type.WELL_19937, 5489, 10, 234310915),
    (random_type.WELL_19937, 5489, 1000, 4077033841),
    (random_type.WELL_19937, 42, 10000, 1746014089),
    (random_type.WELL_44497, 5489, 1, 1395571721),
    (random_type.WELL_44497, 5489, 1000, 4294399629),
    (random_type.WELL_44497, 42, 10, 4081943201),
]


@pytest.mark.parametrize("kind, seed, n, word", WELL_REFERENCE)
def test_well_matches_its_reference(kind, seed, n, word):
    value = [0.0]
    generator(kind, seed).uniforms(value, 1, n - 1)
    assert value[0] * TWO_TO_32 == word


def test_discard_count_skips_before_the_numbers_are_written():
    words = mt19937_words(5489, 10)
    values = [0.0] * 3
    generator(random_type.MERSENNE_TWISTER).uniforms(values, 3, 4)
    assert values == [w / TWO_TO_32 for w in words[4:7]]


def test_gaussians_are_the_normal_quantiles_of_the_open_uniforms():
    words = mt19937_words(5489, 200)
    values = [0.0] * len(words)
    generator(random_type.MERSENNE_TWISTER).gaussians(values, len(values), 0)
    normal = statistics.NormalDist()
    # Wichura's AS241, which statistics uses, is accurate to about 1e-16; 1e-12 leaves room for its
    # rounding against the library's own quantile.
    assert values == pytest.approx([normal.inv_cdf((w + 0.5) / TWO_TO_32) for w in words], rel=1e-12, abs=1e-12)


def test_sobol_first_points_of_a_two_date_batch():
    # Gray-code Sobol points 1..4: dimension 1 (van der Corput) 1/2, 3/4, 1/4, 3/8; dimension 2 (direction
    # numbers m = 1, 3, 5) 1/2, 1/4, 3/4, 3/8. Date 0 reads the last dimension, date 1 the first.
    values = [0.0] * 8
    generator(random_type.SOBOL, paths=4, dates=2, use_shift=False).uniforms(values, 8, 0)
    assert values == [0.5, 0.25, 0.75, 0.375, 0.5, 0.75, 0.25, 0.375]


@pytest.mark.parametrize("kind", [random_type.SOBOL, random_type.SOBOL_BROWNIAN_BRIDGE])
def test_a_sobol_skip_past_the_last_point_is_refused_before_it_moves(kind):
    # 2^40 numbers of two-dimensional paths are 2^39 points, far beyond the 2^32 - 1 after the zero point.
    whole = [0.0] * 4
    generator(kind, dates=2).gaussians(whole, 4, 0)
    sobol = generator(kind, dates=2)
    values = [0.0] * 2
    sobol.gaussians(values, 2, 0)
    with pytest.raises(RuntimeError, match="cannot skip 1099511627776 numbers after position 2: the Sobol sequence "
                                           "has 4294967295 points after the zero point"):
        sobol.discard(2 ** 40)
    sobol.gaussians(values, 2, 0)
    assert values == whole[2:]


def test_output_list_is_written_in_place_and_left_alone_when_nothing_changed():
    kept = [float(i) / 7.0 for i in range(3)]  # item objects whose identity shows whether they were replaced
    values = list(kept)
    twister = generator(random_type.MERSENNE_TWISTER)
    twister.uniforms(values, 0, 0)
    assert all(a is b for a, b in zip(values, kept))
    twister.uniforms(values, 1, 0)
    assert values[0] == mt19937_words(5489, 1)[0] / TWO_TO_32
    assert values[1:] == kept[1:]


def test_a_size_beyond_the_list_is_refused_before_anything_is_drawn():
    twister = generator(random_type.MERSENNE_TWISTER)
    values = [0.0, 0.0]
    with pytest.raises(ValueError, match="size 3 exceeds the 2 values of the output list"):
        twister.uniforms(values, 3, 0)
    assert values == [0.0, 0.0]
    twister.uniforms(values, 2, 0)
    assert values == [w / TWO_TO_32 for w in mt19937_words(5489, 2)]


@pytest.mark.parametrize("kind, upfront", [
    (random_type.SOBOL, True), (random_type.SOBOL_BROWNIAN_BRIDGE, True), (random_type.WELL_19937, False),
    (random_type.WELL_44497, False), (random_type.MERSENNE_TWISTER, False),
])
def test_generate_upfront_onley(kind, upfront):
    assert Random.random.generate_upfront_onley(kind) is upfront


def test_factory_result_owns_its_generator():
    settings = Random.randomSettings(5489, 1, 1)
    twister = Random.random.random_generator_factory(random_type.MERSENNE_TWISTER, settings)
    assert type(twister) is Random.random
    del settings
    values = [0.0]
    twister.uniforms(values, 1, 0)
    assert values[0] * TWO_TO_32 == mt19937_words(5489, 1)[0]
