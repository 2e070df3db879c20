"""Glyphs whose outline GEOS cannot fold: contours that cross themselves,
outlines too large to flatten at full detail, and outlines that cannot be
built at all."""
import math
import subprocess
import sys
import textwrap
from pathlib import Path

import numpy as np
import pytest

from glyphway_accel_avx2 import _TextMeshEngine
from font_factory import _rect, build_font, draw_bowtie, draw_mixed

CJK_FONT = Path("/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc")

BOWTIE, MIXED, HUGE = 0xE000, 0xE001, 0xE002


def draw_huge(pen):
    _rect(pen, 0, 0, 30000, 30000)


EXTRA = {BOWTIE: draw_bowtie, MIXED: draw_mixed, HUGE: draw_huge}


@pytest.fixture(scope="module", params=["ttf", "otf"])
def repair_font(request, tmp_path_factory):
    path = tmp_path_factory.mktemp("fonts") / f"repair.{request.param}"
    return str(build_font(path, request.param, EXTRA))


def cap_area(verts, faces, depth):
    tri = verts[faces]
    top = tri[np.all(tri[:, :, 2] == depth, axis=1)]
    return float(np.abs(np.cross(top[:, 1] - top[:, 0], top[:, 2] - top[:, 0])[:, 2]).sum() / 2)


# At size 10 a font unit is 1/100 of a drawing unit: 10,000 square units
# of the font make one.
def test_a_contour_that_crosses_itself_draws_both_lobes(repair_font, capsys):
    engine = _TextMeshEngine(repair_font, 10.0, 1.0, 0.0)
    (g,) = engine.generate_glyph_meshes(chr(BOWTIE))
    assert cap_area(g["verts"], g["faces"], 1.0) == pytest.approx(2 * 4.0 * 2.0 / 2)
    verts, faces = engine.generate_mesh(chr(BOWTIE))
    assert cap_area(verts, faces, 1.0) == pytest.approx(8.0)
    assert capsys.readouterr().err == ""


def test_a_repaired_glyph_fills_by_the_nonzero_rule(repair_font, capsys):
    engine = _TextMeshEngine(repair_font, 10.0, 1.0, 0.0)
    (g,) = engine.generate_glyph_meshes(chr(MIXED))
    bowtie = 8.0
    overlapping = 16.0 + 16.0 - 4.0  # same direction: the overlap counts once
    framed = 16.0 - 4.0  # the counter stays open
    assert cap_area(g["verts"], g["faces"], 1.0) == pytest.approx(bowtie + overlapping + framed)
    assert capsys.readouterr().err == ""


def test_glyphs_the_fold_builds_keep_even_odd_overlaps(repair_font):
    # "x" folds without help, so it keeps the shape it always had.
    engine = _TextMeshEngine(repair_font, 10.0, 1.0, 0.0)
    (g,) = engine.generate_glyph_meshes("x")
    assert cap_area(g["verts"], g["faces"], 1.0) == pytest.approx(24.0)


def test_a_glyph_that_cannot_be_built_draws_empty_with_one_warning(repair_font, capsys):
    # 30,000 font units at size 1e307 are past the largest double.
    engine = _TextMeshEngine(repair_font, 1e307, 1.0, 0.0)
    first, second = engine.generate_glyph_meshes(chr(HUGE) * 2)
    assert first["verts"] is None and first["faces"] is None and second["verts"] is None
    err = capsys.readouterr().err.splitlines()
    assert len(err) == 1
    assert err[0].startswith("[glyphway_maker] WARNING: the glyph for U+E002 at font size 1e+307 ")
    assert err[0].endswith("; it is drawn empty")
    # Once per character and engine, whichever way it is asked for again.
    engine.generate_glyph_meshes(chr(HUGE))
    engine.generate_mesh(chr(HUGE))
    assert capsys.readouterr().err == ""


def run_isolated(code, timeout=120):
    """Runs `code` in a fresh interpreter, so that a hang fails the test
    instead of stopping the run."""
    tests = str(Path(__file__).resolve().parents[1])
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True,
                          timeout=timeout, cwd=tests)


def test_a_huge_font_size_flattens_a_bounded_outline(repair_font):
    result = run_isolated(f"""
        from glyphway_accel_avx2 import _TextMeshEngine
        for size in (100.0, 1e12):
            (g,) = _TextMeshEngine({repair_font!r}, size, 1.0, 0.0).generate_glyph_meshes("c")
            print(len(g["verts"]), g["verts"][:, 0].max() / size)
    """)
    assert result.returncode == 0, result.stderr
    (n_small, width_small), (n_huge, width_huge) = [
        (int(a), float(b)) for a, b in (line.split() for line in result.stdout.splitlines())]
    # The same glyph, drawn to a tolerance relative to its size instead of
    # one of half a unit.
    assert n_huge < 2 * 2 * (1 << 18)
    assert width_huge == pytest.approx(width_small, rel=1e-3)


@pytest.mark.parametrize("size", ["nan", "inf"])
def test_a_size_that_is_not_finite_returns(repair_font, size):
    result = run_isolated(f"""
        from glyphway_accel_avx2 import _TextMeshEngine
        try:
            engine = _TextMeshEngine({repair_font!r}, float({size!r}), 1.0, 0.0)
        except Exception:
            raise SystemExit(0)  # refused outright is as good as drawn empty
        for g in engine.generate_glyph_meshes("co中" + chr({BOWTIE})):
            assert g["verts"] is None, g
        engine.generate_mesh("co")
    """)
    assert result.returncode == 0, result.stderr


def gb2312_hanzi():
    chars = []
    for lead in range(0xB0, 0xF8):
        for trail in range(0xA1, 0xFF):
            try:
                chars.append(bytes([lead, trail]).decode("gb2312"))
            except UnicodeDecodeError:
                pass
    return chars


@pytest.mark.slow
@pytest.mark.skipif(not CJK_FONT.is_file(), reason="Noto Sans CJK is not installed")
@pytest.mark.parametrize("size", [5.25, 15.0, 30.0])
def test_every_gb2312_hanzi_builds(size, capsys):
    chars = gb2312_hanzi()
    assert len(chars) == 6763
    engine = _TextMeshEngine(str(CJK_FONT), size, 2.0, 0.0)
    empty = [g["char"] for g in engine.generate_glyph_meshes("".join(chars)) if g["verts"] is None]
    assert empty == []
    assert capsys.readouterr().err == ""


@pytest.mark.skipif(not CJK_FONT.is_file(), reason="Noto Sans CJK is not installed")
@pytest.mark.parametrize("size, chars", [(5.25, "熬奔瘪瘩捧俞"), (15.0, "簧髓煮蠊筌"), (30.0, "诸拷橥赭")])
def test_cjk_glyphs_that_cross_themselves_keep_their_area(size, chars):
    # The same glyphs at size 100 fold without repair; the repaired ones
    # cover the same share of their em, give or take the flattening.
    engine = _TextMeshEngine(str(CJK_FONT), size, 2.0, 0.0)
    reference = _TextMeshEngine(str(CJK_FONT), 100.0, 2.0, 0.0)
    for g, r in zip(engine.generate_glyph_meshes(chars), reference.generate_glyph_meshes(chars)):
        assert g["verts"] is not None, g["char"]
        share = cap_area(g["verts"], g["faces"], 2.0) / size ** 2
        assert share == pytest.approx(cap_area(r["verts"], r["faces"], 2.0) / 100.0 ** 2, rel=0.01), g["char"]
        assert not math.isnan(share)
