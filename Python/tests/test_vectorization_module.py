"""The Vectorization module: vectors, matrices and tensors built from sizes or nested lists, their
elements, shapes and list forms, and copies that own their values."""
import pytest

from qavrekmodules import Vectorization

vector, matrix, tensor = Vectorization.vector_IdE, Vectorization.matrix_IdE, Vectorization.tensor_IdE


@pytest.mark.parametrize("make, shape, values", [
    (lambda: vector(3), (3,), [0.0, 0.0, 0.0]),
    (lambda: vector([1, 2.5]), (2,), [1.0, 2.5]),
    (lambda: vector(()), (0,), []),
    (lambda: matrix(2, 3), (2, 3), [[0.0] * 3] * 2),
    (lambda: matrix([[1, 2, 3], [4, 5, 6]]), (2, 3), [[1.0, 2.0, 3.0], [4.0, 5.0, 6.0]]),
    (lambda: matrix([]), (0, 0), []),
    (lambda: tensor(2, 1, 2), (2, 1, 2), [[[0.0, 0.0]], [[0.0, 0.0]]]),
    (lambda: tensor([[[1, 2]], [[3, 4]]]), (2, 1, 2), [[[1.0, 2.0]], [[3.0, 4.0]]]),
    (lambda: tensor([5, 6]), (2,), [5.0, 6.0]),
])
def test_construction_shape_and_list_form(make, shape, values):
    made = make()
    assert made.shape() == shape
    assert made.tolist() == values
    assert len(made) == shape[0]


def test_elements_are_row_major_and_writable():
    grid = tensor(2, 3, 4)
    for i in range(2):
        for j in range(3):
            for k in range(4):
                grid[i, j, k] = 100 * i + 10 * j + k
    assert grid.tolist()[1][2][3] == 123.0
    assert grid[-1, -1, -1] == 123.0
    m = matrix([[1, 2], [3, 4]])
    m[1, 0] = -3.5
    assert m.tolist() == [[1.0, 2.0], [-3.5, 4.0]]
    assert (m.rows(), m.columns(), m.size()) == (2, 2, 4)
    v = vector([1, 2, 3])
    v[-1] = 9
    assert v.tolist() == [1.0, 2.0, 9.0] and v.size() == 3


@pytest.mark.parametrize("make", [
    lambda: vector([1.0, 2.0]),
    lambda: matrix([[1.0, 2.0]]),
    lambda: tensor([[1.0], [2.0]]),
])
def test_copies_own_their_values(make):
    original = make()
    copy = type(original)(original)
    index = (0,) * len(original.shape())
    copy[index] = 42.0
    assert original[index] == 1.0 and copy[index] == 42.0


@pytest.mark.parametrize("container, subscript, error", [
    (vector([1.0]), 1, IndexError),
    (vector([1.0]), -2, IndexError),
    (vector([1.0]), (0, 0), IndexError),
    (matrix(2, 2), 0, IndexError),
    (matrix(2, 2), (0, 2), IndexError),
    (tensor(2, 2, 2), (1, 1), IndexError),
    (vector([1.0]), "0", TypeError),
    (matrix(2, 2), (0, 1.0), TypeError),
])
def test_bad_subscripts(container, subscript, error):
    with pytest.raises(error):
        container[subscript]
    with pytest.raises(error):
        container[subscript] = 1.0


def test_elements_take_numbers_only_and_cannot_be_deleted():
    v = vector(1)
    with pytest.raises(TypeError):
        v[0] = "1"
    with pytest.raises(TypeError):
        del v[0]
    assert v[0] == 0.0


@pytest.mark.parametrize("make, error", [
    (lambda: matrix([[1, 2], [3]]), ValueError),
    (lambda: matrix([1, 2]), ValueError),
    (lambda: tensor([[1, 2], 3]), ValueError),
    (lambda: tensor([[1, [2]], [3, 4]]), TypeError),
    (lambda: vector([1, "2"]), TypeError),
    (lambda: matrix(-1, 2), ValueError),
    (lambda: tensor(2, -2), ValueError),
    (lambda: tensor(2 ** 40, 2 ** 40), MemoryError),
])
def test_bad_shapes_and_values(make, error):
    with pytest.raises(error):
        make()
