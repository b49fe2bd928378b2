"""numpy and the numeric containers: vectors, matrices and tensors export their storage through the
buffer protocol, their constructors read any array of real numbers in one pass, sequences of floats
may be arrays, and a matrix whose storage the library takes over is left empty."""
import gc
import tracemalloc

import numpy
import pytest

from qavrekmodules import Core, Market, Util, Vectorization

runtime_probe = pytest.importorskip("runtimeProbe")

vector, matrix, tensor = Vectorization.vector_IdE, Vectorization.matrix_IdE, Vectorization.tensor_IdE


@pytest.mark.parametrize("make, shape", [
    (lambda: vector([1.0, 2.0, 3.0]), (3,)),
    (lambda: matrix([[1.0, 2.0, 3.0], [4.0, 5.0, 6.0]]), (2, 3)),
    (lambda: tensor([[[1.0], [2.0]], [[3.0], [4.0]]]), (2, 2, 1)),
])
def test_buffers_are_float64_row_major_views(make, shape):
    values = make()
    view = memoryview(values)
    assert (view.format, view.itemsize, view.shape, view.readonly) == ("d", 8, shape, False)
    assert view.c_contiguous
    array = numpy.asarray(values)
    assert array.tolist() == values.tolist()
    index = (0,) * len(shape)
    array[index] = -7.0  # numpy writes the library's storage
    assert values[index] == -7.0


def test_a_numpy_view_sees_later_writes_by_the_library():
    paths = vector(4)
    view = numpy.asarray(paths)
    assert not view.flags.owndata
    curve = Market.discountCurve(Util.datetime(2024, 1, 15), 0.05)
    curve.log_df(paths, Util.datetime(2024, 1, 15), Util.datetime(2025, 1, 14))  # 365 days: one year
    assert view.tolist() == [-0.05] * 4


def test_the_buffer_keeps_its_matrix_alive():
    values = matrix(numpy.arange(6.0).reshape(2, 3))
    view = numpy.asarray(values)
    del values
    gc.collect()
    churn = [matrix(numpy.full((2, 3), 9.0)) for _ in range(100)]  # reuses freed storage, if any
    assert view.tolist() == [[0.0, 1.0, 2.0], [3.0, 4.0, 5.0]]
    del churn


def test_an_empty_container_exports_an_empty_buffer():
    assert memoryview(matrix([])).shape == (0, 0)
    assert numpy.asarray(vector(0)).shape == (0,)


def test_a_large_array_becomes_a_matrix_without_python_objects_per_value():
    source = numpy.ones((1000, 1000))
    tracemalloc.start()
    made = matrix(source)
    _, peak = tracemalloc.get_traced_memory()
    tracemalloc.stop()
    # A million Python floats would take 24 MB; the library's own storage is not traced.
    assert peak < 100_000
    assert made.shape() == (1000, 1000) and made[999, 999] == 1.0 and made.size() == 1_000_000


BASE = numpy.arange(12).reshape(3, 4) - 5


@pytest.mark.parametrize("array", [
    BASE.astype(numpy.float64),
    numpy.asfortranarray(BASE.astype(numpy.float64)),
    BASE.astype(numpy.int64),
    numpy.asfortranarray(BASE.astype(numpy.int32)),
    BASE.astype(numpy.int8),
    BASE.astype(">i2"),
    BASE.astype(">f8"),
    BASE.astype(numpy.float32),
    BASE.astype(numpy.float16),
    (BASE + 5).astype(numpy.uint16),
    BASE.astype(numpy.float64).T.copy().T,
    numpy.arange(24.0).reshape(3, 8)[:, ::2] * 0 + BASE,
    numpy.ascontiguousarray(BASE[::-1])[::-1],
], ids=["float64", "fortran", "int64", "fortran int32", "int8", "big-endian int16", "big-endian float64",
        "float32", "float16", "uint16", "transposed twice", "strided", "reversed rows"])
def test_arrays_of_any_real_dtype_and_order_convert(array):
    assert matrix(array).tolist() == array.astype(numpy.float64).tolist()


@pytest.mark.parametrize("make, values", [
    (lambda: vector(numpy.array([True, False, True])), [1.0, 0.0, 1.0]),
    (lambda: vector(numpy.array([2 ** 53, -3], dtype=numpy.int64)), [2.0 ** 53, -3.0]),
    (lambda: vector(numpy.arange(10.0)[::3]), [0.0, 3.0, 6.0, 9.0]),
    (lambda: vector(memoryview(vector([1.5, 2.5]))), [1.5, 2.5]),
    (lambda: tensor(numpy.arange(8.0).reshape(2, 2, 2)), [[[0.0, 1.0], [2.0, 3.0]], [[4.0, 5.0], [6.0, 7.0]]]),
    (lambda: tensor(numpy.arange(3)), [0.0, 1.0, 2.0]),
])
def test_vectors_and_tensors_from_arrays(make, values):
    assert make().tolist() == values


@pytest.mark.parametrize("make", [
    lambda: matrix([[1.0, 2.0], [3.0]]),
    lambda: matrix(numpy.array([[1.0, 2.0], [3.0]], dtype=object)),
    lambda: matrix(numpy.ones((2, 2, 2))),
    lambda: matrix([[[1.0]], [[2.0]]]),
    lambda: matrix(numpy.ones(3)),
    lambda: vector(numpy.ones((2, 2))),
    lambda: matrix(numpy.ones((2, 2), dtype=complex)),
    lambda: tensor(numpy.float64(1.0)),
])
def test_ragged_or_misshaped_arrays_are_value_errors(make):
    with pytest.raises(ValueError):
        make()


def discount_factors(dfs):
    curve = Market.discountCurve(Util.datetime(2024, 1, 15), [Util.datetime(2025, 1, 15), Util.datetime(2026, 1, 15)],
                                 dfs)
    return curve.df(Util.datetime(2024, 1, 15), Util.datetime(2026, 1, 15))


@pytest.mark.parametrize("dfs", [
    [0.97, 0.94], (0.97, 0.94), numpy.array([0.97, 0.94]), numpy.array([0.97, 0.5, 0.94])[::2],
    vector([0.97, 0.94]), numpy.array([0.97, 0.94], dtype=object),
])
def test_sequences_of_floats_may_be_tuples_vectors_or_arrays(dfs):
    assert discount_factors(dfs) == 0.94


@pytest.mark.parametrize("dfs, error", [
    (numpy.array([[0.97, 0.94]]), ValueError),
    (numpy.array([0.97, 0.94, 0.9]), RuntimeError),
    (numpy.array(["a", "b"]), TypeError),
    (b"ab", TypeError),
])
def test_bad_sequences_of_floats(dfs, error):
    with pytest.raises(error):
        discount_factors(dfs)


def test_a_matrix_taken_over_by_the_library_is_left_empty():
    source = matrix([[1.0, 2.0], [3.0, 4.0]])
    taker = runtime_probe.probeMatrixTaker(source)
    assert taker.sum() == 10.0
    assert source.shape() == (0, 0) and source.size() == 0 and source.tolist() == []
    assert memoryview(source).shape == (0, 0) and numpy.asarray(source).size == 0
    with pytest.raises(IndexError):
        source[0, 0]


def test_a_matrix_viewed_through_a_buffer_is_not_taken_over():
    source = matrix([[1.0, 2.0], [3.0, 4.0]])
    view = numpy.asarray(source)
    with pytest.raises(BufferError, match="viewed through a buffer"):
        runtime_probe.probeMatrixTaker(source)
    assert view.tolist() == [[1.0, 2.0], [3.0, 4.0]] and source.shape() == (2, 2)
    del view
    assert runtime_probe.probeMatrixTaker(source).sum() == 10.0 and source.shape() == (0, 0)


@pytest.mark.parametrize("make_source", [
    lambda: numpy.array([[1.0, 2.0], [3.0, 4.0]]),
    lambda: [[1.0, 2.0], [3.0, 4.0]],
    lambda: runtime_probe.probeMatrixTaker(matrix([[1.0, 2.0], [3.0, 4.0]])).shared(),
])
def test_converted_and_borrowed_matrices_are_copied_not_emptied(make_source):
    source = make_source()
    assert runtime_probe.probeMatrixTaker(source).sum() == 10.0
    assert numpy.asarray(source).tolist() == [[1.0, 2.0], [3.0, 4.0]]


def test_the_state_parameters_base_cannot_be_instantiated():
    assert runtime_probe.probeState.__base__ is Core.aadStateParametersManager
    with pytest.raises(TypeError, match="^this class cannot be instantiated$"):
        Core.aadStateParametersManager()


@pytest.mark.parametrize("state", [
    [0.5, -1.25, 3.0], (0.5, -1.25, 3.0), numpy.array([0.5, -1.25, 3.0]), vector([0.5, -1.25, 3.0]),
])
def test_a_state_round_trips_through_a_list_and_an_array(state):
    parameters = runtime_probe.probeState(3)
    assert parameters.state_parameters_size() == 3
    assert parameters.set_state_parameters(state) == 3
    out = [0.0] * 4
    assert parameters.get_state_parameters(out) == 3
    assert out == [0.5, -1.25, 3.0, 0.0]  # items past the state are left alone
    assert parameters.set_state_parameters(numpy.array(out[:3]) * 2) == 3
    assert Core.aadStateParametersManager.get_state_parameters(parameters, out) == 3
    assert out[:3] == [1.0, -2.5, 6.0]


@pytest.mark.parametrize("call, error, message", [
    (lambda p: p.set_state_parameters([1.0, 2.0]), ValueError, "expected 3 values, got 2"),
    (lambda p: p.set_state_parameters(numpy.ones((3, 1))), ValueError, "one-dimensional"),
    (lambda p: p.get_state_parameters([0.0, 0.0]), ValueError, "the list holds 2 values, the state 3"),
    (lambda p: p.get_state_parameters((0.0, 0.0, 0.0)), TypeError, "expected a list of floats, got tuple"),
])
def test_state_sizes_are_checked(call, error, message):
    parameters = runtime_probe.probeState(3)
    with pytest.raises(error, match=message):
        call(parameters)
