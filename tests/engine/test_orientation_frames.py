"""build_tbn_matrix: flat and upright frames, auto-flip, line ends and degenerate lines."""
import math

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st
from shapely import LineString

UP = np.array([0.0, 0.0, 1.0])


def reference_frame(line, distance, auto_flip, posture):
    """The documented algorithm in NumPy, with the non-finite fall-back."""
    def at(d):
        p = np.array(line.interpolate(d).coords[0], dtype=float)
        return np.append(p, 0.0) if len(p) == 2 else p
    p, before, after = at(distance), at(max(distance - 0.5, 0)), at(min(distance + 0.5, line.length))
    t = after - before
    n = np.linalg.norm(t)
    t = t / n if n > 0 else np.array([1.0, 0.0, 0.0])
    if auto_flip and t[0] < 0:
        t = -t
    across = np.cross(UP, t) if posture == "flat" else np.cross(t, UP)
    if not np.linalg.norm(across) > 0:
        t = np.array([1.0, 0.0, 0.0])
        across = np.cross(UP, t) if posture == "flat" else np.cross(t, UP)
    across = across / np.linalg.norm(across)
    m = np.eye(4)
    m[:3, 0], m[:3, 3] = t, p
    m[:3, 1], m[:3, 2] = (across, UP) if posture == "flat" else (UP, across)
    return m


@pytest.fixture(scope="module", params=["flat", "upright"])
def posture_engine(request, make_engine):
    return make_engine(posture=request.param)


@pytest.mark.parametrize("posture, b1, b2", [
    ("flat", [0, 1, 0], [0, 0, 1]),
    ("upright", [0, 0, 1], [0, -1, 0]),
    ("FLAT", [0, 0, 1], [0, -1, 0]),  # anything but "flat" stands upright
    (None, [0, 0, 1], [0, -1, 0]),
])
def test_straight_line_frame(make_engine, posture, b1, b2):
    m = make_engine(posture=posture).build_tbn_matrix(LineString([(0, 0), (10, 0)]), 5)
    assert m.shape == (4, 4) and m.dtype == np.float64
    expected = np.eye(4)
    expected[:3, 0], expected[:3, 1], expected[:3, 2] = [1, 0, 0], b1, b2
    expected[:3, 3] = [5, 0, 0]
    np.testing.assert_array_equal(m, expected)


@pytest.mark.parametrize("auto_flip, tangent", [(True, [1, 0, 0]), (False, [-1, 0, 0]),
                                                (1, [1, 0, 0]), ([], [-1, 0, 0])])
def test_reversed_line_and_auto_flip(engine, auto_flip, tangent):
    m = engine.build_tbn_matrix(LineString([(10, 0), (0, 0)]), 5, auto_flip)
    np.testing.assert_array_equal(m[:3, 0], tangent)
    np.testing.assert_array_equal(m[:3, 3], [5, 0, 0])
    np.testing.assert_array_equal(m[:3, 1], np.cross(UP, tangent))


BENT = LineString([(0, 0), (1, 0), (1, 1)])  # length 2, corner at distance 1


@pytest.mark.parametrize("line, distance, tangent, point", [
    (BENT, 0, [1, 0, 0], [0, 0, 0]),                          # chord 0 .. 0.5
    (BENT, 2, [0, 1, 0], [1, 1, 0]),                          # chord 1.5 .. 2
    (BENT, 1, [math.sqrt(0.5), math.sqrt(0.5), 0], [1, 0, 0]),
    (LineString([(1, 1), (1, 0), (0, 0)]), 0, [0, -1, 0], [1, 1, 0]),  # x exactly 0: no flip
    (BENT, 7, [1, 0, 0], [1, 1, 0]),                          # beyond the end: zero chord
])
def test_tangent_from_the_clamped_chord(engine, line, distance, tangent, point):
    m = engine.build_tbn_matrix(line, distance)
    np.testing.assert_allclose(m[:3, 0], tangent, atol=1e-15)
    np.testing.assert_allclose(m[:3, 3], point, atol=1e-15)


@pytest.mark.parametrize("line, distance", [
    (LineString([(2, 3), (2, 3)]), 0),                  # zero length
    (LineString([(2, 3, 1), (2, 3, 1)]), 4),
    (LineString([(0, 0, 0), (0, 0, 10)]), 0),           # vertical: plan length 0
    (LineString([(0, 0, 0), (0, 0, 10)]), 5),           # chord straight down
    (LineString([(0, 0, 10), (0, 0, 0)]), 5),           # chord straight up
    (LineString([(0, 0, 0), (0.5, 0, 1), (0, 0, 2)]), 0.5),  # out and back: vertical chord
])
def test_degenerate_tangents_give_the_x_frame(posture_engine, line, distance):
    m = posture_engine.build_tbn_matrix(line, distance)
    assert np.isfinite(m).all()
    expected = np.eye(4)
    expected[:3, 3] = m[:3, 3]
    if posture_engine.posture == "upright":
        expected[:3, 1], expected[:3, 2] = [0, 0, 1], [0, -1, 0]
    np.testing.assert_array_equal(m, expected)
    point = line.interpolate(distance).coords[0]
    np.testing.assert_array_equal(m[:len(point), 3], point)


def test_two_dimensional_lines_anchor_at_z_zero(engine):
    assert engine.build_tbn_matrix(LineString([(0, 0), (4, 3)]), 2.5)[2, 3] == 0.0
    assert engine.build_tbn_matrix(LineString([(0, 0, 2), (4, 3, 4)]), 2.5)[2, 3] == 3.0


@pytest.mark.parametrize("line, distance, error", [
    (LineString(), 0, IndexError),
    (LineString([(0, 0), (1, 0)]), math.nan, ValueError),
    ("not a line", 0, TypeError),
    (LineString([(0, 0), (1, 0)]), "1", TypeError),
])
def test_rejected_inputs(engine, line, distance, error):
    with pytest.raises(error):
        engine.build_tbn_matrix(line, distance)


# Coordinates whose squares fall into subnormal floats make any norm (ours
# and NumPy's alike) inexact; such chords are below every real tolerance.
coordinate = st.integers(-4, 4).map(float) | st.floats(-1e3, 1e3).filter(
    lambda v: v == 0.0 or abs(v) > 1e-100)
lines = st.integers(2, 6).flatmap(lambda n: st.sampled_from([2, 3]).flatmap(
    lambda dim: st.lists(st.tuples(*[coordinate] * dim), min_size=n, max_size=n)))


@settings(max_examples=300, deadline=None)
@given(points=lines, where=st.floats(-1.5, 1.5), auto_flip=st.booleans())
def test_frames_are_finite_right_handed_and_match_the_reference(make_engine, points, where, auto_flip):
    line = LineString(points)
    distance = where * max(line.length, 1.0)
    for posture in ("flat", "upright"):
        m = make_engine(posture=posture).build_tbn_matrix(line, distance, auto_flip=auto_flip)
        assert np.isfinite(m).all()
        t, b1, b2 = m[:3, 0], m[:3, 1], m[:3, 2]
        across = b1 if posture == "flat" else b2
        np.testing.assert_allclose(np.linalg.norm(m[:3, :3], axis=0), 1.0, rtol=1e-12)
        assert abs(across @ t) < 1e-12 and across[2] == 0.0  # level, across the road
        assert np.linalg.det(m[:3, :3]) > 0  # right-handed
        np.testing.assert_allclose(m, reference_frame(line, distance, auto_flip, posture),
                                   rtol=1e-12, atol=1e-12)
