"""Long calls: they run without the interpreter lock, so other Python threads go on, and Ctrl-C (SIGINT)
stops them at their next interruption point with KeyboardInterrupt, leaving their objects usable. An object
busy with a long call is refused to other calls until the call ends.

The calls stopped here would run for a minute or more: a stop within a generous ceiling of seconds tells
them apart from a run to the end, also on a loaded machine. How fast a stop is, bench/python_interrupt_latency.py
measures."""
import signal
import threading
import time

import pytest

from qavrekmodules import Random

runtime_probe = pytest.importorskip("runtimeProbe")

random_type = Random.random_type
PSEUDO_RANDOM = [random_type.MERSENNE_TWISTER, random_type.WELL_19937, random_type.WELL_44497]


def generator(kind, seed=5489):
    return Random.random.random_generator_factory(kind, Random.randomSettings(seed, 1, 1))


@pytest.mark.parametrize("kind", PSEUDO_RANDOM)
def test_a_skip_far_into_the_stream_jumps_and_leaves_the_generator_usable(kind):
    # 2**40 numbers would take an hour or more to draw; a jump lands on the same numbers however it is cut.
    far, halves = generator(kind), generator(kind)
    far.discard(2 ** 40)
    halves.discard(2 ** 39)
    halves.discard(2 ** 39 - 10)
    halves.discard(10)
    values, expected = [0.0] * 3, [0.0] * 3
    far.uniforms(values, 3, 0)
    halves.uniforms(expected, 3, 0)
    assert values == expected
    assert all(0.0 <= value < 1.0 for value in values) and len(set(values)) == 3


def test_ctrl_c_stops_a_library_loop_at_its_interruption_points(sigint_after):
    spinner = runtime_probe.probeSpinner()
    sent = sigint_after(0.2)
    with pytest.raises(KeyboardInterrupt):
        spinner.spin(60.0)
    assert time.monotonic() - sent["at"] < 5.0
    assert spinner.spin(0.0) == 0


def test_a_signal_handler_that_returns_lets_the_call_finish(sigint_after):
    spinner = runtime_probe.probeSpinner()
    received = []

    def handler(number, frame):
        # Run at the call's look for signals, the spinner still busy; then the spin may end.
        try:
            spinner.spin_holding_the_lock(0.0)
            received.append("after the call")
        except RuntimeError:
            received.append("during the call")
        runtime_probe.probeSpinner.stop_spins()

    signal.signal(signal.SIGINT, handler)
    sigint_after(0.1)
    assert spinner.spin(60.0) > 0
    assert received == ["during the call"]


@pytest.mark.parametrize("kind", [random_type.WELL_19937, random_type.SOBOL, random_type.SOBOL_BROWNIAN_BRIDGE])
def test_skips_and_draws_in_chunks_give_the_stream_of_one_draw(kind):
    # Pseudo-random draws and skips run in chunks (the first of 65536 numbers); Sobol ones in one piece.
    whole = [0.0] * 300_000
    generator(kind).gaussians(whole, len(whole), 0)
    skipped = generator(kind)
    skipped.discard(123_457)
    rest = [0.0] * (len(whole) - 123_457)
    skipped.gaussians(rest, len(rest), 0)
    assert rest == whole[123_457:]


def test_a_python_thread_runs_while_another_fills_ten_million_gaussians():
    count = 10_000_000
    values = [0.0] * count
    twister = generator(random_type.MERSENNE_TWISTER)
    seen_busy, stop = [0], threading.Event()

    def ask():
        # Each busy answer is a call of this thread while the draw runs on the other.
        while not stop.is_set():
            seen_busy[0] += runtime_probe.busy(twister)

    worker = threading.Thread(target=ask)
    worker.start()
    twister.gaussians(values, count, 0)
    stop.set()
    worker.join()
    assert seen_busy[0] > 100
    assert values[-1] != 0.0


def test_an_object_busy_with_a_long_call_is_refused_elsewhere():
    spinner = runtime_probe.probeSpinner()
    taken = runtime_probe.probeSpinner.steps_taken()
    worker = threading.Thread(target=spinner.spin, args=(60.0,))
    worker.start()
    while runtime_probe.probeSpinner.steps_taken() == taken:
        pass  # until the spin is under way
    with pytest.raises(RuntimeError, match="^the probeSpinner object is busy with a long call$"):
        spinner.spin_holding_the_lock(0.0)
    assert runtime_probe.probeSpinner().spin_holding_the_lock(0.0) == 0  # other objects go on
    runtime_probe.probeSpinner.stop_spins()
    worker.join()
    assert spinner.spin_holding_the_lock(0.0) == 0
