"""How soon Ctrl-C stops a long call of the Python modules: the time from the signal to the call's return
with KeyboardInterrupt, median (and range) of repeated runs per call. Run after building the modules:

    PYTHONPATH=build/python /usr/bin/python3 bench/python_interrupt_latency.py [repetitions]

Each call would run for seconds to minutes, except the step of the simulation: 0.05 s on a machine with
AVX-512, shorter than the look interval, so that there the signal is heard when the step returns (runs whose
step ended before the signal are counted apart); 0.3 s on older machines. A timer thread sends SIGINT
some time after the call started, the delays spread evenly over one look interval from run to run: the call
looks for signals ten times a second at its interruption points, so a stop takes up to that interval plus
the work between two points, half the interval on average.
"""
import json
import os
import signal
import statistics
import sys
import tempfile
import threading
import time

import numpy as np

from qavrekmodules import Analytics, Market, Random, Util

VALUATION = Util.datetime(2024, 1, 15)
LOOK_INTERVAL = 0.1


def act_365f():
    return Util.dayCountConvention(Util.day_count_convention_type.ACT_365F, Util.calendar())


def hjm_calibration(folder):
    """200 CMS targets on three factors, finite-difference Jacobians: two minutes or more."""
    expiries, tenors = [f"{k}Y" for k in range(1, 21)], [f"{k}Y" for k in range(1, 11)]
    path = os.path.join(folder, "targets.json")
    with open(path, "w") as stored:
        json.dump({"root": {"Class": "qavrek::calibration_ir_targets_configuration", "frequency": "1Y",
                            "expiries": expiries, "coterminal": "4Y", "cms_tenors": tenors, "strikes": [],
                            "include_caplets": False, "include_coterminal": False, "include_cms": True}}, stored)
    targets = Analytics.calibrationIrTargetsConfiguration.read_from_json(path)
    driver = Analytics.calibrationIrHjm(VALUATION, Market.discountCurve(VALUATION, 0.03), targets, act_365f())
    surface = Market.irVolatilitySurface(VALUATION, expiries, tenors, [], np.full((20, 10, 1), 0.2), act_365f())
    settings = Analytics.calibrationHjmSettings(3, (0.001, 0.05), (0.01, 1.0),
                                                Analytics.parameter_markovian_hjm_type.HULL_WHITE, False, 100000, False,
                                                True, 0.0)
    return lambda: driver.calibrate(surface, np.eye(3), settings)


def large_step():
    """One step of ten million paths of a three-factor HJM rate (1.3 GB): 0.05 to 0.3 s, its draws in chunks
    of 2^20 numbers."""
    dates = [VALUATION, Util.datetime(2024, 2, 15)]
    rates = Analytics.parameterMarkovianHjm(np.array([[0.03, 0.2, 0.6]]), np.array([[0.006, 0.005, 0.004]]), np.eye(3),
                                            [Util.datetime(2034, 1, 15)], [Util.datetime(2034, 1, 15)], act_365f(),
                                            Analytics.parameter_markovian_hjm_type.HULL_WHITE)
    diffusion = Analytics.diffusionIrMarkovianHjm(dates, Market.discountCurve(VALUATION, 0.03), rates)
    config = Analytics.randomConfig(Random.random_type.MERSENNE_TWISTER, 7, 10_000_000, len(dates), 3)
    manager = Analytics.simulationManager([diffusion], [Analytics.changeOfMeasure()], np.eye(3), config, dates)

    def step():
        manager.states_initialize()
        manager.propagate(1)

    return step


def latency(call, delay):
    """Seconds from the signal to the call's return, or None when the call ended before the signal."""
    sent, running = {}, [True]

    def send():
        sent["at"] = time.monotonic()
        os.kill(os.getpid(), signal.SIGINT)

    def handler(number, frame):
        if running[0]:
            raise KeyboardInterrupt

    signal.signal(signal.SIGINT, handler)
    timer = threading.Timer(delay, send)
    timer.start()
    try:
        call()
    except KeyboardInterrupt:
        return time.monotonic() - sent["at"]
    finally:
        running[0] = False
        timer.join()
    return None


def main():
    repetitions = int(sys.argv[1]) if len(sys.argv) > 1 else 9
    with tempfile.TemporaryDirectory() as folder:
        calls = [("calibrationIrHjm.calibrate, 200 targets, 3 factors", hjm_calibration(folder), 0.3),
                 ("simulationManager.propagate, 10M paths x 3 factors", large_step(), 0.02)]
        print(f"{'call':52} {'median':>8} {'min':>8} {'max':>8}  (ms from SIGINT to return, {repetitions} runs)")
        for name, call, delay in calls:
            times = [latency(call, delay + LOOK_INTERVAL * k / repetitions) for k in range(repetitions)]
            stopped = [1000.0 * t for t in times if t is not None]
            note = "" if len(stopped) == repetitions else f"  ({repetitions - len(stopped)} ended before the signal)"
            if stopped:
                print(f"{name:52} {statistics.median(stopped):8.1f} {min(stopped):8.1f} {max(stopped):8.1f}{note}")
            else:
                print(f"{name:52} {'-':>8}{note}")


if __name__ == "__main__":
    main()
