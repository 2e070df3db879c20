"""A chain of fonts, tried per character in order: the text mesh engine and
the shaper take each glyph from the first font that has one, scaled by that
font's own em."""
import numpy as np
import pytest

import glyphway_accel_avx2 as gw

from font_factory import ADVANCE, CJK_CODEPOINTS, build_font

SIZE = 10.0
CJK_UPEM = 2048


@pytest.fixture(scope="module")
def fonts(tmp_path_factory):
    """(Latin-only font, a font of every test glyph in an em of 2048): a
    glyph from the second comes out 1000/2048 the size of the same glyph
    from the first."""
    folder = tmp_path_factory.mktemp("chain")
    latin = str(build_font(folder / "latin.ttf", without=CJK_CODEPOINTS))
    cjk = str(build_font(folder / "cjk.otf", "otf", upem=CJK_UPEM))
    return latin, cjk


def _by_char(engine, text):
    return {g["char"]: g for g in engine.generate_glyph_meshes(text)}


def _same_glyph(a, b):
    assert a["advance"] == b["advance"]
    if a["verts"] is None:
        assert b["verts"] is None
    else:
        np.testing.assert_array_equal(a["verts"], b["verts"])
        np.testing.assert_array_equal(a["faces"], b["faces"])


def test_each_character_comes_from_the_first_font_that_has_it(fonts):
    latin, cjk = fonts
    engine = gw._TextMeshEngine([latin, cjk], SIZE, 1.0, 0.0)
    assert engine.font_paths == (latin, cjk)
    chain = _by_char(engine, "o中Z")
    alone_latin = _by_char(gw._TextMeshEngine(latin, SIZE, 1.0, 0.0), "oZ")
    alone_cjk = _by_char(gw._TextMeshEngine(cjk, SIZE, 1.0, 0.0), "中")
    # "o" is in both fonts and the first wins; "Z" is in neither and is the
    # first font's .notdef, as with that font alone.
    _same_glyph(chain["o"], alone_latin["o"])
    _same_glyph(chain["中"], alone_cjk["中"])
    _same_glyph(chain["Z"], alone_latin["Z"])
    # Advances are outline widths at each font's own em: 500 of 1000 units,
    # 800 of 2048.
    assert chain["o"]["advance"] == pytest.approx(0.5 * SIZE)
    assert chain["中"]["advance"] == pytest.approx(800 / CJK_UPEM * SIZE, abs=SIZE / 6400)


def test_a_whole_string_sets_glyphs_of_both_fonts_edge_to_edge(fonts):
    latin, cjk = fonts
    verts, _ = gw._TextMeshEngine([latin, cjk], SIZE, 1.0, 0.0).generate_mesh("o中")
    # "o" spans 100..600 of 1000 units; "中" starts at its right edge and
    # spans 100..900 of 2048.
    assert verts[:, 0].min() == pytest.approx(0.1 * SIZE)
    assert verts[:, 0].max() == pytest.approx(0.6 * SIZE + 900 / CJK_UPEM * SIZE, abs=SIZE / 3200)


def test_shaping_splits_the_string_into_runs_by_font(fonts):
    latin, cjk = fonts
    glyphs, width = gw._shape_text([latin, cjk], " o 中 ", SIZE)
    # Whitespace joins the run it stands in, or the next one at the start.
    assert [(g[0], g[3]) for g in glyphs] == [(" ", 0), ("o", 0), (" ", 0), ("中", 1), (" ", 1)]
    latin_em, cjk_em = ADVANCE / 1000 * SIZE, ADVANCE / CJK_UPEM * SIZE
    assert [g[1] for g in glyphs] == pytest.approx([latin_em] * 3 + [cjk_em] * 2)
    assert width == pytest.approx(3 * latin_em + 2 * cjk_em)
    # One font, alone or in a list, is that font.
    assert gw._shape_text([latin], "o中", SIZE) == gw._shape_text(latin, "o中", SIZE)
    with pytest.raises(ValueError, match="at least one font"):
        gw._shape_text([], "o", SIZE)
