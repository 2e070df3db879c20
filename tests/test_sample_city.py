"""The bundled sample city: present, well-formed, and reproducible from its script."""
import pathlib
import subprocess
import sys

import geopandas as gpd
import pytest
import shapely

import glyphway_maker

ROOT = pathlib.Path(__file__).resolve().parent.parent
SCRIPT = ROOT / "tools" / "make_sample_city.py"
EXTENSIONS = (".shp", ".shx", ".dbf", ".prj", ".cpg")


@pytest.fixture(scope="module")
def city():
    return gpd.read_file(glyphway_maker.sample_data_path())


def test_all_parts_of_the_shapefile_are_shipped():
    shp = pathlib.Path(glyphway_maker.sample_data_path())
    assert shp.name == "sample_city.shp"
    for ext in EXTENSIONS:
        assert shp.with_suffix(ext).is_file(), ext
    assert shp.with_suffix(".cpg").read_text().strip().upper() in ("UTF-8", "UTF8")
    assert sum(shp.with_suffix(ext).stat().st_size for ext in EXTENSIONS) < 2_000_000


def test_roads_names_and_weights(city):
    assert city.crs.to_epsg() == 4326
    assert 2500 <= len(city) <= 3500
    assert list(city.columns) == ["name", "weight", "geometry"]
    assert set(city["weight"]) == {1, 2, 3}
    assert city["name"].map(lambda n: n.isprintable() and len(n) >= 3).all()
    suffixes = {"大道", "路", "街", "巷"}
    assert all(any(n.endswith(s) for s in suffixes) for n in city["name"])
    # Chinese names, including halves of one road named by direction.
    assert all("\u4e00" <= n[0] <= "\u9fff" for n in city["name"])
    assert any(n.endswith(("东路", "西路")) for n in city["name"])
    assert any(n.endswith(("南路", "北路")) for n in city["name"])
    lon, lat = city.geometry.union_all().centroid.coords[0]
    assert 113 < lon < 114 and 22 < lat < 23


def test_geometry_mix(city):
    types = city.geometry.geom_type.value_counts()
    assert set(types.index) == {"LineString", "MultiLineString"}
    assert types["MultiLineString"] >= 20
    assert city.geometry.is_valid.all() and not city.geometry.is_empty.any()
    # Curved streets: some lines are far from straight.
    lines = city.to_crs(32649).geometry
    lines = lines[lines.geom_type == "LineString"]
    chord = lines.map(lambda g: shapely.Point(g.coords[0]).distance(shapely.Point(g.coords[-1])))
    assert ((chord / lines.length) < 0.9).sum() >= 50


def test_roads_split_into_touching_pieces_keep_their_name(city):
    lines = city[city.geometry.geom_type == "LineString"]
    joined = 0
    for _, group in lines.groupby("name"):
        if len(group) < 2:
            continue
        ends = {}
        for g in group.geometry:
            for p in (g.coords[0], g.coords[-1]):
                ends[p] = ends.get(p, 0) + 1
        joined += any(count >= 2 for count in ends.values())
    assert joined >= 100


def test_script_reproduces_the_shipped_files(tmp_path):
    out = tmp_path / "city"
    subprocess.run([sys.executable, str(SCRIPT), str(out)], check=True, capture_output=True)
    shipped = pathlib.Path(glyphway_maker.sample_data_path())
    for ext in EXTENSIONS:
        assert out.with_suffix(ext).read_bytes() == shipped.with_suffix(ext).read_bytes(), ext
