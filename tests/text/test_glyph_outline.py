"""Native glyph outlines against Matplotlib's TextPath.

The native text path must give the rings of
``TextPath((x0, y0), c, prop=FontProperties(fname=..., size=...)).to_polygons()``
and its ``get_extents()``: the extruded labels are built from those rings,
and the layout spaces glyphs by those extents. The probe program
(tests/native/text_probe.cpp) prints the native geometry as JSON lines.
"""
from __future__ import annotations

import json
import os
import subprocess
import warnings
from pathlib import Path

import numpy as np
import pytest

_BIN_DIR = os.environ.get("GLYPHWAY_NATIVE_BIN")
PROBE = Path(_BIN_DIR) / "text_probe" if _BIN_DIR else None
if PROBE is None or not PROBE.is_file():
    pytest.skip("native test programs not built (set GLYPHWAY_NATIVE_BIN)", allow_module_level=True)

DEJAVU_SANS = Path("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf")
NOTO_CJK = Path("/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc")

# Every drawn glyph of the test fonts: counters, crossing contours, a bar,
# curves, two CJK code points, and "i" whose second contour has only two
# points (Matplotlib keeps it, as the closed three-point ring a-b-a).
TEST_GLYPHS = ["o", "x", "I", "c", "i", "\u4e2d", "\u4e00"]
EXPECTED_RING_COUNT = {"o": 2, "x": 2, "I": 1, "c": 1, "i": 2, "\u4e2d": 4, "\u4e00": 1}

# (size, x0, y0): label sizes, a size Matplotlib clamps to 1, the reference
# size itself, and pen positions off the origin.
PLACEMENTS = [
    (15.0, 0.0, 0.0),
    (7.3, 12.345, 0.0),
    (100.0, -3.25, 0.0),
    (0.5, 2.0, 0.0),
    (42.0, 1000.125, -17.5),
]

# The flattening follows Matplotlib's arithmetic, so vertices come out
# identical; the slack only absorbs last-bit differences from a different
# compiler. Extents go through numpy's polynomial root finding instead.
VERTEX_TOLERANCE = 1e-9
EXTENTS_TOLERANCE = 1e-6


def probe(font: str | Path, size: float, x0: float, chars, y0: float = 0.0) -> list[dict]:
    cmd = [str(PROBE), str(font), repr(float(size)), repr(float(x0)), f"--y0={float(y0)!r}"]
    cmd += [str(ord(c)) for c in chars]
    done = subprocess.run(cmd, capture_output=True, text=True, check=True)
    lines = [json.loads(line) for line in done.stdout.splitlines()]
    assert [line["codepoint"] for line in lines] == [ord(c) for c in chars]
    return lines


def matplotlib_geometry(font: str | Path, char: str, size: float, x0: float, y0: float):
    from matplotlib.font_manager import FontProperties
    from matplotlib.textpath import TextPath

    path = TextPath((x0, y0), char, prop=FontProperties(fname=str(font), size=size))
    extents = path.get_extents()
    return path.to_polygons(transform=None), [extents.x0, extents.y0, extents.x1, extents.y1]


def assert_matches_matplotlib(ours: dict, font, char: str, size: float, x0: float, y0: float) -> None:
    polygons, extents = matplotlib_geometry(font, char, size, x0, y0)
    scale = max(size, 1.0)
    rings = [np.asarray(r, dtype=float) for r in ours["rings"]]
    assert len(rings) == len(polygons), f"{char!r}: ring count"
    for i, (ring, polygon) in enumerate(zip(rings, polygons)):
        assert ring.shape == polygon.shape, f"{char!r}: ring {i} vertex count"
        deviation = np.abs(ring - polygon).max()
        assert deviation <= VERTEX_TOLERANCE * scale, f"{char!r}: ring {i} off by {deviation}"
    assert ours["extents"] is not None
    np.testing.assert_allclose(ours["extents"], extents, rtol=0, atol=EXTENTS_TOLERANCE * scale)


@pytest.mark.parametrize("size, x0, y0", PLACEMENTS)
@pytest.mark.parametrize("char", TEST_GLYPHS)
def test_test_font_glyph_matches_matplotlib(any_font, char, size, x0, y0):
    (ours,) = probe(any_font, size, x0, [char], y0)
    assert len(ours["rings"]) == EXPECTED_RING_COUNT[char]
    for ring in ours["rings"]:
        assert len(ring) >= 3 and ring[0] == ring[-1]
    assert_matches_matplotlib(ours, any_font, char, size, x0, y0)


def test_sizes_below_one_are_drawn_at_one(any_font):
    assert probe(any_font, 0.5, 3.0, TEST_GLYPHS) == probe(any_font, 1.0, 3.0, TEST_GLYPHS)


def test_geometry_scales_and_moves_with_size_and_pen(any_font):
    # The outline is loaded once at the reference size; other sizes are that
    # outline scaled about the pen position.
    (at_100,) = probe(any_font, 100.0, 0.0, ["I"])
    (at_20,) = probe(any_font, 20.0, 5.0, ["I"], y0=-2.0)
    expected = np.asarray(at_100["rings"][0]) * 0.2 + [5.0, -2.0]
    np.testing.assert_allclose(at_20["rings"][0], expected, rtol=0, atol=1e-12)
    x0, y0, x1, y1 = at_100["extents"]
    np.testing.assert_allclose(at_20["extents"], [x0 * 0.2 + 5.0, y0 * 0.2 - 2.0, x1 * 0.2 + 5.0, y1 * 0.2 - 2.0],
                               rtol=0, atol=1e-12)


# "e" exists but has no outline; "Z" and U+1F600 are not in the test fonts
# and fall to the empty .notdef. (Matplotlib itself cannot build a TextPath
# for an empty outline, and substitutes a fallback font for unmapped
# characters, so these are not compared with it.)
@pytest.mark.parametrize("char", ["e", " ", "Z", "\U0001f600"])
def test_glyph_without_outline_is_empty(any_font, char):
    (ours,) = probe(any_font, 15.0, 4.0, [char])
    assert ours["rings"] == []
    assert ours["extents"] is None


@pytest.mark.parametrize("contents", [None, b"not a font at all\n"], ids=["missing", "garbage"])
def test_unreadable_font_is_reported_with_its_path(tmp_path, contents):
    font = tmp_path / "broken-font.ttf"
    if contents is not None:
        font.write_bytes(contents)
    done = subprocess.run([str(PROBE), str(font), "15", "0", "65"], capture_output=True, text=True)
    assert done.returncode == 1
    assert str(font) in done.stderr
    assert done.stdout == ""


# Real fonts exercise long runs of curves: TrueType quadratics with implied
# on-curve points (DejaVu Sans, 2048 units per em) and CFF cubics in a font
# collection (Noto Sans CJK, face 0).
REAL_FONT_CASES = [
    pytest.param(DEJAVU_SANS, "QagS@&%8\u00e9\u00df", id="dejavu-sans"),
    pytest.param(NOTO_CJK, "\u9053\u8def\u4e2d\u56fd\u5317\u4eac\u9f98\u3042Rg", id="noto-cjk"),
]


@pytest.mark.parametrize("size, x0, y0", [(15.0, 0.0, 0.0), (9.5, 31.7, 0.0), (100.0, 0.0, 0.0)])
@pytest.mark.parametrize("font, text", REAL_FONT_CASES)
def test_real_font_glyphs_match_matplotlib(font, text, size, x0, y0):
    if not font.is_file():
        pytest.skip(f"{font} not installed")
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        for char, ours in zip(text, probe(font, size, x0, text, y0)):
            assert_matches_matplotlib(ours, font, char, size, x0, y0)
