"""_glyph_frames: the frame of every glyph as the OBJ lays it out, read from
the engine's own prepared records."""
import sys
from pathlib import Path

import numpy as np
import pytest
from shapely.geometry import LineString

import glyphway_accel_avx2 as gw
import glyphway_maker

TESTS = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(TESTS / "export"))
from road_tables import write_roads  # noqa: E402
from glb_reading import obj_labels  # noqa: E402

RUN = {"text_count": 1, "density": "very_dense"}


@pytest.fixture(scope="module")
def roads(tmp_path_factory):
    """Straight, bent and leftward roads, names with blanks and empty glyphs,
    and short roads auto-fit shrinks names on."""
    lines = [
        LineString([(0, 0), (900, 0)]),
        LineString([(900, 120), (450, 160), (0, 120)]),            # drawn leftwards
        LineString([(100, 400), (300, 420), (420, 520), (440, 700)]),
        LineString([(0, 900), (70, 905)]),                          # shrinks the name
        LineString([(600, 600), (600, 800)]),                       # north-south
    ]
    names = ["中一 oxe", "中一中一", "ice 中", "中一中一中一", "Ixo"]
    return write_roads(tmp_path_factory.mktemp("frames") / "roads.shp", lines, name=names,
                       weight=[1, 2, 3, 1, 4])


def _engine(path, font, **options):
    return gw._new_engine({"shp_path": str(path), **RUN, **options}, font)


def _frames(path, font, capsys=None, **options):
    out = gw._glyph_frames(_engine(path, font, **options))
    if capsys is not None:
        capsys.readouterr()
    return out


def _placed(frame, vertices):
    return vertices @ frame[:3, :3].T + frame[:3, 3]


@pytest.mark.parametrize("options", [{}, {"posture": "upright"}, {"letter_spacing": 1.5,
                                                                   "font_size": 12.0}])
def test_the_frames_carry_each_glyph_mesh_onto_the_obj(roads, tmp_path, ttf_font, options):
    obj = tmp_path / "labels.obj"
    glyphway_maker.generate(roads, str(obj), font_path=ttf_font, **RUN, **options)
    want = obj_labels(obj)
    engine = _engine(roads, ttf_font, **options)
    glyphs, labels, crs = gw._glyph_frames(engine)
    assert crs == "EPSG:3857"
    assert sorted(labels["index"].tolist()) == sorted(want)
    spacing = options.get("letter_spacing", 0.0)
    for row, index in enumerate(labels["index"]):
        mine = np.nonzero(glyphs["label"] == row)[0]
        records = engine.get_mesh_engine(labels["font_size"][row], spacing) \
            .generate_glyph_meshes(labels["effective_text"][row])
        placed = [_placed(glyphs["frame"][k], records[glyphs["position"][k]]["verts"])
                  for k in mine if glyphs["has_mesh"][k]]
        vertices, _ = want[int(index)]
        got = np.concatenate(placed) if placed else np.zeros((0, 3))
        assert got.shape == vertices.shape, labels["text"][row]
        np.testing.assert_allclose(got, vertices, atol=2e-4)


def test_glyph_rows_follow_the_drawn_text(roads, ttf_font, capsys):
    glyphs, labels, _ = _frames(roads, ttf_font, capsys)
    assert len(labels["index"]) == 5
    for row, fitted in enumerate(labels["effective_text"]):
        mine = glyphs["label"] == row
        # every character takes up room: blanks and outline-less glyphs too
        assert glyphs["position"][mine].tolist() == list(range(len(fitted)))
        assert [chr(c) for c in glyphs["char"][mine]] == list(fitted)
        drawn = [c for c in fitted if c in "中一oxIic"]
        assert int(glyphs["has_mesh"][mine].sum()) == len(drawn), fitted
    np.testing.assert_allclose(np.linalg.norm(glyphs["direction"], axis=1), 1.0)
    np.testing.assert_array_equal(glyphs["origin"], glyphs["frame"][:, :3, 3])
    np.testing.assert_array_equal(glyphs["direction"], glyphs["frame"][:, :3, 0])
    assert (glyphs["font_size"][glyphs["label"] == 3] < 15.0).all()  # auto-fit shrank it


def test_a_road_drawn_westwards_gets_the_frames_of_the_same_road_drawn_eastwards(
        tmp_path, ttf_font, capsys):
    east = write_roads(tmp_path / "east.shp", [LineString([(0, 0), (400, 30), (900, 0)])],
                       name=["中一oxI"])
    west = write_roads(tmp_path / "west.shp", [LineString([(900, 0), (400, 30), (0, 0)])],
                       name=["中一oxI"])
    east_glyphs, _, _ = _frames(east, ttf_font, capsys)
    west_glyphs, _, _ = _frames(west, ttf_font, capsys)
    # read left to right: the first glyph is the westmost, every one faces east
    assert np.all(np.diff(west_glyphs["origin"][:, 0]) > 0)
    assert np.all(west_glyphs["direction"][:, 0] > 0.99)
    np.testing.assert_allclose(west_glyphs["origin"], east_glyphs["origin"], atol=1e-6)
    np.testing.assert_allclose(west_glyphs["frame"][:, :3, :3], east_glyphs["frame"][:, :3, :3],
                               atol=1e-9)


def test_straight_text_lays_the_glyphs_along_the_label_frame(roads, ttf_font, capsys):
    glyphs, labels, _ = _frames(roads, ttf_font, capsys, curved_text=False)
    for row in range(len(labels["index"])):
        mine = np.nonzero(glyphs["label"] == row)[0]
        direction = glyphs["direction"][mine]
        np.testing.assert_allclose(direction, np.broadcast_to(direction[0], direction.shape))
        offset = (glyphs["origin"][mine] - labels["anchor"][row]) @ direction[0]
        along = labels["anchor"][row] + offset[:, None] * direction[0]
        np.testing.assert_allclose(glyphs["origin"][mine], along, atol=1e-6)
        assert np.all(np.diff(offset) > 0)
        # centred on the anchor: the text's extent is symmetric about it
        half = 0.5 * glyphs["advance"][mine]
        assert (offset[0] - half[0]) == pytest.approx(-(offset[-1] + half[-1]))


def test_a_network_without_the_name_column_has_no_frames(roads, ttf_font, capsys):
    glyphs, labels, crs = _frames(roads, ttf_font, capsys, name_field="missing")
    assert crs is None
    assert len(glyphs["label"]) == 0 and glyphs["origin"].shape == (0, 3)
    assert len(labels["index"]) == 0 and labels["anchor"].shape == (0, 3)


def test_a_replaced_preparation_is_refused(roads, ttf_font):
    engine = _engine(roads, ttf_font)
    engine._prepare_data = lambda: ([], None)
    with pytest.raises(TypeError, match="_prepare_data"):
        gw._glyph_frames(engine)


# --- the cartographic placement, measured the same way ------------------------------------

def test_cartographic_frames_read_east_and_keep_to_the_turn_limit(make_engine, tmp_path):
    # A westward road with a hairpin at its far end, and an eastward road of
    # ten touching pieces: every glyph reads east, and no two neighbours turn
    # more than the limit.
    hairpin = LineString([(3000, 0), (0, 0), (0, 40), (3000, 40)])
    pieces = [LineString([(100 * k, 900), (100 * (k + 1), 900)]) for k in range(10)]
    path = write_roads(tmp_path / "roads.shp", [hairpin] + pieces,
                       name=["Rua Augusta"] + ["长安街"] * 10)
    glyphs, labels, crs = gw._cartographic_glyph_frames(make_engine(path), max_char_angle=30.0)
    assert crs == "EPSG:3857"
    assert {"Rua Augusta", "长安街"} <= set(labels["text"])
    assert (glyphs["direction"][:, 0] > 0).all()
    for row in range(len(labels["text"])):
        heading = np.degrees(np.arctan2(*glyphs["direction"][glyphs["label"] == row][:, 1::-1].T))
        assert (np.abs(np.diff(heading)) <= 30.0 + 1e-9).all()
    # The piecewise road is labelled on its merged line, across the joints.
    on_pieces = glyphs["origin"][glyphs["label"] == labels["text"].index("长安街")]
    assert np.allclose(on_pieces[:, 1], 900.0)


def test_cartographic_frames_of_a_table_without_names(make_engine, tmp_path):
    path = write_roads(tmp_path / "roads.shp", [LineString([(0, 0), (900, 0)])], road=["a"])
    glyphs, labels, crs = gw._cartographic_glyph_frames(make_engine(path))
    assert crs is None and len(glyphs["label"]) == 0 and labels["text"] == []


def test_cartographic_turns_are_judged_across_word_spaces(make_engine, tmp_path):
    # A road that bends 25 degrees twice one way, then twice the other, every
    # 4 m: the glyphs either side of a space can sit across two bends, which
    # together turn more than the limit although each alone is within it.
    points, heading, x, y = [(0.0, 0.0)], 0.0, 0.0, 0.0
    for k in range(600):
        heading += np.radians(25.0 if (k // 2) % 2 == 0 else -25.0)
        x, y = x + 4.0 * np.cos(heading), y + 4.0 * np.sin(heading)
        points.append((x, y))
    path = write_roads(tmp_path / "roads.shp", [LineString(points)], name=["A A A A A A"])
    glyphs, labels, _ = gw._cartographic_glyph_frames(make_engine(path, font_size=4.0))
    assert labels["text"], "the road should carry a label"
    for row in range(len(labels["text"])):
        drawn = (glyphs["label"] == row) & glyphs["has_mesh"]
        heading = np.degrees(np.arctan2(glyphs["direction"][drawn, 1], glyphs["direction"][drawn, 0]))
        assert (np.abs(np.diff(heading)) <= 30.0 + 1e-9).all()
