"""The label table (place_labels), its file writer, and the preview picture,
against the billboard CSV of the same run."""
import csv
import json

import geopandas as gpd
import numpy as np
import pytest
from shapely.geometry import LineString

import glyphway_accel_avx2 as gw
import glyphway_maker
from glyphway_maker import cli, labels

COLUMNS = ["text", "effective_text", "effective_font_size", "group_id", "weight",
           "rotation_deg", "line_key"]


@pytest.fixture(scope="module")
def roads(tmp_path_factory):
    """A small network of named roads in EPSG:3857 with crossings, stacked
    roads, a bend and a road too short for its name, so the solver (hiding and
    sliding labels) and auto-fit both have work."""
    lines, names, weights = [], [], []
    for k in range(4):
        lines.append(LineString([(0, k * 60.0), (1500, k * 60.0 + 40.0)]))
        names.append("中" * (k + 2) + "o")
        weights.append(float(k + 1))
    for k in range(3):  # stacked 3 m apart: the solver must hide or slide some
        lines.append(LineString([(300, 500 + 3.0 * k), (900, 500 + 3.0 * k)]))
        names.append("Io中" * (k + 1))
        weights.append(float(k + 1))
    lines.append(LineString([(700, -100), (720, 400), (1100, 700)]))
    names.append("一中x")
    weights.append(5.0)
    lines.append(LineString([(200, 300), (230, 305)]))
    names.append("中中中中中中中中")
    weights.append(1.0)
    lines.append(LineString([(1400, 0), (100, -200)]))  # reads right to left
    names.append("IoI")
    weights.append(2.0)
    frame = gpd.GeoDataFrame({"name": names, "weight": weights}, geometry=lines,
                             crs="EPSG:3857")
    path = tmp_path_factory.mktemp("roads") / "roads.shp"
    frame.to_file(path, encoding="UTF-8")
    return str(path), frame


OPTIONS = dict(distance_interval=150.0, font_size=12.0, letter_spacing=1.0,
               density="dense")


def _csv_rows(shp, tmp_path, font, **options):
    out = tmp_path / "labels.csv"
    glyphway_maker.generate_csv(shp, str(out), target_crs="EPSG:3857", font_path=font,
                                **options)
    with open(out, encoding="utf-8-sig", newline="") as f:
        return list(csv.reader(f))[1:]


@pytest.mark.parametrize("curved", [True, False])
def test_rows_match_the_billboard_csv(roads, tmp_path, ttf_font, curved):
    shp, _ = roads
    frame = glyphway_maker.place_labels(shp, font_path=ttf_font, curved_text=curved, **OPTIONS)
    rows = _csv_rows(shp, tmp_path, ttf_font, curved_text=curved, **OPTIONS)
    assert isinstance(frame, gpd.GeoDataFrame)
    assert list(frame.columns) == COLUMNS + ["geometry"]
    assert frame.crs == "EPSG:3857"
    assert len(frame) == len(rows) > 0
    assert list(frame["text"]) == [r[8] for r in rows]
    for point, row in zip(frame.geometry, rows):
        assert f"{point.x:.3f}" == row[1] and f"{point.y:.3f}" == row[2]
    assert np.all(np.abs(frame["rotation_deg"]) <= 180.0)
    assert np.all(frame["effective_font_size"] > 0)


def test_columns_follow_the_records(roads, ttf_font):
    shp, _ = roads
    engine = gw._new_engine(labels.engine_keywords(shp, dict(OPTIONS, curved_text=False)),
                            ttf_font)
    assert engine.font_path == ttf_font
    records, crs = engine._prepare_data()
    table = gw._label_table(engine, records)
    visible = [r for r in records if not r.get("hidden", False)]
    assert len(visible) < len(records)  # the solver hid some
    assert any(r.get("matrix_dirty") for r in visible)  # and moved some
    assert table["visible"].tolist() == [not r.get("hidden", False) for r in records]
    assert table["index"].tolist() == [i for i, r in enumerate(records)
                                       if not r.get("hidden", False)]
    assert table["corners"].shape == (len(visible), 4, 2)
    for k, r in enumerate(visible):
        m = r["matrix"]  # refreshed in place where the solver moved the label
        assert table["x"][k] == m[0, 3] and table["y"][k] == m[1, 3]
        assert table["rotation_deg"][k] == pytest.approx(np.degrees(np.arctan2(m[1, 0], m[0, 0])))
        assert table["effective_text"][k] == r.get("effective_text", r["text"])
        assert table["group_id"][k] == r.get("group_id")
        n = r.get("effective_text_len", r["text_len"])
        width = r.get("effective_char_width_est", engine.char_width_est)
        spacing = r.get("effective_letter_spacing", engine.letter_spacing)
        assert table["length"][k] == pytest.approx(n * width + max(n - 1, 0) * spacing)
        assert table["height"][k] == r.get("effective_font_size", engine.font_size)
        corners = table["corners"][k]
        assert corners.mean(axis=0) == pytest.approx([m[0, 3], m[1, 3]])
        assert np.linalg.norm(corners[1] - corners[0]) == pytest.approx(table["length"][k])
        assert np.linalg.norm(corners[3] - corners[0]) == pytest.approx(table["height"][k])
        direction = corners[1] - corners[0]
        assert np.degrees(np.arctan2(direction[1], direction[0])) == pytest.approx(
            table["rotation_deg"][k], abs=1e-6)


def test_a_geodataframe_input_gives_the_same_labels(roads, ttf_font):
    shp, frame = roads
    from_path = glyphway_maker.place_labels(shp, font_path=ttf_font, **OPTIONS)
    from_frame = glyphway_maker.place_labels(frame, font_path=ttf_font, **OPTIONS)
    assert list(from_frame["text"]) == list(from_path["text"])
    np.testing.assert_allclose(from_frame.geometry.x, from_path.geometry.x, rtol=0, atol=1e-9)
    np.testing.assert_allclose(from_frame.geometry.y, from_path.geometry.y, rtol=0, atol=1e-9)


def test_utm_working_crs(roads, ttf_font):
    _, frame = roads
    lonlat = frame.set_geometry(frame.geometry.translate(12_700_000, 2_600_000)).to_crs(4326)
    placed = glyphway_maker.place_labels(lonlat, font_path=ttf_font, use_utm=True, **OPTIONS)
    assert placed.crs.to_epsg() // 100 in (326, 327)
    assert len(placed) > 0


def test_bad_options_and_inputs(roads, ttf_font):
    shp, _ = roads
    with pytest.raises(TypeError, match="extrusion_depth"):
        glyphway_maker.place_labels(shp, font_path=ttf_font, extrusion_depth=1.0)
    with pytest.raises(TypeError):
        glyphway_maker.place_labels(42, font_path=ttf_font)


def test_missing_name_column_gives_an_empty_frame(roads, ttf_font, capsys):
    shp, _ = roads
    placed = glyphway_maker.place_labels(shp, font_path=ttf_font, name_field="nope")
    assert len(placed) == 0 and list(placed.columns) == COLUMNS + ["geometry"]
    assert "NOT FOUND" in capsys.readouterr().out


@pytest.mark.parametrize("extension", [".gpkg", ".geojson", ".json"])
def test_labels_command_writes_a_readable_file(roads, tmp_path, ttf_font, extension):
    shp, _ = roads
    out = tmp_path / f"labels{extension}"
    assert cli.main(["labels", shp, str(out), "--font", ttf_font, "--distance-interval",
                     "150", "--font-size", "12"]) == 0
    back = gpd.read_file(out)
    expected = glyphway_maker.place_labels(shp, font_path=ttf_font, distance_interval=150.0,
                                           font_size=12.0)
    assert list(back["text"]) == list(expected["text"])
    np.testing.assert_allclose(back.geometry.x, expected.geometry.x, atol=1e-6)
    assert [p.name for p in tmp_path.iterdir()] == [out.name]  # no temporary left behind
    if extension != ".gpkg":
        # The layer is named for what it holds, not for the temporary file.
        assert json.loads(out.read_text(encoding="utf-8"))["name"] == "labels"


@pytest.mark.parametrize("command, output", [("labels", "l.gpkg"), ("preview", "p.png")])
@pytest.mark.parametrize("mesh_option", [["--extrusion-depth", "3"], ["--no-separate-objects"]])
def test_commands_without_meshes_refuse_mesh_options(roads, tmp_path, command, output,
                                                     mesh_option, capsys):
    shp, _ = roads
    with pytest.raises(SystemExit) as exit_info:
        cli.main([command, shp, str(tmp_path / output), *mesh_option])
    assert exit_info.value.code == 2
    assert "unrecognized arguments" in capsys.readouterr().err


def test_labels_command_refuses_other_extensions(roads, tmp_path, ttf_font, capsys):
    shp, _ = roads
    out = tmp_path / "labels.shp"
    assert cli.main(["labels", shp, str(out), "--font", ttf_font]) == 1
    assert ".gpkg, .geojson or .json" in capsys.readouterr().err
    assert not out.exists()


def _png_size(path):
    import matplotlib.image
    image = matplotlib.image.imread(str(path))
    return image.shape[1], image.shape[0]


def test_preview_writes_a_png_of_the_asked_size(roads, tmp_path, ttf_font):
    shp, _ = roads
    out = tmp_path / "preview.png"
    drawn = glyphway_maker.preview(shp, out, width_px=640, height_px=480, dpi=80,
                                   font_path=ttf_font, **OPTIONS)
    assert drawn == len(glyphway_maker.place_labels(shp, font_path=ttf_font, **OPTIONS)) > 0
    assert _png_size(out) == (640, 480)
    assert [p.name for p in tmp_path.iterdir()] == ["preview.png"]


def test_preview_of_an_empty_placement(roads, tmp_path, ttf_font):
    shp, _ = roads
    out = tmp_path / "empty.png"
    assert glyphway_maker.preview(shp, out, width_px=200, height_px=100,
                                  font_path=ttf_font, name_field="nope") == 0
    assert _png_size(out) == (200, 100)


def test_preview_command(roads, tmp_path, ttf_font):
    shp, _ = roads
    out = tmp_path / "cli.png"
    assert cli.main(["preview", shp, str(out), "--font", ttf_font, "--width-px", "320",
                     "--height-px", "240", "--dpi", "64", "--no-curved-text"]) == 0
    assert _png_size(out) == (320, 240)


# --- the preview's lettering -------------------------------------------------------------

LETTER_SIZE = 10.0


@pytest.fixture
def drawn_figures(monkeypatch):
    """The figures preview() draws, caught as they are saved."""
    from glyphway_maker import preview_image
    figures, save = [], preview_image._save_png

    def keep(figure, out_png, dpi):
        figures.append(figure)
        save(figure, out_png, dpi)
    monkeypatch.setattr(preview_image, "_save_png", keep)
    return figures


def _with_gid(figure, gid):
    (axes,) = figure.axes
    return [artist for artist in axes.get_children() if artist.get_gid() == gid]


def _lettering_bounds(figure):
    from glyphway_maker import preview_image
    (patch,) = _with_gid(figure, preview_image.GLYPHS_GID)
    box = patch.get_path().get_extents()
    return np.array([box.x0, box.y0, box.x1, box.y1])


def _obj_bounds(path):
    vertices = np.array([[float(v) for v in line.split()[1:3]]
                         for line in open(path, encoding="utf-8") if line.startswith("v ")])
    return np.concatenate([vertices.min(axis=0), vertices.max(axis=0)])


@pytest.fixture(scope="module")
def font_chain(tmp_path_factory):
    """A Latin-only font with a CJK font of another em behind it."""
    from font_factory import CJK_CODEPOINTS, build_font
    folder = tmp_path_factory.mktemp("chain")
    return [str(build_font(folder / "latin.ttf", without=CJK_CODEPOINTS)),
            str(build_font(folder / "cjk.otf", "otf", upem=2048, family="Glyphway Chain CJK"))]


@pytest.mark.parametrize("style", ["interval", "cartographic"])
@pytest.mark.parametrize("end, name", [((150, 0), "IoI"), ((0, 150), "IoI"), ((150, 0), "I中o")])
@pytest.mark.parametrize("chain", [False, True])
def test_the_preview_draws_the_objs_glyphs_seen_from_above(tmp_path, ttf_font, font_chain,
                                                           drawn_figures, style, end, name,
                                                           chain):
    from road_tables import write_roads
    shp = write_roads(tmp_path / "r.shp", [LineString([(0, 0), end])], name=[name])
    options = dict(font_path=font_chain if chain else ttf_font, style=style,
                   font_size=LETTER_SIZE, letter_spacing=0.5)
    if style == "interval":
        options.update(text_count=1, curved_text=False)
    obj = tmp_path / "r.obj"
    glyphway_maker.generate(shp, str(obj), extrusion_depth=0.0, **options)
    assert glyphway_maker.preview(shp, tmp_path / "r.png", **options) == 1
    (figure,) = drawn_figures
    # Where the OBJ puts the ink, glyph by glyph seen from above: the same
    # size, the same baseline, the same setting of the letters.
    bounds = _lettering_bounds(figure)
    np.testing.assert_allclose(bounds, _obj_bounds(obj), atol=2e-3)
    if name == "IoI":
        across = bounds[3] - bounds[1] if end[1] == 0 else bounds[2] - bounds[0]
        # "I" is 700 units of a 1000-unit em tall: the true size, not a box's.
        assert across == pytest.approx(0.7 * LETTER_SIZE, abs=1e-3)
    from glyphway_maker import preview_image
    assert _with_gid(figure, preview_image.FOOTPRINTS_GID) == []


def test_a_glyph_at_rotation_zero_stands_upright(tmp_path, ttf_font, drawn_figures):
    from road_tables import write_roads
    # "一" is one bar across the em, at 350-450 of 1000 units: drawn upright
    # at rotation 0 it is wide and flat and sits on the baseline half the
    # size below the road.
    shp = write_roads(tmp_path / "r.shp", [LineString([(0, 0), (100, 0)])], name=["一"])
    glyphway_maker.preview(shp, tmp_path / "r.png", font_path=ttf_font, style="cartographic",
                           font_size=LETTER_SIZE)
    table = labels.prepared_table(shp, font_path=ttf_font, style="cartographic",
                                  font_size=LETTER_SIZE)[1]
    assert list(table["glyph_rotation_deg"]) == [0.0]
    x0, y0, x1, y1 = _lettering_bounds(drawn_figures[0])
    assert (x1 - x0, y1 - y0) == pytest.approx((0.9 * LETTER_SIZE, 0.1 * LETTER_SIZE))
    assert (y0, y1) == pytest.approx((-0.15 * LETTER_SIZE, -0.05 * LETTER_SIZE))


@pytest.mark.parametrize("style", ["interval", "cartographic"])
def test_footprints_come_back_when_asked(roads, tmp_path, ttf_font, drawn_figures, style):
    from glyphway_maker import preview_image
    shp, _ = roads
    options = dict(font_path=ttf_font, style=style, **OPTIONS)
    glyphway_maker.preview(shp, tmp_path / "a.png", **options)
    glyphway_maker.preview(shp, tmp_path / "b.png", footprints=True, **options)
    assert cli.main(["preview", shp, str(tmp_path / "c.png"), "--font", ttf_font,
                     "--style", style, "--font-size", "12", "--letter-spacing", "1",
                     "--distance-interval", "150", "--density", "dense", "--footprints"]) == 0
    table = labels.prepared_table(shp, **options)[1]
    boxes = len(table["glyph_corners" if style == "cartographic" else "corners"])
    plain, boxed, by_command = drawn_figures
    assert _with_gid(plain, preview_image.FOOTPRINTS_GID) == []
    for figure in (boxed, by_command):
        (footprints,) = _with_gid(figure, preview_image.FOOTPRINTS_GID)
        assert len(footprints.get_paths()) == boxes > 0
        # Under the text, which is still drawn.
        (glyphs,) = _with_gid(figure, preview_image.GLYPHS_GID)
        assert footprints.get_zorder() < glyphs.get_zorder()
