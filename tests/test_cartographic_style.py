"""The cartographic placement style through the public API, on small
hand-built networks: merged pieces, hairpins, roads drawn westwards, kerned
and CJK names, and every output taking the style. The default style's files
stay what they were."""
import csv
import math
import os
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest
from shapely.geometry import LineString

import glyphway_accel_avx2 as gw
import glyphway_maker

TESTS = Path(__file__).resolve().parent
sys.path.insert(0, str(TESTS / "export"))
sys.path.insert(0, str(TESTS / "text"))
from road_tables import write_roads  # noqa: E402
from glb_reading import expand, label_table, load, obj_labels  # noqa: E402
from test_text_shaping import ADVANCES, KERN, UPEM, build_shaping_font  # noqa: E402

SIZE = 15.0


@pytest.fixture(scope="module")
def font(tmp_path_factory):
    """Box glyphs for A, V, B and 中 with an A-V kern pair."""
    return build_shaping_font(tmp_path_factory.mktemp("carto-font") / "shaping.ttf")


def _roads(tmp_path, lines, names, **columns):
    return write_roads(tmp_path / "roads.shp", lines, name=names, **columns)


def _frames(path, font, max_char_angle=30.0, **options):
    """The glyph frames of the cartographic run every output of the style draws."""
    engine = gw._new_engine({"shp_path": path, **options}, font)
    return gw._cartographic_glyph_frames(engine, max_char_angle)


def _turns_deg(glyphs, label):
    d = glyphs["direction"][(glyphs["label"] == label) & glyphs["has_mesh"]]
    heading = np.degrees(np.arctan2(d[:, 1], d[:, 0]))
    return np.abs((np.diff(heading) + 180.0) % 360.0 - 180.0)


# --- where labels go ---------------------------------------------------------------------

def test_a_road_of_twenty_short_pieces_is_labelled_as_one_road(tmp_path, font):
    # 20 touching 100 m pieces: the default style samples none of them (each
    # is shorter than distance_interval); merged, the 2 km road takes labels
    # every 18 font sizes up to the moderate profile's 3.
    lines = [LineString([(100 * i, 0), (100 * (i + 1), 0)]) for i in range(20)]
    path = _roads(tmp_path, lines, ["BAB"] * 20)
    assert len(glyphway_maker.place_labels(path, font_path=font)) == 0
    frame = glyphway_maker.place_labels(path, font_path=font, style="cartographic")
    assert len(frame) == 3
    assert set(frame["text"]) == {"BAB"} and frame["group_id"].nunique() == 1
    xs = np.sort(frame.geometry.x.to_numpy())
    assert np.diff(xs).min() >= 18 * SIZE - 1e-6
    dense = glyphway_maker.place_labels(path, font_path=font, style="cartographic",
                                        density="very_dense")
    assert len(dense) == 5


def test_pieces_shorter_than_the_join_tolerance_still_make_one_road(tmp_path, font):
    # 3 km as 500 touching pieces of 6 m, under connect_eps (half the font
    # size): labelled as the same road drawn as 100 pieces of 30 m.
    def labels(count):
        step = 3000 / count
        lines = [LineString([(step * i, 0), (step * (i + 1), 0)]) for i in range(count)]
        path = _roads(tmp_path / str(count), lines, ["BAB"] * count)
        return glyphway_maker.place_labels(path, font_path=font, style="cartographic")

    (tmp_path / "500").mkdir()
    (tmp_path / "100").mkdir()
    short, long_ = labels(500), labels(100)
    assert len(short) == len(long_) == 3 and short["group_id"].nunique() == 1
    assert list(short["text"]) == list(long_["text"])
    assert np.allclose(short.geometry.x, long_.geometry.x, atol=1e-6)


def test_a_hairpin_keeps_every_label_off_the_fold(tmp_path, font):
    # 400 m east, then back west 10 m further north: a fold of almost 180 degrees.
    hairpin = LineString([(0, 0), (400, 0), (0, 10)])
    path = _roads(tmp_path, [hairpin], ["BABABA"])
    glyphs, labels, _ = _frames(path, font)
    assert len(labels["index"]) >= 2
    for label in labels["index"]:
        mine = glyphs["label"] == label
        assert _turns_deg(glyphs, label).max(initial=0.0) <= 30.0
        assert np.all(glyphs["direction"][mine][:, 0] > 0.99)  # on one leg, reading east
    # The default style bends its label glyph by glyph round the fold.
    spec_glyphs, spec_labels, _ = gw._glyph_frames(
        gw._new_engine({"shp_path": path, "text_count": 1, "font_size": 40.0}, font))
    assert _turns_deg(spec_glyphs, 0).max() > 90.0


def test_the_turn_limit_is_the_callers(tmp_path, font):
    # A 40 degree bend in the middle of a road just long enough for one label.
    bend = LineString([(0, 0), (60, 0), (60 + 60 * math.cos(math.radians(40)),
                                        60 * math.sin(math.radians(40)))])
    path = _roads(tmp_path, [bend], ["BABABABA"])
    strict = glyphway_maker.place_labels(path, font_path=font, style="cartographic",
                                         auto_fit_text=False)
    loose = glyphway_maker.place_labels(path, font_path=font, style="cartographic",
                                        auto_fit_text=False, max_char_angle=45.0)
    assert len(strict) == 0 and len(loose) == 1


def test_a_road_drawn_westwards_reads_east(tmp_path, font):
    path = _roads(tmp_path, [LineString([(200, 0), (0, 0)])], ["AVB"])
    glyphs, labels, _ = _frames(path, font)
    assert len(labels["index"]) == 1
    x = glyphs["origin"][:, 0]
    assert np.all(np.diff(x) > 0)  # glyph 0 is the westmost: the whole label is reversed
    assert np.allclose(glyphs["direction"][:, 0], 1.0)
    frame = glyphway_maker.place_labels(path, font_path=font, style="cartographic")
    assert frame["rotation_deg"].tolist() == pytest.approx([0.0], abs=1e-9)
    out = tmp_path / "west.csv"
    glyphway_maker.generate_csv(path, str(out), target_crs="", font_path=font,
                                style="cartographic")
    (row,) = list(csv.DictReader(open(out, encoding="utf-8-sig")))
    assert [float(row[k]) for k in ("qx", "qy", "qz", "qw")] == pytest.approx([0, 0, 0, 1])
    assert row["name"] == "AVB"


# --- shaping -----------------------------------------------------------------------------

def _glyph_centres(path, font, name):
    glyphs, labels, _ = _frames(path, font)
    assert labels["text"] == [name]
    return glyphs["origin"][:, 0], glyphs["advance"]


def test_a_kerned_pair_sits_tighter_than_its_advances(tmp_path, font):
    roads = {}
    for name in ("AV", "AB"):
        folder = tmp_path / name
        folder.mkdir()
        roads[name] = _roads(folder, [LineString([(0, 0), (200, 0)])], [name])
    kerned, kerned_advances = _glyph_centres(roads["AV"], font, "AV")
    plain, plain_advances = _glyph_centres(roads["AB"], font, "AB")
    em = SIZE / UPEM
    assert kerned_advances[0] == pytest.approx((ADVANCES["A"] + KERN) * em)
    assert plain_advances[0] == pytest.approx(ADVANCES["A"] * em)
    assert kerned[1] - kerned[0] == pytest.approx(
        (ADVANCES["A"] + KERN + ADVANCES["V"]) / 2 * em)
    # The drawn meshes follow the shaped pen: V's box starts KERN units sooner.
    obj = tmp_path / "av.obj"
    glyphway_maker.generate(roads["AV"], str(obj), font_path=font, style="cartographic")
    (vertices, _), = obj_labels(obj).values()
    width = np.ptp(vertices[:, 0])
    full = (ADVANCES["A"] + KERN + ADVANCES["V"] - 2 * 50) * em  # ink: 50 units of bearing
    assert width == pytest.approx(full, abs=1e-3)


def test_a_cjk_name_takes_the_fonts_advances(tmp_path, font):
    path = _roads(tmp_path, [LineString([(0, 0), (200, 0)])], ["中中中"])
    centres, advances = _glyph_centres(path, font, "中中中")
    em = SIZE / UPEM
    assert advances == pytest.approx([ADVANCES["uni4E2D"] * em] * 3)
    assert np.diff(centres) == pytest.approx([ADVANCES["uni4E2D"] * em] * 2)


# --- one name's labels across roads -----------------------------------------------------

REPEAT = 18 * SIZE  # the moderate profile's repeat interval


def _centre_gaps(path, font, **options):
    """The labels' centres (mean glyph origin) and the least distance between two of a name."""
    glyphs, labels, _ = _frames(path, font, **options)
    keep = glyphs["has_mesh"]
    centres = np.array([glyphs["origin"][keep & (glyphs["label"] == k)][:, :2].mean(axis=0)
                        for k in range(len(labels["index"]))])
    least = np.inf
    for a in range(len(centres)):
        for b in range(a + 1, len(centres)):
            if labels["text"][a] == labels["text"][b]:
                least = min(least, float(np.linalg.norm(centres[a] - centres[b])))
    return centres, least


def test_copies_and_carriageways_of_a_road_share_its_labels(tmp_path, font):
    # Ten exact copies of one 3 km road: the labels of one road, not ten.
    road = LineString([(0, 0), (3000, 0)])
    copies = _roads(tmp_path, [road] * 10, ["BAB"] * 10)
    centres, least = _centre_gaps(copies, font)
    assert 1 <= len(centres) <= 3 and least >= REPEAT
    # Two carriageways 20 m apart, drawn in opposite directions and split
    # differently: one road for the cap, the names never stacked.
    north = [LineString([(0, 20), (1700, 20)]), LineString([(1700, 20), (3000, 20)])]
    south = [LineString([(3000, 0), (900, 0)]), LineString([(900, 0), (0, 0)])]
    dual = tmp_path / "dual"
    dual.mkdir()
    path = _roads(dual, north + south, ["BAB"] * 4)
    centres, least = _centre_gaps(path, font)
    assert 1 <= len(centres) <= 3 and least >= REPEAT
    # Another name beside it keeps its own labels.
    other = tmp_path / "other"
    other.mkdir()
    path = _roads(other, [road, LineString([(0, 20), (3000, 20)])], ["BAB", "AVA"])
    frame = glyphway_maker.place_labels(path, font_path=font, style="cartographic")
    assert set(frame["text"]) == {"BAB", "AVA"}


def test_a_star_of_one_name_keeps_the_repeat_interval(tmp_path, font):
    spokes = [LineString([(0, 0), (800 * math.cos(2 * math.pi * k / 40),
                                   800 * math.sin(2 * math.pi * k / 40))]) for k in range(40)]
    path = _roads(tmp_path, spokes, ["BAB"] * 40)
    centres, least = _centre_gaps(path, font)
    assert len(centres) >= 8 and least >= REPEAT * (1 - 1e-9)


def test_font_sizes_follow_the_road_class_and_never_shrink_past_the_floor(tmp_path, font):
    # Four roads far apart, one per class step of the weight.
    lines = [LineString([(0, 1000 * k), (600, 1000 * k)]) for k in range(4)]
    path = _roads(tmp_path, lines, ["BAB"] * 4, weight=[1, 3, 5, 8])
    frame = glyphway_maker.place_labels(path, font_path=font, style="cartographic",
                                        weight_field="weight")
    sizes = frame.groupby("weight")["effective_font_size"].max()
    assert sizes.to_dict() == pytest.approx({1: SIZE, 3: 0.9 * SIZE, 5: 0.8 * SIZE,
                                             8: 0.7 * SIZE})
    assert [gw._class_font_scale(w) for w in (0.5, 2, 4, 6, 100)] == [1.0, 1.0, 0.9, 0.8, 0.7]
    # BAB is 22 m wide at 15 m and 0.6 of a 30 m road holds 18 m (0.82 of
    # the size). AVA is 25 m wide: at 0.7 of its size (17.5 m) it would
    # overrun a 17 m road, so it is left out unless a lower floor is asked
    # for; at 0.5 it fits the road whole.
    short = tmp_path / "short"
    short.mkdir()
    path = _roads(short, [LineString([(0, 0), (30, 0)]), LineString([(0, 500), (17, 500)])],
                  ["BAB", "AVA"])
    frame = glyphway_maker.place_labels(path, font_path=font, style="cartographic")
    assert frame["text"].tolist() == ["BAB"]
    assert frame["effective_font_size"].iloc[0] == pytest.approx(
        18.0 / (3000 / UPEM * SIZE) * SIZE, rel=1e-6)
    frame = glyphway_maker.place_labels(path, font_path=font, style="cartographic",
                                        min_font_scale=0.5)
    assert sorted(frame["text"]) == ["AVA", "BAB"]
    assert frame.set_index("text")["effective_font_size"]["AVA"] == pytest.approx(0.5 * SIZE)


THREAD_SCRIPT = """
import sys
import glyphway_maker
glyphway_maker.generate_csv(sys.argv[1], sys.argv[2], target_crs="", font_path=sys.argv[3],
                            style="cartographic")
"""


def test_the_labels_are_the_same_on_any_thread_count(tmp_path, font):
    # A dense lattice of crossing streets with few names: more slots than one
    # batch searched ahead, many of them refused by the labels found beside
    # them in the same batch (glyphs touching, a name too near itself).
    lines, names = [], []
    for k in range(800):
        x = 37.0 * k
        lines.append(LineString([(x, 0), (x + 5, 1400)]))
        lines.append(LineString([(0, x * 0.05), (1400, x * 0.05 + 9)]))
        names += ["BAB" if k % 3 else "AVA", "BABAB" if k % 2 else "VAB"]
    path = _roads(tmp_path, lines, names)
    outputs = []
    for threads in ("1", "4"):
        out = tmp_path / f"threads{threads}.csv"
        subprocess.run([sys.executable, "-c", THREAD_SCRIPT, path, str(out), font],
                       env=dict(os.environ, OMP_NUM_THREADS=threads), check=True,
                       capture_output=True)
        outputs.append(out.read_bytes())
    assert outputs[0] == outputs[1]
    assert outputs[0].count(b"\n") > 500
    # What one batch found is kept only if still clear of what the batch
    # accepted before it: no name nearer itself than the interval.
    _, least = _centre_gaps(path, font)
    assert least >= REPEAT * (1 - 1e-9)


# --- the outputs -------------------------------------------------------------------------

@pytest.fixture
def network(tmp_path):
    lines = [LineString([(0, 0), (600, 0)]),
             LineString([(300, -300), (300, 300)]),
             LineString([(0, 500), (30, 500)])]  # short: the name is shrunk
    return _roads(tmp_path, lines, ["BABAB", "AVA", "BAB"], weight=[1, 2, 1])


def test_the_obj_draws_each_glyph_where_placement_put_it(network, tmp_path, font):
    obj = tmp_path / "c.obj"
    glyphway_maker.generate(network, str(obj), font_path=font, style="cartographic")
    drawn = obj_labels(obj)
    glyphs, labels, _ = _frames(network, font)
    assert sorted(drawn) == list(range(len(labels["index"])))
    for row, (vertices, faces) in drawn.items():
        mine = glyphs["label"] == row
        assert faces == 12 * mine.sum()  # an extruded box: 12 triangles per glyph
        sizes = glyphs["font_size"][mine]
        centre = glyphs["origin"][mine]
        # Every glyph's box lies around its own centre, as tall as its size.
        for c, size in zip(centre, sizes):
            near = vertices[np.linalg.norm(vertices[:, :2] - c[:2], axis=1) < size]
            assert len(near) >= 8
    shrunk = [k for k, s in enumerate(labels["font_size"]) if s < SIZE]
    assert shrunk, "the short road's name is drawn smaller"
    vertices, _ = drawn[shrunk[0]]
    assert np.ptp(vertices[:, 1]) == pytest.approx(
        labels["font_size"][shrunk[0]] * 700 / UPEM, rel=1e-3)


@pytest.mark.parametrize("instancing", [True, False])
def test_the_glb_draws_the_objs_glyphs(network, tmp_path, font, instancing):
    obj, glb = tmp_path / "c.obj", tmp_path / "c.glb"
    glyphway_maker.generate(network, str(obj), font_path=font, style="cartographic")
    glyphway_maker.generate_glb(network, str(glb), font_path=font, style="cartographic",
                                instancing=instancing)
    want = obj_labels(obj)
    gltf, blob = load(glb)
    got = expand(gltf, blob)
    assert sorted(got) == sorted(want)
    for row, (vertices, faces) in want.items():
        placed = np.vstack([v for v, _ in got[row]])
        assert sum(n for _, n in got[row]) == faces
        assert np.allclose(np.sort(placed, axis=0), np.sort(vertices, axis=0), atol=2e-3)
    table = label_table(gltf, blob)
    frame = glyphway_maker.place_labels(network, font_path=font, style="cartographic")
    assert list(table["text"]) == frame["text"].tolist()
    assert list(table["group_id"]) == frame["group_id"].tolist()


def test_csv_rows_and_label_points_agree(network, tmp_path, font):
    out = tmp_path / "c.csv"
    glyphway_maker.generate_csv(network, str(out), target_crs="", font_path=font,
                                style="cartographic")
    rows = list(csv.DictReader(open(out, encoding="utf-8-sig")))
    frame = glyphway_maker.place_labels(network, font_path=font, style="cartographic")
    assert [r["name"] for r in rows] == frame["text"].tolist()
    assert [float(r["x"]) for r in rows] == pytest.approx(frame.geometry.x.tolist(), abs=1e-3)
    assert [float(r["y"]) for r in rows] == pytest.approx(frame.geometry.y.tolist(), abs=1e-3)
    assert frame["line_key"].isna().all()
    assert (frame["weight"] >= 1).all()


def test_the_preview_draws_the_cartographic_glyphs(network, tmp_path, font):
    png = tmp_path / "c.png"
    count = glyphway_maker.preview(network, str(png), font_path=font, style="cartographic",
                                   width_px=320, height_px=240)
    assert count == len(glyphway_maker.place_labels(network, font_path=font,
                                                    style="cartographic"))
    assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


def test_upright_glyphs_stand_on_the_road(tmp_path, font):
    path = _roads(tmp_path, [LineString([(0, 0), (200, 0)])], ["BAB"])
    obj = tmp_path / "up.obj"
    glyphway_maker.generate(path, str(obj), font_path=font, style="cartographic",
                            posture="upright", extrusion_depth=0.0)
    (vertices, _), = obj_labels(obj).values()
    # Flat glyphs in the road's vertical plane, as tall as the box glyphs.
    assert np.ptp(vertices[:, 1]) == pytest.approx(0.0, abs=1e-9)
    assert np.ptp(vertices[:, 2]) == pytest.approx(700 * SIZE / UPEM, rel=1e-3)


# --- the default style and the argument checks -------------------------------------------

def test_the_default_style_is_the_interval_one(network, tmp_path, font):
    for function, suffix in ((glyphway_maker.generate, "obj"), (glyphway_maker.generate_csv,
                                                                 "csv"),
                             (glyphway_maker.generate_glb, "glb")):
        plain, named = tmp_path / f"a.{suffix}", tmp_path / f"b.{suffix}"
        function(network, str(plain), font_path=font)
        function(network, str(named), font_path=font, style="interval", max_char_angle=10.0)
        assert plain.read_bytes() == named.read_bytes(), suffix


@pytest.mark.parametrize("options, error, message", [
    ({"style": "pretty"}, ValueError, "style must be 'interval' or 'cartographic'"),
    # The interval style's first name is gone: a script still using it fails loudly.
    ({"style": "specified"}, ValueError, "style must be 'interval' or 'cartographic'"),
    ({"style": None}, TypeError, "style"),
    ({"max_char_angle": 0}, ValueError, "max_char_angle must be above 0"),
    ({"max_char_angle": float("nan")}, ValueError, "max_char_angle"),
    ({"max_char_angle": 181}, ValueError, "max_char_angle"),
])
def test_bad_style_arguments_are_refused_before_anything_is_read(tmp_path, options, error,
                                                                 message):
    missing = str(tmp_path / "missing.shp")
    for function in (glyphway_maker.generate, glyphway_maker.generate_csv,
                     glyphway_maker.generate_glb):
        with pytest.raises(error, match=message):
            function(missing, str(tmp_path / "out"), **options)
    with pytest.raises(error, match=message):
        glyphway_maker.place_labels(missing, **options)
    assert not (tmp_path / "out").exists()


def test_a_network_without_the_name_column_writes_nothing(tmp_path, font):
    path = write_roads(tmp_path / "roads.shp", [LineString([(0, 0), (500, 0)])], label=["x"])
    out = tmp_path / "none.obj"
    glyphway_maker.generate(path, str(out), font_path=font, style="cartographic")
    assert not out.exists()
