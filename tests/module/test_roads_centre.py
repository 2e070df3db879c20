"""The roads' centre for the UTM zone, taken tile by tile, against the centroid
of shapely.union_all of every line at once (what the zone was always chosen
from). Small tiles (tile_lines) force many of them, so lines cross, overlap
and run along their edges."""
import pathlib

import numpy as np
import pyogrio
import pyproj
import pytest
import shapely
from shapely.geometry import LineString, MultiLineString

import glyphway_accel_avx2 as gw

DATA = pathlib.Path("/work/shared/data")


def whole_centre(geometries):
    centre = shapely.union_all(np.asarray(geometries, dtype=object)).centroid
    return centre.x, centre.y


def tiled_centre(geometries, tile_lines, crs="EPSG:4326"):
    return gw._union_centre(shapely.to_wkb(np.asarray(geometries, dtype=object)), crs, tile_lines)


def assert_same_centre(geometries, tile_lines):
    got = tiled_centre(geometries, tile_lines)
    assert got is not None
    assert got == pytest.approx(whole_centre(geometries), rel=0, abs=1e-9)


# 112 is a multiple of 16, so x = 112 is an edge of every tile at most 16
# degrees wide; the quadtree's edges are multiples of powers of two.
@pytest.mark.parametrize("tile_lines", [1, 2, 5, 1000])
@pytest.mark.parametrize("case", [
    "duplicates across an edge", "overlaps across an edge", "along an edge", "spanning many",
    "backtracking", "continuing straight"])
def test_the_tiled_centre_is_the_whole_unions(case, tile_lines):
    crossing = LineString([(111.5, 22.0), (112.5, 22.3)])
    short = [LineString([(111.0 + 0.1 * k, 21.0), (111.05 + 0.1 * k, 21.02)]) for k in range(20)]
    lines = {
        # The same line three times, one of them reversed, over x = 112.
        "duplicates across an edge": [crossing, crossing, crossing.reverse()] + short,
        # Collinear pieces overlapping in part, some with ends on the edge.
        "overlaps across an edge": [LineString([(111.0, 22.0), (113.0, 22.0)]),
                                    LineString([(111.5, 22.0), (112.0, 22.0)]),
                                    LineString([(112.0, 22.0), (112.7, 22.0)]),
                                    LineString([(112.5, 22.0), (114.0, 22.0), (114.0, 23.0)])] + short,
        # On the edge x = 112 and along y = 24 (also an edge), twice, and crossed.
        "along an edge": [LineString([(112.0, 21.0), (112.0, 23.0)]),
                          LineString([(112.0, 22.5), (112.0, 24.0), (113.0, 24.0)]),
                          LineString([(112.0, 24.0), (112.5, 24.0)]), crossing] + short,
        # Long diagonals through many small tiles, and a long overlap.
        "spanning many": [LineString([(100.0, 10.0), (120.0, 30.0)]),
                          LineString([(105.0, 15.0), (115.0, 25.0)]),
                          LineString([(120.0, 10.0), (100.0, 30.0)])] + short,
        # A line that goes back over itself.
        "backtracking": [LineString([(111.0, 22.0), (112.5, 22.0), (111.8, 22.0), (111.8, 23.0)])]
                        + short,
        # Pieces meeting end to end in a straight run: nothing to unite.
        "continuing straight": [LineString([(111.0 + 0.25 * k, 22.0), (111.25 + 0.25 * k, 22.0)])
                                for k in range(8)] + short,
    }[case]
    assert_same_centre(lines, tile_lines)


def test_random_lattice_networks():
    # Segments between points of a coarse lattice overlap and coincide often,
    # in every direction; multi-part rows and repeated vertices among them.
    rng = np.random.default_rng(7)
    for trial in range(12):
        rows = []
        for _ in range(int(rng.integers(5, 60))):
            parts = []
            for _ in range(int(rng.integers(1, 3))):
                points = rng.integers(0, 9, size=(int(rng.integers(2, 6)), 2)) * 0.125
                points = np.repeat(points, rng.integers(1, 3, size=len(points)), axis=0)
                parts.append(points + [113.0, 22.0])
            rows.append(LineString(parts[0]) if len(parts) == 1 else MultiLineString(parts))
        assert_same_centre(rows, tile_lines=int(rng.integers(1, 8)))


def test_lines_without_length_are_left_to_the_whole_union():
    # The union of a point-like line has no length: its centroid is a
    # point's (or none), which the tiled sums do not give.
    assert tiled_centre([LineString([(113.0, 22.0), (113.0, 22.0)])], 10) is None
    assert tiled_centre([LineString([(1000.0, 5.0), (1002.0, 5.0)])], 10) is None  # off the quadtree


def test_a_projected_table_is_moved_into_degrees_first():
    lines = [LineString([(500000.0, 2500000.0), (501000.0, 2501500.0)]),
             LineString([(500500.0, 2500000.0), (500500.0, 2503000.0)])]
    geographic = shapely.transform(np.asarray(lines, dtype=object), lambda xy: np.column_stack(
        pyproj.Transformer.from_crs("EPSG:32650", "EPSG:4326", always_xy=True).transform(
            xy[:, 0], xy[:, 1])))
    got = tiled_centre(lines, 1, crs="EPSG:32650")
    assert got == pytest.approx(whole_centre(geographic), rel=0, abs=1e-12)


NETWORKS = sorted(DATA.glob("*/*.shp")) + sorted(DATA.glob("*/*/*.shp"))


@pytest.mark.skipif(not NETWORKS, reason="no real networks here")
@pytest.mark.parametrize("path", NETWORKS, ids=lambda p: p.name)
def test_the_zone_of_every_real_network_is_unchanged(path):
    meta, _, wkb, _ = pyogrio.raw.read(path, columns=[], read_geometry=True)
    crs = pyproj.CRS.from_user_input(meta["crs"])
    import geopandas as gpd
    geographic = gpd.GeoSeries(shapely.from_wkb(wkb), crs=crs).to_crs("EPSG:4326").to_numpy()
    lon, lat = whole_centre(geographic)
    got = gw._union_centre(wkb, crs)
    # GEOS's own noding of the whole network rounds otherwise (by up to some
    # 1e-10 degrees on the three-city table); the zone does not move.
    assert got == pytest.approx((lon, lat), rel=0, abs=1e-8)
    engine = gw._RoadTessaraEngine("unused.shp")
    assert engine.calculate_utm_crs(*got) == engine.calculate_utm_crs(lon, lat)
