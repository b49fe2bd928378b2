"""The Math module's normal law against its closed form and Python's own quantile."""
import math
import statistics

import pytest

from qavrekmodules import Math

normal = Math.normalDistribution


@pytest.mark.parametrize("x", [-8.0, -1.5, 0.0, 0.3, 4.0])
def test_density_is_the_closed_form(x):
    assert normal.density(x) == pytest.approx(math.exp(-x * x / 2) / math.sqrt(2 * math.pi), rel=1e-15)


@pytest.mark.parametrize("p", [1e-12, 0.025, 0.5, 0.8, 1 - 1e-9])
def test_quantile_matches_pythons(p):
    # Python's quantile (Wichura's AS241) is accurate to about 1e-16; 1e-12 covers rounding in the tails.
    assert normal.quantile(p) == pytest.approx(statistics.NormalDist().inv_cdf(p), rel=1e-12, abs=1e-15)
