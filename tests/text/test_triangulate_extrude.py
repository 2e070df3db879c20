"""Caps and walls of extruded shapes, checked on shapes whose meshes are known."""
import mapbox_earcut
import numpy as np
import pytest
from shapely.geometry import LineString, MultiPolygon, Point, Polygon

from glyphway_accel_avx2 import _TextMeshEngine

DEPTH = 2.5
SQUARE = [(0, 0), (1, 0), (1, 1), (0, 1)]
HOLE = [(0.25, 0.25), (0.25, 0.75), (0.75, 0.75), (0.75, 0.25)]


@pytest.fixture(scope="module")
def extrude(ttf_font):
    engine = _TextMeshEngine(ttf_font, 15.0, DEPTH, 0.0)
    return engine._triangulate_extrude_polygon


def earcut(polygon):
    rings = [np.asarray(polygon.exterior.coords)] + [np.asarray(r.coords) for r in polygon.interiors]
    ends = np.cumsum([len(r) for r in rings]).astype(np.uint32)
    return mapbox_earcut.triangulate_float64(np.vstack(rings), ends).reshape(-1, 3)


def walls(ring_start, ring_len, offset, k):
    n = ring_len - 1
    out = []
    for j in range(n):
        v1 = offset + ring_start + j
        v2 = offset + ring_start + (j + 1) % n
        out += [(v1, v2 + k, v2), (v1, v1 + k, v2 + k)]
    return out


def test_unit_square_gives_two_caps_and_four_walls(extrude):
    poly = Polygon(SQUARE)
    verts, faces = extrude(poly)
    tris = earcut(poly)
    assert verts.dtype == np.float64 and verts.shape == (10, 3)
    assert faces.dtype == np.uint32
    np.testing.assert_array_equal(verts[:5, :2], np.asarray(poly.exterior.coords))
    np.testing.assert_array_equal(verts[5:, :2], np.asarray(poly.exterior.coords))
    assert set(verts[:5, 2]) == {0.0} and set(verts[5:, 2]) == {DEPTH}
    t = len(tris)
    np.testing.assert_array_equal(faces[:t], tris[:, [0, 2, 1]])
    np.testing.assert_array_equal(faces[t:2 * t], tris + 5)
    np.testing.assert_array_equal(faces[2 * t:], walls(0, 5, 0, 5))
    assert len(faces) == 2 * t + 8


def test_hole_is_triangulated_and_walled(extrude):
    poly = Polygon(SQUARE, [HOLE])
    verts, faces = extrude(poly)
    tris = earcut(poly)
    t = len(tris)
    assert verts.shape == (20, 3)
    np.testing.assert_array_equal(verts[5:10, :2], np.asarray(poly.interiors[0].coords))
    np.testing.assert_array_equal(faces[2 * t:], walls(0, 5, 0, 10) + walls(5, 5, 0, 10))


def test_second_polygon_of_a_multipolygon_is_offset(extrude):
    other = Polygon([(x + 3, y) for x, y in SQUARE])
    verts, faces = extrude(MultiPolygon([Polygon(SQUARE), other]))
    single_v, single_f = extrude(Polygon(SQUARE))
    assert verts.shape == (20, 3)
    np.testing.assert_array_equal(faces[len(single_f):], single_f + 10)
    np.testing.assert_array_equal(verts[10:, 0], single_v[:, 0] + 3)


def test_caps_face_opposite_ways(extrude):
    verts, faces = extrude(Polygon(SQUARE, [HOLE]))
    t = len(earcut(Polygon(SQUARE, [HOLE])))

    def normal_z(face):
        a, b, c = verts[face]
        return np.cross(b - a, c - a)[2]

    bottom = {np.sign(normal_z(f)) for f in faces[:t]}
    top = {np.sign(normal_z(f)) for f in faces[t:2 * t]}
    assert len(bottom) == 1 and len(top) == 1 and bottom != top


@pytest.mark.parametrize("shape", [Polygon(), MultiPolygon(), LineString([(0, 0), (1, 1)]),
                                   Point(0, 0), None, "square"])
def test_non_polygonal_or_empty_input_gives_empty_arrays(extrude, shape):
    verts, faces = extrude(shape)
    assert len(verts) == 0 and len(faces) == 0


def test_sliver_ring_without_area_keeps_caps_but_no_triangles(extrude):
    # A collinear exterior cannot be ear-clipped: the polygon is dropped.
    verts, faces = extrude(Polygon([(0, 0), (1, 0), (2, 0), (0, 0)]))
    assert len(verts) == 0 and len(faces) == 0
