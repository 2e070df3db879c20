"""Whole-string and per-glyph text meshes, against Matplotlib + Shapely."""
import numpy as np
import pytest
from matplotlib.font_manager import FontProperties
from matplotlib.textpath import TextPath
from shapely.geometry import Polygon

from glyphway_accel_avx2 import _TextMeshEngine

FS = 15.0


# Characters the test font lacks or leaves empty: Matplotlib would draw the
# first from a fallback font and fails on the second, so they have no
# library reference; the engine draws neither.
NO_OUTLINE = {"Z", "e"}


def reference_glyph(font, size, c, x=0.0):
    """The glyph shape the libraries give: rings folded by symmetric difference."""
    if c in NO_OUTLINE:
        return Polygon(), [], None
    tp = TextPath((x, 0), c, prop=FontProperties(fname=font, size=size))
    shape = Polygon()
    rings = tp.to_polygons(transform=None)
    for ring in rings:
        if len(ring) >= 3:
            shape = shape.symmetric_difference(Polygon(ring))
    return shape, rings, tp.get_extents()


def cap_area(verts, faces, depth):
    """Area of the top cap: the triangles whose corners all lie at z = depth and face up."""
    total = 0.0
    for f in faces:
        a, b, c = verts[f]
        if a[2] == b[2] == c[2] == depth:
            total += abs(np.cross(b - a, c - a)[2]) / 2
    return total


def point_set(coords, digits=9):
    return {(round(float(x), digits), round(float(y), digits)) for x, y in coords}


def shape_points(shape):
    geoms = getattr(shape, "geoms", [shape])
    pts = set()
    for g in geoms:
        pts |= point_set(g.exterior.coords)
        for r in g.interiors:
            pts |= point_set(r.coords)
    return pts


@pytest.fixture
def engine(any_font):
    return _TextMeshEngine(any_font, FS, 2.0, 0.5)


def test_attributes(ttf_font):
    e = _TextMeshEngine(ttf_font, 12, 3.0, 1.5)
    assert (e.font_size, e.depth, e.letter_spacing) == (12, 3.0, 1.5)
    assert isinstance(e.font_prop, FontProperties)
    assert e.font_prop.get_file() == ttf_font and e.font_prop.get_size() == 12
    assert e._glyph_cache == {}


@pytest.mark.parametrize("text", ["", "   ", "\t\u3000"])
def test_empty_and_blank_text(engine, text):
    verts, faces = engine.generate_mesh(text)
    assert len(verts) == 0 and len(faces) == 0
    glyphs = engine.generate_glyph_meshes(text)
    assert [g["char"] for g in glyphs] == list(text)
    for g in glyphs:
        assert g["verts"] is None and g["faces"] is None
        assert g["advance"] == FS * 0.5 + 0.5
    assert engine._glyph_cache == {}  # whitespace is never cached


@pytest.mark.parametrize("c", ["o", "x", "I", "c", "中", "一"])
def test_glyph_matches_the_library_shape(any_font, c):
    engine = _TextMeshEngine(any_font, FS, 2.0, 0.5)
    (g,) = engine.generate_glyph_meshes(c)
    shape, _, extents = reference_glyph(any_font, FS, c)
    verts, faces = g["verts"], g["faces"]
    assert g["char"] == c
    assert g["advance"] == pytest.approx(extents.width + 0.5, abs=1e-6 * FS)
    assert cap_area(verts, faces, 2.0) == pytest.approx(shape.area, rel=1e-9)
    # Centred on its own outline horizontally, dropped by half the font size.
    minx, miny, maxx, _ = shape.bounds
    assert verts[:, 0].min() == pytest.approx(-(maxx - minx) / 2)
    assert verts[:, 0].max() == pytest.approx((maxx - minx) / 2)
    assert verts[:, 1].min() == pytest.approx(miny - FS / 2)
    assert set(verts[:, 2]) == {0.0, 2.0}


def test_counter_becomes_a_walled_hole(ttf_font):
    engine = _TextMeshEngine(ttf_font, FS, 2.0, 0.0)
    (g,) = engine.generate_glyph_meshes("o")
    verts, faces = g["verts"], g["faces"]
    assert len(verts) == 20  # outer and inner ring, 5 points each, twice
    walls = faces[-16:]  # 4 edges per ring, 2 triangles each
    assert walls[:8].max() == 13 and walls[8:].min() == 5 and walls.max() == 18


def test_overlapping_contours_cancel_where_they_overlap(ttf_font):
    engine = _TextMeshEngine(ttf_font, 10.0, 1.0, 0.0)
    (g,) = engine.generate_glyph_meshes("x")
    # Two 4x4 squares (font units / 100 * 10) overlapping on 2x2: 2 * 16 - 2 * 4.
    assert cap_area(g["verts"], g["faces"], 1.0) == pytest.approx(24.0)


def test_cache_shares_arrays(ttf_font):
    engine = _TextMeshEngine(ttf_font, FS, 2.0, 0.0)
    first, second = engine.generate_glyph_meshes("中中")
    (third,) = engine.generate_glyph_meshes("中")
    assert first["verts"] is second["verts"] is third["verts"]
    assert first["faces"] is second["faces"] is third["faces"]
    cached = engine._glyph_cache["中"]
    assert cached[0] is first["verts"] and cached[1] is first["faces"] and cached[2] == first["advance"]
    assert list(engine._glyph_cache) == ["中"]


@pytest.mark.parametrize("c", ["e", "Z", "\u0416"])
def test_glyph_without_outline(engine, c):
    (g,) = engine.generate_glyph_meshes(c)
    assert g["verts"] is None and g["faces"] is None
    assert g["advance"] == FS + 0.5
    assert engine._glyph_cache[c] == (None, None, FS + 0.5)


def test_whole_string_places_each_glyph_at_the_previous_right_edge(any_font):
    engine = _TextMeshEngine(any_font, FS, 2.0, 0.75)
    text = "oI 中Zx"
    verts, faces = engine.generate_mesh(text)
    # Reference layout from the libraries.
    merged, x = Polygon(), 0.0
    for c in text:
        if c.isspace():
            x += FS * 0.5 + 0.75
            continue
        shape, rings, extents = reference_glyph(any_font, FS, c, x)
        if not shape.is_empty:
            merged = merged.union(shape)
        x = extents.x1 + 0.75 if rings else x + FS + 0.75
    assert cap_area(verts, faces, 2.0) == pytest.approx(merged.area, rel=1e-9)
    assert point_set(verts[:, :2], 6) == {(round(a, 6), round(b, 6)) for a, b in shape_points(merged)}


def test_mesh_vertex_rows_come_bottom_then_top(ttf_font):
    engine = _TextMeshEngine(ttf_font, FS, 2.0, 0.0)
    verts, faces = engine.generate_mesh("I")
    assert verts.shape == (10, 3) and faces.shape[1] == 3
    np.testing.assert_array_equal(verts[:5, :2], verts[5:, :2])
    assert faces.dtype == np.uint32 and faces.max() == 9


def test_degenerate_contour_draws_nothing_instead_of_failing(any_font):
    # A two-point contour closes into a three-point ring, which Shapely
    # cannot make a polygon of; the stroke is dropped and the bar kept.
    _, rings, _ = reference_glyph(any_font, FS, "i")
    assert sorted(len(r) for r in rings) == [3, 5]
    engine = _TextMeshEngine(any_font, FS, 2.0, 0.0)
    (g,) = engine.generate_glyph_meshes("i")
    assert len(g["verts"]) == 10
    assert cap_area(g["verts"], g["faces"], 2.0) == pytest.approx(2.25 * 7.5)
    verts, _ = engine.generate_mesh("ii")
    assert len(verts) == 20
