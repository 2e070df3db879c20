"""The sources a user starts from: OpenStreetMap (.osm, .osm.pbf), sources of
several layers, GeoParquet, and name chains, through the package as a user
calls it."""
import shutil
import subprocess
import warnings

import geopandas as gpd
import numpy as np
import pytest
from shapely.geometry import LineString, Point

import glyphway_maker
from glyphway_maker import _sources, cli

# One label per road, in its middle: two roads on the same nodes collide.
ONE_EACH = dict(text_count=1, curved_text=False)

# Lisbon: GDAL's OSM driver takes a node at exactly (0, 0) for a missing one.
BASE_LAT, BASE_LON = 38.7, -9.14
# Ways 0.004 degrees (about 450 m) apart, each 0.01 degrees long. The test
# font draws only a few letters (o x I c e i 中 一), so every name is made of them.
OSM_WAYS = [
    # (tags, latitude): a motorway and a residential street on the same nodes
    ({"highway": "motorway", "name": "ice ice", "name:zh": "中一", "ref": "IcI", "prio": "9"}, 0.0),
    ({"highway": "residential", "name": "oxo", "prio": "1"}, 0.0),
    ({"highway": "secondary", "name": "exce", "name:zh": "一中", "name:en": "ice"}, 0.004),
    ({"highway": "tertiary", "ref": "xix"}, 0.008),
    ({"highway": "footway", "name": "oxi"}, 0.012),
    ({"waterway": "river", "name": "eco"}, 0.016),
]


def _write_osm(path):
    nodes, ways = [], []
    for k, (tags, lat) in enumerate(OSM_WAYS):
        # The first two ways share their nodes.
        first = 1 + 2 * (k if k > 1 else 0)
        if k != 1:
            nodes.append(f'<node id="{first}" version="1" lat="{BASE_LAT + lat}" lon="{BASE_LON}"/>')
            nodes.append(f'<node id="{first + 1}" version="1" lat="{BASE_LAT + lat}" '
                         f'lon="{BASE_LON + 0.01}"/>')
        tag_xml = "".join(f'<tag k="{key}" v="{value}"/>' for key, value in tags.items())
        ways.append(f'<way id="{100 + k}" version="1"><nd ref="{first}"/>'
                    f'<nd ref="{first + 1}"/>{tag_xml}</way>')
    # A building outline: closed, tagged, never a road.
    nodes += [f'<node id="{90 + i}" version="1" lat="{BASE_LAT + 0.02 + dy}" '
              f'lon="{BASE_LON + dx}"/>'
              for i, (dx, dy) in enumerate([(0, 0), (0.003, 0), (0.003, 0.003), (0, 0.003)])]
    ways.append('<way id="200" version="1">' + "".join(f'<nd ref="{r}"/>' for r in
                (90, 91, 92, 93, 90)) + '<tag k="building" v="yes"/><tag k="name" v="ice"/></way>')
    path.write_text('<?xml version="1.0" encoding="UTF-8"?>\n<osm version="0.6">\n'
                    + "\n".join(nodes + ways) + "\n</osm>\n", encoding="utf-8")
    return path


@pytest.fixture(scope="module")
def osm_files(tmp_path_factory):
    folder = tmp_path_factory.mktemp("osm")
    osm = _write_osm(folder / "city.osm")
    files = {"osm": str(osm)}
    if shutil.which("osmium"):
        pbf = folder / "city.osm.pbf"
        subprocess.run(["osmium", "cat", str(osm), "-o", str(pbf), "-O"], check=True,
                       capture_output=True)
        files["pbf"] = str(pbf)
    return files


@pytest.fixture(params=["osm", "pbf"])
def osm_file(request, osm_files):
    if request.param not in osm_files:
        pytest.skip("osmium-tool is not installed")
    return osm_files[request.param]


def _placed_at(path, font, **options):
    """Each label's text and its x in EPSG:3857."""
    frame = glyphway_maker.place_labels(path, font_path=font, **ONE_EACH, **options)
    return sorted(zip(frame["text"], np.round(frame.geometry.x, 3)))


def _texts(path, font, **options):
    return sorted({text for text, _ in _placed_at(path, font, **options)})


def test_openstreetmap_roads_names_and_class_weights(osm_file, ttf_font):
    # Roads only (no footway, river or building); a road with only a ref is
    # not named by it.
    assert _texts(osm_file, ttf_font) == ["exce", "ice ice", "oxo"]
    # A name chain: the first non-empty key; ref only when asked for.
    assert _texts(osm_file, ttf_font, name_field="name:zh,name") == ["oxo", "一中", "中一"]
    assert _texts(osm_file, ttf_font, name_field="name,ref") == ["exce", "ice ice", "oxo", "xix"]
    assert _texts(osm_file, ttf_font, highway="footway") == ["oxi"]
    if osm_file.endswith(".pbf"):
        # A .pbf named without .osm is told from a vector tile by its header.
        bare = shutil.copy(osm_file, osm_file.replace(".osm.pbf", "_bare.pbf"))
        assert _texts(bare, ttf_font) == ["exce", "ice ice", "oxo"]


def test_the_motorway_label_wins_the_collision(osm_file, ttf_font):
    # The motorway and the residential street share their nodes: both labels
    # want the middle, where the secondary's (alone on its road) stands. The
    # class weights keep the motorway's there; the user's own weight tag
    # turns it round.
    by_class = dict(_placed_at(osm_file, ttf_font))
    middle = by_class["exce"]
    assert by_class["ice ice"] == middle and by_class.get("oxo") != middle
    by_tag = dict(_placed_at(osm_file, ttf_font, weight_field="prio"))
    assert by_tag["oxo"] == middle and by_tag.get("ice ice") != middle
    # So does that tag read as the class (a number is the weight itself).
    assert dict(_placed_at(osm_file, ttf_font, class_field="prio")) == by_tag


def test_openstreetmap_names_and_layers_that_are_absent(osm_file, ttf_font, capsys):
    placed = glyphway_maker.place_labels(osm_file, font_path=ttf_font, name_field="nmae")
    assert len(placed) == 0 and "Field 'nmae' NOT FOUND" in capsys.readouterr().out
    with pytest.raises(ValueError, match="no layer 'roads'.*'lines'"):
        glyphway_maker.place_labels(osm_file, font_path=ttf_font, layer="roads")
    with pytest.raises(ValueError, match="names no highway value"):
        glyphway_maker.place_labels(osm_file, font_path=ttf_font, highway=" , ")


def test_openstreetmap_on_the_command_line(osm_file, ttf_font, tmp_path, capsys):
    out = tmp_path / "out.csv"
    assert cli.main(["csv", osm_file, str(out), "--font", ttf_font, "--text-count", "1",
                     "--no-curved-text", "--highway", "motorway,footway"]) == 0
    assert [row.rsplit(",", 1)[1] for row in out.read_text("utf-8-sig").splitlines()[1:]] == [
        "ice ice", "oxi"]
    capsys.readouterr()
    assert cli.main(["csv", osm_file, str(out), "--font", ttf_font, "--layer", "nope"]) == 1
    assert "error: ValueError:" in capsys.readouterr().err


# --- layers, GeoParquet, chains on any source ------------------------------

def _roads_frame():
    lines = [LineString([(0, y), (1000, y)]) for y in (0.0, 400.0, 800.0)]
    return gpd.GeoDataFrame({"name": ["ice", None, "oxo"], "name_zh": [None, "中一", "一"],
                             "weight": [1, 2, 3]}, geometry=lines, crs="EPSG:3857")


@pytest.fixture(scope="module")
def layered(tmp_path_factory):
    folder = tmp_path_factory.mktemp("layers")
    roads = _roads_frame()
    points = gpd.GeoDataFrame({"name": ["xx"]}, geometry=[Point(0, 0)], crs="EPSG:3857")
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        roads.to_file(folder / "roads.shp")
    roads.to_file(folder / "mixed.gpkg", layer="pois")  # the first layer is not the roads
    points.to_file(folder / "mixed.gpkg", layer="pois", mode="w")
    roads.to_file(folder / "mixed.gpkg", layer="streets")
    roads.to_file(folder / "two.gpkg", layer="streets")
    roads.iloc[:1].to_file(folder / "two.gpkg", layer="paths")
    roads.to_parquet(folder / "roads.parquet", write_covering_bbox=True)
    return folder


def _placed(path, font, **options):
    frame = glyphway_maker.place_labels(str(path), font_path=font, **ONE_EACH, **options)
    return list(frame["text"]), np.column_stack([frame.geometry.x, frame.geometry.y])


def test_the_line_layer_and_geoparquet_give_the_shapefile_labels(layered, ttf_font):
    texts, points = _placed(layered / "roads.shp", ttf_font)
    assert texts == ["ice", "oxo"]
    for other in (dict(path=layered / "mixed.gpkg"), dict(path=layered / "two.gpkg",
                                                        layer="streets"),
                  dict(path=layered / "roads.parquet")):
        other_texts, other_points = _placed(font=ttf_font, **other)
        assert other_texts == texts
        np.testing.assert_allclose(other_points, points)
    # A name chain over columns, for any source.
    for path in (layered / "roads.shp", layered / "roads.parquet"):
        assert _placed(path, ttf_font, name_field="name_zh,name")[0] == ["ice", "中一", "一"]


def test_a_layer_that_cannot_be_chosen_is_an_error_listing_the_layers(layered, ttf_font,
                                                                      tmp_path, capsys):
    two = str(layered / "two.gpkg")
    with pytest.raises(ValueError, match=r"several line layers.*'streets' \(LineString\), "
                                         r"'paths' \(LineString\)"):
        glyphway_maker.place_labels(two, font_path=ttf_font)
    with pytest.raises(ValueError, match=r"no layer 'roads'.*'pois' \(Point\)"):
        glyphway_maker.place_labels(str(layered / "mixed.gpkg"), font_path=ttf_font,
                                    layer="roads")
    with pytest.raises(ValueError, match="OpenStreetMap input"):
        glyphway_maker.place_labels(two, font_path=ttf_font, layer="paths", highway="primary")
    assert cli.main(["labels", two, str(tmp_path / "l.gpkg"), "--font", ttf_font]) == 1
    err = capsys.readouterr().err
    assert "two.gpkg has several line layers" in err and "--layer" in err


def test_geoparquet_bbox_read_keeps_to_the_box(layered):
    inside = _sources.read_geoparquet(str(layered / "roads.parquet"), bbox=(-1, 300, 2000, 900))
    assert list(inside["name"].fillna("")) == ["", "oxo"]
