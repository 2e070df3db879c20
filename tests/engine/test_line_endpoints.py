"""_line_endpoints_3d: first and last points as float64 3-vectors."""
import numpy as np
import pytest
from shapely import LineString


@pytest.mark.parametrize("coords, start, end", [
    ([(0, 0), (1, 2), (3, 4)], [0, 0, 0], [3, 4, 0]),
    ([(0.5, 1.5, 2.5), (3, 4, 5)], [0.5, 1.5, 2.5], [3, 4, 5]),
    ([(7, 7), (7, 7)], [7, 7, 0], [7, 7, 0]),
])
def test_endpoints(engine, coords, start, end):
    a, b = engine._line_endpoints_3d(LineString(coords))
    for got, want in ((a, start), (b, end)):
        assert isinstance(got, np.ndarray) and got.dtype == np.float64 and got.shape == (3,)
        np.testing.assert_array_equal(got, want)


def test_each_call_returns_new_arrays(engine):
    line = LineString([(0, 0), (1, 1)])
    a, _ = engine._line_endpoints_3d(line)
    a[0] = 99.0
    assert engine._line_endpoints_3d(line)[0][0] == 0.0


def test_empty_line_has_no_endpoints(engine):
    assert engine._line_endpoints_3d(LineString()) == (None, None)
