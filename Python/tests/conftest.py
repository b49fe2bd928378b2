"""Shared helpers of the Python module tests.

Run with PYTHONPATH holding <build>/python (the package) and <build>/python-probes (test-only modules),
as CTest does.
"""
import os
import signal
import subprocess
import sys
import textwrap
import threading
import time

import pytest


def run_python(code, path_entries=None):
    """Runs code in a fresh interpreter (a first import happens only once per process) and returns
    (exit code, standard error)."""
    env = dict(os.environ)
    if path_entries is not None:
        env["PYTHONPATH"] = os.pathsep.join(path_entries)
    completed = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], env=env, capture_output=True,
                               text=True, timeout=120)
    return completed.returncode, completed.stderr


@pytest.fixture
def python_runner():
    return run_python


@pytest.fixture
def sigint_after():
    """Sends SIGINT to this process after a delay, from a timer thread; gives the time it was sent."""
    # A process started with SIGINT ignored would never see it: Python's own handler is installed.
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    timers = []

    def start(delay):
        sent = {}

        def send():
            sent["at"] = time.monotonic()
            os.kill(os.getpid(), signal.SIGINT)

        timers.append(threading.Timer(delay, send))
        timers[-1].start()
        return sent

    yield start
    for timer in timers:
        timer.join()
    signal.signal(signal.SIGINT, previous)


@pytest.fixture
def sigint_when():
    """Sends SIGINT to this process from another thread as soon as condition() holds, asked in a loop (a
    call that holds the interpreter lock leaves the thread no turn); gives {"sent": True} once sent."""
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    stop, threads = threading.Event(), []

    def start(condition):
        seen = {"sent": False}

        def watch():
            while not stop.is_set():
                if condition():
                    seen["sent"] = True
                    os.kill(os.getpid(), signal.SIGINT)
                    return

        threads.append(threading.Thread(target=watch))
        threads[-1].start()
        return seen

    yield start
    stop.set()
    for thread in threads:
        thread.join()
    signal.signal(signal.SIGINT, previous)


@pytest.fixture
def thread_counter():
    """Counts in another Python thread for as long as the test runs; gives the count so far. A call that
    holds the interpreter lock leaves the thread a few switch intervals at most."""
    counted, stop = [0], threading.Event()

    def count():
        while not stop.is_set():
            counted[0] += 1

    counter = threading.Thread(target=count)
    counter.start()
    yield lambda: counted[0]
    stop.set()
    counter.join()


@pytest.fixture
def reads_during():
    """Runs call() on this thread while a second thread calls read() in a loop; gives the value read before
    the call, the values of the reads that ended while it ran, and the value after it. An error of the reader
    is raised here."""

    def run(call, read):
        before = read()
        during, failures = [], []
        running, stop = threading.Event(), threading.Event()

        def reader():
            try:
                while not stop.is_set():
                    value = read()
                    if running.is_set():
                        during.append(value)
            except BaseException as failure:
                failures.append(failure)

        worker = threading.Thread(target=reader)
        worker.start()
        running.set()
        try:
            call()
        finally:
            running.clear()
            stop.set()
            worker.join()
        if failures:
            raise failures[0]
        return before, during, read()

    return run
