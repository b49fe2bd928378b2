"""Shared helpers of the Python module tests.

Run with PYTHONPATH holding <build>/python (the package) and <build>/python-probes (test-only modules),
as CTest does.
"""
import os
import subprocess
import sys
import textwrap

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
