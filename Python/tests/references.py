"""Reference values that the module tests compute with Python alone."""
import random as python_random


def mt19937_words(seed, count):
    """The first words of std::mt19937(seed), from CPython's MT19937 given the seeded state."""
    state = [seed & 0xFFFFFFFF]
    for i in range(1, 624):
        state.append((1812433253 * (state[-1] ^ (state[-1] >> 30)) + i) & 0xFFFFFFFF)
    generator = python_random.Random()
    generator.setstate((3, tuple(state) + (624,), None))
    return [generator.getrandbits(32) for _ in range(count)]
