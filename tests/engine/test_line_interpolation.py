"""Points along a line agree with Shapely's interpolate: clamping, negative distances,
3D lines (measured in plan, as GEOS does), zero-length lines and repeated points."""
import math

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st
from shapely import LineString


def native_point(engine, line, distance):
    """The native interpolation, read from a frame's anchor column (x, y, z)."""
    return engine.build_tbn_matrix(line, distance)[:3, 3]


def shapely_point(line, distance):
    p = np.array(line.interpolate(distance).coords[0], dtype=float)
    return np.append(p, 0.0) if len(p) == 2 else p


def assert_agrees(engine, line, distance):
    expected = shapely_point(line, distance)
    scale = max(1.0, float(np.abs(np.asarray(line.coords)).max()))
    np.testing.assert_allclose(native_point(engine, line, distance), expected,
                               rtol=1e-9, atol=1e-9 * scale)
    assert engine._label_center_xy({"line": line, "distance": distance}) == pytest.approx(
        tuple(expected[:2]), rel=1e-9, abs=1e-9 * scale)


# Small integer grids give repeated points, vertical segments and distances
# that land exactly on vertices; wide floats give everything else.
grid = st.integers(-3, 3).map(float)
wide = st.floats(-1e6, 1e6, allow_subnormal=False)


@st.composite
def line_and_distance(draw):
    dim = draw(st.sampled_from([2, 3]))
    value = draw(st.sampled_from([grid, wide]))
    points = draw(st.lists(st.tuples(*[value] * dim), min_size=2, max_size=8))
    line = LineString(points)
    plan = np.asarray(points)[:, :2]
    vertex_distances = np.concatenate([[0.0], np.cumsum(np.hypot(*np.diff(plan, axis=0).T))])
    length = line.length
    distance = draw(st.one_of(
        st.floats(-1.5, 1.5).map(lambda f: f * max(length, 1.0)),
        st.sampled_from(list(vertex_distances) + [length, -length, 0.0, -0.0]),
        st.sampled_from(list(-vertex_distances)),
        st.sampled_from([math.inf, -math.inf, 1e300, -1e300]),
    ))
    return line, distance


@settings(max_examples=1500, deadline=None)
@given(case=line_and_distance())
def test_random_lines_agree_with_shapely(engine, case):
    assert_agrees(engine, *case)


@pytest.mark.parametrize("coords, distance, expected", [
    ([(0, 0), (10, 0)], 25, (10, 0, 0)),                 # clamped to the end
    ([(0, 0), (10, 0)], -3, (7, 0, 0)),                  # counted back from the end
    ([(0, 0), (10, 0)], -30, (0, 0, 0)),                 # and clamped to the start
    ([(0, 0), (0, 0)], 1, (0, 0, 0)),                    # zero length
    ([(0, 0), (2, 0), (2, 0), (2, 0), (2, 3)], 2, (2, 0, 0)),  # repeated points
    ([(0, 0), (2, 0), (2, 0), (2, 3)], 3, (2, 1, 0)),
    ([(0, 0, 0), (3, 4, 10)], 2.5, (1.5, 2, 5)),         # z follows, plan length 5
    ([(0, 0, 0), (0, 0, 5), (3, 0, 5)], 0, (0, 0, 0)),   # vertical segment has no length
    ([(0, 0, 0), (0, 0, 5), (3, 0, 5)], 1, (1, 0, 5)),
    ([(0, 0, 0), (1, 0, 0), (1, 0, 5), (2, 0, 5)], 1, (1, 0, 5)),  # vertex: later segment
])
def test_edge_cases(engine, coords, distance, expected):
    line = LineString(coords)
    np.testing.assert_allclose(native_point(engine, line, distance), expected, atol=1e-15)
    assert_agrees(engine, line, distance)


def test_three_dimensional_lengths_are_measured_in_plan(engine):
    line = LineString([(0, 0, 0), (3, 4, 12)])
    assert line.length == 5.0
    np.testing.assert_array_equal(native_point(engine, line, 5.0), (3, 4, 12))
    np.testing.assert_array_equal(native_point(engine, line, -5.0), (0, 0, 0))
