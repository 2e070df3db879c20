"""The run's first steps as the pipeline takes them through the engine as its
host: the working system chosen from the roads and the progress around it,
on both ways of reading the table."""

import geopandas as gpd
import pytest
from shapely.geometry import LineString

from road_tables import write_roads

LOADING = "[glyphway_maker] Loading Data & CRS Setup..."
SAMPLING = "[glyphway_maker] Sampling along 3D polylines..."


@pytest.fixture(params=["direct", "geopandas"])
def read_way(request, monkeypatch):
    """Runs each test on the short read and on geopandas.read_file."""
    if request.param == "geopandas":
        original = gpd.read_file
        monkeypatch.setattr(gpd, "read_file", lambda path, **kw: original(path, **kw))
    return request.param


def test_a_centre_off_the_globe_has_no_utm_zone(tmp_path, make_engine, read_way, capsys):
    # Degrees by their CRS, but projected numbers: the centre is no place.
    path = write_roads(tmp_path / "r.shp", [LineString([(1000.0, 5.0), (1002.0, 5.0)])],
                       crs="EPSG:4326", name=["a"])
    engine = make_engine(path, use_utm=True)
    with pytest.raises(ValueError, match=r"^no UTM zone for longitude 1001\.0, latitude 5\.0: "):
        engine._prepare_data()
    assert capsys.readouterr().out.splitlines() == [LOADING]


def test_the_utm_zone_is_that_of_the_roads_centroid(tmp_path, make_engine, read_way, capsys):
    # Two roads far apart: the zone is the one around the centre of both,
    # not around either road.
    lines = [LineString([(100.0, 10.0), (100.01, 10.0)]), LineString([(112.0, 10.0), (112.01, 10.0)])]
    path = write_roads(tmp_path / "r.shp", lines, crs="EPSG:4326", name=["a", "b"])
    labels, crs = make_engine(path, use_utm=True, curved_text=False)._prepare_data()
    assert crs == "EPSG:32648"  # around 106 E; the roads lie in zones 47 and 49
    assert capsys.readouterr().out.splitlines()[:2] == [LOADING, SAMPLING]


def test_a_name_field_that_is_no_text_fails_at_the_warning(tmp_path, make_engine, read_way,
                                                            capsys):
    path = write_roads(tmp_path / "r.shp", [LineString([(0, 0), (1200, 0)])], label=["a"])
    engine = make_engine(path, name_field=7)
    with pytest.raises(TypeError, match="can only concatenate str"):
        engine._prepare_data()
    assert capsys.readouterr().out.splitlines() == [LOADING]
