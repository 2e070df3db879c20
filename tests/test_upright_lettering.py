"""cjk_orientation through the public API: upright glyphs come out upright in
every output (OBJ vertices, glyph frames, the label table), bad values are
refused with their message, and the default and the interval style write
what they always wrote."""
import sys
from pathlib import Path

import numpy as np
import pytest
from shapely.geometry import LineString

import glyphway_accel_avx2 as gw
import glyphway_maker
from glyphway_maker import labels as label_options

TESTS = Path(__file__).resolve().parent
sys.path.insert(0, str(TESTS / "export"))
sys.path.insert(0, str(TESTS / "text"))
from road_tables import write_roads  # noqa: E402
from glb_reading import obj_labels  # noqa: E402
from test_text_shaping import build_shaping_font  # noqa: E402

# In the shaping font "I" is a box 300 wide and 700 high (tall), "中" one
# 1800 wide and 700 high (wide).
NAME = "中I中"


@pytest.fixture(scope="module")
def font(tmp_path_factory):
    return build_shaping_font(tmp_path_factory.mktemp("upright-font") / "shaping.ttf")


@pytest.fixture
def steep(tmp_path):
    # 70 degrees from east, drawn from the north end, long enough for one label.
    return write_roads(tmp_path / "roads.shp", [LineString([(85, 235), (0, 0)])], name=[NAME])


def _glyph_extents(obj):
    """(east extent, north extent) of each glyph of the OBJ's one label: the
    box glyphs are written one after another, as many vertices each."""
    (vertices, _), = obj_labels(obj).values()
    assert len(vertices) % len(NAME) == 0
    return [np.ptp(v[:, :2], axis=0) for v in np.split(vertices, len(NAME))]


def test_upright_glyphs_stand_north_up_in_the_obj_frames_and_table(steep, tmp_path, font):
    engine = gw._new_engine({"shp_path": steep}, font)
    glyphs, labels, _ = gw._cartographic_glyph_frames(engine, 30.0, "upright")
    assert labels["text"] == [NAME]
    frame = glyphs["frame"]
    assert np.allclose(frame[:, :3, 0], [1, 0, 0]) and np.allclose(frame[:, :3, 1], [0, 1, 0])
    assert np.all(np.diff(glyphs["origin"][:, 1]) < 0)  # from the northern end down

    obj = tmp_path / "up.obj"
    glyphway_maker.generate(steep, str(obj), font_path=font, style="cartographic",
                            cjk_orientation="upright")
    wide, tall, wide_again = _glyph_extents(obj)
    assert tall[1] > 2 * tall[0]  # "I" taller in north than east
    assert wide[0] > 2 * wide[1] and wide_again[0] > 2 * wide_again[1]

    # Along the same road the glyphs turn with it: "中" then reaches
    # further north than east, "I" further east than north.
    along = tmp_path / "along.obj"
    glyphway_maker.generate(steep, str(along), font_path=font, style="cartographic")
    wide, tall, _ = _glyph_extents(along)
    assert wide[1] > wide[0] and tall[0] > tall[1]

    _, table, _ = label_options.prepared_table(steep, font_path=font, style="cartographic",
                                               cjk_orientation="upright")
    assert np.allclose(table["glyph_rotation_deg"], 0.0)
    assert np.allclose(table["rotation_deg"], 0.0)


def test_standing_text_reads_east_where_it_is_upright(steep, font):
    engine = gw._new_engine({"shp_path": steep, "posture": "upright"}, font)
    glyphs, _, _ = gw._cartographic_glyph_frames(engine, 30.0, "upright")
    assert len(glyphs["frame"]) == 3
    assert np.allclose(glyphs["frame"][:, :3, 0], [1, 0, 0])  # reading east
    assert np.allclose(glyphs["frame"][:, :3, 1], [0, 0, 1])  # standing up


def test_auto_stands_the_mostly_cjk_names_not_counting_word_spaces(tmp_path, font):
    # "中 中 B": two of its three drawn characters are CJK, two of five with the spaces.
    path = write_roads(tmp_path / "roads.shp", [LineString([(85, 235), (0, 0)]),
                                               LineString([(585, 235), (500, 0)])],
                       name=["中 中 B", "BAVA"])
    frame = glyphway_maker.place_labels(path, font_path=font, style="cartographic",
                                        cjk_orientation="auto")
    rotation = dict(zip(frame["text"], frame["rotation_deg"]))
    assert rotation["中 中 B"] == pytest.approx(0.0)
    assert rotation["BAVA"] == pytest.approx(70.1, abs=0.1)  # along, read upwards


@pytest.mark.parametrize("value, error, message", [
    ("sideways", ValueError, "cjk_orientation must be 'along', 'upright' or 'auto', not "
                             "'sideways'"),
    ("Upright", ValueError, "cjk_orientation must be"),
    (None, TypeError, "cjk_orientation"),
])
def test_a_bad_orientation_is_refused_before_anything_is_read(tmp_path, value, error, message):
    missing = str(tmp_path / "missing.shp")
    for function in (glyphway_maker.generate, glyphway_maker.generate_csv,
                     glyphway_maker.generate_glb):
        for style in ("interval", "cartographic"):
            with pytest.raises(error, match=message):
                function(missing, str(tmp_path / "out"), style=style, cjk_orientation=value)
    with pytest.raises(error, match=message):
        glyphway_maker.place_labels(missing, style="cartographic", cjk_orientation=value)
    assert not (tmp_path / "out").exists()


def test_along_is_the_default_and_the_interval_style_ignores_the_option(steep, tmp_path, font):
    for function, suffix in ((glyphway_maker.generate, "obj"),
                             (glyphway_maker.generate_csv, "csv"),
                             (glyphway_maker.generate_glb, "glb")):
        plain, along = tmp_path / f"a.{suffix}", tmp_path / f"b.{suffix}"
        function(steep, str(plain), font_path=font, style="cartographic")
        function(steep, str(along), font_path=font, style="cartographic",
                 cjk_orientation="along")
        assert plain.read_bytes() == along.read_bytes(), suffix
        interval, ignored = tmp_path / f"c.{suffix}", tmp_path / f"d.{suffix}"
        function(steep, str(interval), font_path=font, text_count=1)
        function(steep, str(ignored), font_path=font, text_count=1, cjk_orientation="upright")
        assert interval.read_bytes() == ignored.read_bytes(), suffix
