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
