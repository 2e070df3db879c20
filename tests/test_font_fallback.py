"""Fonts without the glyphs a name needs: a chain of fonts tried per
character (font_path as a list, --font repeated), an installed CJK font put
behind a chosen one that lacks glyphs, and one warning naming what no font
draws, in every output of both styles."""
import warnings

import pytest
from shapely.geometry import LineString

import glyphway_accel_avx2 as gw
import glyphway_maker
from glyphway_maker import cli

from font_factory import ADVANCE, CJK_CODEPOINTS, build_font
from road_tables import write_roads

SIZE = 15.0
CJK_UPEM = 2048
STYLES = ("interval", "cartographic")
OUTPUTS = {
    "obj": lambda shp, out, **kw: glyphway_maker.generate(shp, str(out) + ".obj", **kw),
    "glb": lambda shp, out, **kw: glyphway_maker.generate_glb(shp, str(out) + ".glb", **kw),
    "csv": lambda shp, out, **kw: glyphway_maker.generate_csv(shp, str(out) + ".csv", **kw),
    "labels": lambda shp, out, **kw: glyphway_maker.place_labels(shp, **kw),
    "preview": lambda shp, out, **kw: glyphway_maker.preview(shp, str(out) + ".png", **kw),
}


@pytest.fixture(scope="module")
def fonts(tmp_path_factory):
    """(Latin-only font, a font of every test glyph in an em of 2048)."""
    folder = tmp_path_factory.mktemp("fallback")
    latin = str(build_font(folder / "latin.ttf", without=CJK_CODEPOINTS))
    cjk = str(build_font(folder / "cjk.otf", "otf", upem=CJK_UPEM, family="Glyphway Test CJK"))
    return latin, cjk


@pytest.fixture
def road(tmp_path):
    return write_roads(tmp_path / "r.shp", [LineString([(0, 0), (3000, 0)])], name=["o中"])


def _warnings(text):
    return [line for line in text.splitlines() if "WARNING" in line]


@pytest.mark.parametrize("style", STYLES)
def test_glyphs_and_widths_come_from_the_font_that_has_them(road, fonts, style):
    engine = gw._new_engine({"shp_path": road, "text_count": 1}, list(fonts))
    assert (engine.font_path, engine.fallback_fonts) == (fonts[0], (fonts[1],))
    if style == "interval":
        glyphs = gw._glyph_frames(engine)[0]
        # Curved text advances by outline width: 500 of 1000 units, 800 of 2048.
        expected = [0.5 * SIZE, 800 / CJK_UPEM * SIZE]
    else:
        glyphs = gw._cartographic_glyph_frames(engine)[0]
        # Shaped advances: each font's own advance at its own em.
        expected = [ADVANCE / 1000 * SIZE, ADVANCE / CJK_UPEM * SIZE]
    first = glyphs["label"] == glyphs["label"][0]
    assert [chr(c) for c in glyphs["char"][first]] == ["o", "中"]
    assert list(glyphs["advance"][first]) == pytest.approx(expected, abs=SIZE / 3200)
    assert glyphs["has_mesh"].all()


@pytest.mark.parametrize("style", STYLES)
@pytest.mark.parametrize("output", OUTPUTS)
def test_one_warning_names_what_no_font_draws(road, fonts, tmp_path, capsys, output, style):
    latin, cjk = fonts
    with warnings.catch_warnings():
        # The preview's texts take the chain too.
        warnings.filterwarnings("error", message="Glyph .* missing from font")
        OUTPUTS[output](road, tmp_path / "chain", font_path=[latin, cjk], style=style,
                        text_count=1)
    assert _warnings(capsys.readouterr().err) == []
    OUTPUTS[output](road, tmp_path / "latin", font_path=latin, style=style, text_count=1)
    assert _warnings(capsys.readouterr().err) == [
        f"[glyphway_maker] WARNING: 1 distinct character of the names has no glyph in the font "
        f"{latin} and will be drawn as the missing-glyph box: 中 (U+4E2D)"]


def test_the_warning_counts_every_character_and_lists_twenty(tmp_path, fonts, capsys):
    latin, cjk = fonts
    han = "".join(chr(0x4E01 + i) for i in range(25))  # 25 characters in neither font
    shp = write_roads(tmp_path / "r.shp", [LineString([(0, 0), (3000, 0)])] * 2,
                      name=["o" + han, han[::-1] + "\u3000\u0301"])
    glyphway_maker.generate_csv(shp, str(tmp_path / "o.csv"), font_path=[latin, cjk])
    (line,) = _warnings(capsys.readouterr().err)
    # Distinct characters in code point order; whitespace needs no glyph,
    # a combining mark does.
    assert f"26 distinct characters of the names have no glyph in any of the fonts {latin}, {cjk} " in line
    assert line.endswith(": \u0301 (U+0301), " + ", ".join(
        f"{chr(0x4E01 + i)} (U+{0x4E01 + i:04X})" for i in range(19)) + ", ...")


def test_an_installed_cjk_font_joins_the_chosen_fonts_that_lack_glyphs(road, fonts, tmp_path,
                                                                      capsys, monkeypatch):
    latin, cjk = fonts
    asked = []
    monkeypatch.setattr(gw._FontManager, "get_installed_cjk_font_path",
                        staticmethod(lambda: asked.append(1) or cjk))
    glyphway_maker.generate(road, str(tmp_path / "chain.obj"), font_path=[latin, cjk])
    assert asked == []  # the chain draws everything: no search
    capsys.readouterr()
    glyphway_maker.generate(road, str(tmp_path / "found.obj"), font_path=latin)
    out, err = capsys.readouterr()
    assert f"[glyphway_maker] Font fallback: {cjk} draws 1 character of the names that the " \
           "chosen fonts lack" in out.splitlines()
    assert _warnings(err) == []
    assert (tmp_path / "found.obj").read_bytes() == (tmp_path / "chain.obj").read_bytes()
    # A font that draws none of the missing characters is not put behind.
    monkeypatch.setattr(gw._FontManager, "get_installed_cjk_font_path", staticmethod(lambda: latin))
    other = write_roads(tmp_path / "o.shp", [LineString([(0, 0), (3000, 0)])], name=["o中"])
    engine = gw._new_engine({"shp_path": other}, latin)
    gw._prepared_label_table(engine)
    assert engine.fallback_fonts == ()
    assert len(_warnings(capsys.readouterr().err)) == 1


def test_the_command_line_takes_font_more_than_once(road, fonts, tmp_path):
    latin, cjk = fonts
    glyphway_maker.generate(road, str(tmp_path / "api.obj"), font_path=(latin, cjk))
    assert cli.main(["obj", road, str(tmp_path / "cli.obj"), "--font", latin, "--font", cjk]) == 0
    assert (tmp_path / "cli.obj").read_bytes() == (tmp_path / "api.obj").read_bytes()
    # One font is one font, however it is given.
    glyphway_maker.generate(road, str(tmp_path / "one.obj"), font_path=latin)
    glyphway_maker.generate(road, str(tmp_path / "list.obj"), font_path=[latin])
    assert cli.main(["obj", road, str(tmp_path / "flag.obj"), "--font", latin]) == 0
    one = (tmp_path / "one.obj").read_bytes()
    assert (tmp_path / "list.obj").read_bytes() == one == (tmp_path / "flag.obj").read_bytes()


def test_a_list_of_fonts_is_checked_like_one(road, fonts, tmp_path, capsys):
    with pytest.raises(ValueError, match="font_path must name at least one font file"):
        glyphway_maker.generate(road, str(tmp_path / "o.obj"), font_path=[])
    with pytest.raises(TypeError, match="font_path"):
        glyphway_maker.generate(road, str(tmp_path / "o.obj"), font_path=[fonts[0], 3])
    # A font that cannot be read is not checked: a CSV, which draws no
    # glyph, is written as with that font alone; a mesh fails where it
    # first needs the font.
    chain = [fonts[0], str(tmp_path / "gone.ttf")]
    glyphway_maker.generate_csv(road, str(tmp_path / "o.csv"), font_path=chain)
    assert _warnings(capsys.readouterr().err) == []
    with pytest.raises(RuntimeError, match="gone.ttf"):
        glyphway_maker.generate(road, str(tmp_path / "o.obj"), font_path=chain)
