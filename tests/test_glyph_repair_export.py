"""An OBJ export of names whose glyphs GEOS cannot fold as they are: every
character is still drawn and the file is written."""
from pathlib import Path

import geopandas as gpd
import pytest
from shapely.geometry import LineString

import glyphway_accel_avx2 as gw
from font_factory import _rect, build_font, draw_bowtie, draw_mixed
from glyphway_maker import cli

pytestmark = pytest.mark.skipif(
    not all(hasattr(gw._RoadTessaraEngine, m) for m in ("_prepare_data", "export_obj")),
    reason="the engine's data preparation and exports are not built in")

CJK_FONT = Path("/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc")
NAMES = ("诸暨路", "煮河路")


def draw_frame(pen):
    _rect(pen, 100, 0, 900, 800, clockwise=True)
    _rect(pen, 300, 200, 700, 600, clockwise=False)


@pytest.fixture(scope="module")
def crossing_font(tmp_path_factory):
    """诸 and 河 cross themselves and overlap, 暨 and 煮 are bow-ties, 路 is a frame."""
    extra = {ord("诸"): draw_mixed, ord("河"): draw_mixed, ord("暨"): draw_bowtie, ord("煮"): draw_bowtie,
             ord("路"): draw_frame}
    return str(build_font(tmp_path_factory.mktemp("fonts") / "crossing.ttf", "ttf", extra))


@pytest.fixture(scope="module")
def network(tmp_path_factory):
    # Two roads of about 1.5 km, far apart, so both names fit whole.
    lines = [LineString([(120.20, 30.20), (120.215, 30.20)]), LineString([(120.20, 30.23), (120.215, 30.23)])]
    frame = gpd.GeoDataFrame({"name": list(NAMES)}, geometry=lines, crs="EPSG:4326")
    path = tmp_path_factory.mktemp("roads") / "roads.shp"
    frame.to_file(path, encoding="UTF-8")
    return str(path)


def objects(obj_text):
    """{object name: vertex count} of an OBJ written with separate objects."""
    counts, name = {}, None
    for line in obj_text.splitlines():
        if line.startswith("o "):
            name = line[2:]
            counts[name] = 0
        elif line.startswith("v ") and name is not None:
            counts[name] += 1
    return counts


def export_and_check(font, network, out, capsys, extra_args=(), size=15.0):
    assert cli.main(["obj", network, str(out), "--use-utm", "--font", font, "--no-auto-fit",
                     "--font-size", str(size), *extra_args]) == 0
    captured = capsys.readouterr()
    assert "WARNING" not in captured.out + captured.err
    counts = objects(out.read_text(encoding="utf-8"))
    drawn = {name.rsplit("_", 1)[0] for name in counts}
    assert drawn == set(NAMES)
    engine = gw._TextMeshEngine(font, size, 2.0, 0.0)
    for name, n in counts.items():
        glyphs = engine.generate_glyph_meshes(name.rsplit("_", 1)[0])
        assert all(g["verts"] is not None for g in glyphs), name
        if "--no-curved-text" not in extra_args:
            # Glyph by glyph: the object is every character's mesh.
            assert n == sum(len(g["verts"]) for g in glyphs), name
        else:
            assert n == len(engine.generate_mesh(name.rsplit("_", 1)[0])[0]), name


@pytest.mark.parametrize("layout", [(), ("--no-curved-text",)])
def test_names_with_crossing_glyphs_export(crossing_font, network, tmp_path, capsys, layout):
    export_and_check(crossing_font, network, tmp_path / "roads.obj", capsys, layout)


# 煮 crosses itself once flattened at size 15, 诸 and 煮 at size 30.
@pytest.mark.skipif(not CJK_FONT.is_file(), reason="Noto Sans CJK is not installed")
@pytest.mark.parametrize("size", [15.0, 30.0])
@pytest.mark.parametrize("layout", [(), ("--no-curved-text",)])
def test_names_with_crossing_cjk_glyphs_export(network, tmp_path, capsys, layout, size):
    export_and_check(str(CJK_FONT), network, tmp_path / "roads.obj", capsys, layout, size)


def test_a_glyph_that_cannot_be_built_warns_once_and_the_file_is_written(tmp_path, capsys):
    # At size 1e307 the 30,000-unit square is past the largest double.
    font = str(build_font(tmp_path / "huge.ttf", "ttf", {0xE002: lambda pen: _rect(pen, 0, 0, 30000, 30000)}))
    lines = [LineString([(120.20, 30.20), (120.215, 30.20)]), LineString([(120.20, 30.23), (120.215, 30.23)])]
    shp = tmp_path / "roads.shp"
    gpd.GeoDataFrame({"name": ["\ue002I", "I\ue002"]}, geometry=lines, crs="EPSG:4326").to_file(
        shp, encoding="UTF-8")
    out = tmp_path / "roads.obj"
    assert cli.main(["obj", str(shp), str(out), "--use-utm", "--font", font, "--no-auto-fit",
                     "--font-size", "1e307"]) == 0
    assert out.read_text(encoding="utf-8").startswith("# 3D Tessara Engine Export\n")
    err = capsys.readouterr().err.splitlines()
    about = [line for line in err if "U+E002" in line]
    assert len(about) == 1 and about[0].startswith("[glyphway_maker] WARNING: the glyph for U+E002 ")
