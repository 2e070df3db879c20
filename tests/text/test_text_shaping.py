"""Strings shaped with HarfBuzz: the font's advances, its kerning, letter
spacing between glyphs, at a font size that is the em in working units."""
from __future__ import annotations

import pytest

import glyphway_accel_avx2 as gw

UPEM = 2048
SIZE = 15.0
KERN = -80
ADVANCES = {
    ".notdef": 500, "space": 300, "A": 1200, "V": 1100, "B": 900,
    "uni4E2D": 1900, "f": 600, "i": 500, "f_i": 1000, "I": 400, "II": 700,
}
CMAP = {0x20: "space", ord("A"): "A", ord("V"): "V", ord("B"): "B", 0x4E2D: "uni4E2D",
        ord("f"): "f", ord("i"): "i", ord("I"): "I"}
FEATURES = f"""
languagesystem DFLT dflt;
languagesystem latn dflt;
languagesystem hani dflt;
feature kern {{ pos A V {KERN}; }} kern;
feature liga {{ sub f i by f_i; }} liga;
feature ccmp {{ sub I I by II; }} ccmp;
"""


def _box(pen, x0, x1):
    pen.moveTo((x0, 0))
    pen.lineTo((x0, 700))
    pen.lineTo((x1, 700))
    pen.lineTo((x1, 0))
    pen.closePath()


def build_shaping_font(path, advances=ADVANCES, space=True):
    """A TrueType font whose glyphs are boxes; "B" fills its advance exactly."""
    from fontTools.feaLib.builder import addOpenTypeFeaturesFromString
    from fontTools.fontBuilder import FontBuilder
    from fontTools.pens.ttGlyphPen import TTGlyphPen

    order = [name for name in ADVANCES if space or name != "space"]
    glyphs, metrics = {}, {}
    for name in order:
        pen = TTGlyphPen(None)
        if name not in (".notdef", "space"):
            x0 = 0 if name == "B" else 50
            _box(pen, x0, advances[name] - x0)
        glyphs[name] = pen.glyph()
        metrics[name] = (advances[name], 0 if name in ("B", ".notdef", "space") else 50)
    fb = FontBuilder(UPEM, isTTF=True)
    fb.setupGlyphOrder(order)
    fb.setupCharacterMap({c: n for c, n in CMAP.items() if n in order})
    fb.setupGlyf(glyphs)
    fb.setupHorizontalMetrics(metrics)
    fb.setupHorizontalHeader(ascent=1800, descent=-400)
    fb.setupNameTable({"familyName": "Glyphway Shaping", "styleName": "Regular"})
    fb.setupOS2(sTypoAscender=1800, sTypoDescender=-400, usWinAscent=1800, usWinDescent=400)
    fb.setupPost()
    addOpenTypeFeaturesFromString(fb.font, FEATURES)
    fb.save(str(path))
    return str(path)


@pytest.fixture(scope="module")
def font(tmp_path_factory):
    return build_shaping_font(tmp_path_factory.mktemp("shaping") / "shaping.ttf")


def units(name, size=SIZE):
    return ADVANCES[name] * size / UPEM


def test_each_glyph_advances_by_the_font_advance_at_the_em_size(font):
    glyphs, width = gw._shape_text(font, "BA", SIZE)
    assert glyphs == [("B", pytest.approx(units("B")), 0.0, 0), ("A", pytest.approx(units("A")), 0.0, 0)]
    assert width == pytest.approx(units("B") + units("A"))


def test_a_kern_pair_narrows_the_pair_by_the_kern_value(font):
    pair = gw._shape_text(font, "AV", SIZE)[1]
    apart = gw._shape_text(font, "A", SIZE)[1] + gw._shape_text(font, "V", SIZE)[1]
    assert apart - pair == pytest.approx(-KERN * SIZE / UPEM)
    # The kerning moves the pen after the first glyph; neither is offset.
    glyphs = gw._shape_text(font, "AV", SIZE)[0]
    assert glyphs[0][1] == pytest.approx(units("A") + KERN * SIZE / UPEM)
    assert [g[2] for g in glyphs] == [0.0, 0.0]


def test_the_kern_pair_is_ordered(font):
    assert gw._shape_text(font, "VA", SIZE)[1] == pytest.approx(units("V") + units("A"))


def test_cjk_takes_the_font_advances(font):
    glyphs, width = gw._shape_text(font, "\u4e2d\u4e2d", SIZE)
    assert [g[:2] for g in glyphs] == [("\u4e2d", pytest.approx(units("uni4E2D")))] * 2
    assert width == pytest.approx(2 * units("uni4E2D"))


@pytest.mark.parametrize("size", [1.0, 7.25, 300.0])
def test_widths_scale_with_the_font_size(font, size):
    assert gw._shape_text(font, "AV\u4e2d", size)[1] == pytest.approx(
        gw._shape_text(font, "AV\u4e2d", 1.0)[1] * size)


def test_a_size_below_one_is_shaped_at_one_as_the_mesh_engine_draws_it(font):
    assert gw._shape_text(font, "B", 0.25)[1] == gw._shape_text(font, "B", 1.0)[1]


def test_the_em_size_matches_the_mesh_engine(font):
    # "B" is drawn edge to edge of its advance, so the mesh engine's
    # outline-bound advance and the font's advance must agree, up to the
    # 1/64 unit the outlines are read in at 100 units per em.
    engine = gw._TextMeshEngine(font, SIZE, 1.0, 0.0)
    mesh_advance = engine.generate_glyph_meshes("B")[0]["advance"]
    assert gw._shape_text(font, "B", SIZE)[1] == pytest.approx(mesh_advance, abs=SIZE / 6400)


def test_letter_spacing_goes_between_glyphs_only(font):
    plain, plain_width = gw._shape_text(font, "BAV", SIZE)
    spaced, spaced_width = gw._shape_text(font, "BAV", SIZE, 2.5)
    assert spaced_width == pytest.approx(plain_width + 2 * 2.5)
    assert [s[1] - p[1] for s, p in zip(spaced, plain)] == pytest.approx([2.5, 2.5, 0.0])
    one = gw._shape_text(font, "B", SIZE, 2.5)[1]
    assert one == pytest.approx(units("B"))


def test_whitespace_takes_the_space_glyph_advance(font):
    for blank in [" ", "\u3000", "\t", "\u00a0"]:
        glyphs, width = gw._shape_text(font, f"B{blank}B", SIZE)
        assert [g[0] for g in glyphs] == ["B", blank, "B"]
        assert glyphs[1][1] == pytest.approx(units("space")), repr(blank)


def test_whitespace_without_a_space_glyph_is_half_an_em(tmp_path):
    font = build_shaping_font(tmp_path / "no-space.ttf", space=False)
    assert gw._shape_text(font, " ", SIZE)[1] == pytest.approx(SIZE / 2)


def test_ligatures_are_off_so_every_character_keeps_its_glyph(font):
    glyphs, width = gw._shape_text(font, "fi", SIZE)
    assert [g[0] for g in glyphs] == ["f", "i"]
    assert width == pytest.approx(units("f") + units("i"))


def test_a_composed_glyph_stands_for_its_first_character(font):
    # The font's required composition still applies: one glyph for "II".
    glyphs, width = gw._shape_text(font, "II", SIZE, 3.0)
    assert [g[0] for g in glyphs] == ["I"]
    assert width == pytest.approx(units("II"))


def test_an_unmapped_character_gets_the_notdef_advance(font):
    glyphs, width = gw._shape_text(font, "Z", SIZE)
    assert glyphs == [("Z", pytest.approx(units(".notdef")), 0.0, 0)]


def test_the_empty_string_has_no_glyphs(font):
    assert gw._shape_text(font, "", SIZE) == ([], 0.0)


def test_a_collection_is_shaped_with_its_first_face(tmp_path):
    from fontTools.ttLib import TTCollection, TTFont

    wide = dict(ADVANCES, A=1800)
    first = TTFont(build_shaping_font(tmp_path / "first.ttf"))
    second = TTFont(build_shaping_font(tmp_path / "second.ttf", advances=wide))
    collection = TTCollection()
    collection.fonts = [first, second]
    collection.save(str(tmp_path / "both.ttc"))
    swapped = TTCollection()
    swapped.fonts = [TTFont(str(tmp_path / "second.ttf")), TTFont(str(tmp_path / "first.ttf"))]
    swapped.save(str(tmp_path / "swapped.ttc"))
    assert gw._shape_text(tmp_path / "both.ttc", "A", SIZE)[1] == pytest.approx(units("A"))
    assert gw._shape_text(tmp_path / "swapped.ttc", "A", SIZE)[1] == pytest.approx(1800 * SIZE / UPEM)


def test_an_otf_font_is_shaped_too(otf_font):
    # The shared test fonts give every glyph 1000 of 1000 units.
    assert gw._shape_text(otf_font, "I\u4e2d", SIZE)[1] == pytest.approx(2 * SIZE)


@pytest.mark.parametrize("contents", [None, b"not a font at all\n"], ids=["missing", "garbage"])
def test_an_unreadable_font_is_reported_with_its_path(tmp_path, contents):
    font = tmp_path / "broken-font.ttf"
    if contents is not None:
        font.write_bytes(contents)
    with pytest.raises(RuntimeError, match="broken-font.ttf"):
        gw._shape_text(font, "A", SIZE)
