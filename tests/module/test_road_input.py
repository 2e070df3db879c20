"""The road table as plain arrays (glyphway_maker/_road_input.py): every row's
lines in row order with their own coordinates, column values as the rows of
iterrows hold them, and the records the engine makes of a GeoDataFrame with
every kind of row."""

import geopandas as gpd
import numpy as np
import pytest
import shapely
from hypothesis import given, settings, strategies as st
from shapely.geometry import LinearRing, LineString, MultiLineString, Point, Polygon

from glyphway_maker import _road_input

from road_tables import assert_records_equal, reference_prepare


def _line(k, z=False):
    pts = [(k * 100.0, 0.0), (k * 100.0 + 900.0, 50.0 * k), (k * 100.0 + 1500.0, 700.0)]
    return LineString([(x, y, 3.0 + k) for x, y in pts] if z else pts)


# Every kind of row: what it is, made from a running number.
KINDS = {
    "none": lambda k: None,
    "line": lambda k: _line(k),
    "line_z": lambda k: _line(k, z=True),
    "ring": lambda k: LinearRing([(k, 0), (k + 800, 0), (k + 800, 900)]),
    "multi": lambda k: MultiLineString([_line(k).coords, _line(k + 1).coords]),
    "multi_z": lambda k: MultiLineString([_line(k, True).coords] * 3),
    "multi_empty": lambda k: MultiLineString(),
    "multi_with_empty_part": lambda k: shapely.from_wkt(
        f"MULTILINESTRING (EMPTY, ({k} 0, {k + 1200} 0))"),
    "empty_line": lambda k: LineString(),
    "polygon": lambda k: Polygon([(k, 0), (k + 900, 0), (k + 900, 900)]),
    "point": lambda k: Point(k, k),
}


def _lines_of(geom):
    """The lines a row gives, read the plain way."""
    if isinstance(geom, LineString):
        return [geom]
    if isinstance(geom, MultiLineString):
        return list(geom.geoms)
    return []


@settings(max_examples=60, deadline=None)
@given(st.lists(st.sampled_from(sorted(KINDS)), max_size=30))
def test_every_row_gives_its_lines_in_row_order(kinds):
    geometries = [KINDS[kind](k) for k, kind in enumerate(kinds)]
    lines = _road_input._row_lines(np.array(geometries, dtype=object))
    type_ids, first_line, objects = lines
    want = [_lines_of(g) for g in geometries]
    assert list(type_ids) == [-1 if g is None else shapely.get_type_id(g) for g in geometries]
    assert list(np.diff(first_line)) == [len(w) for w in want]
    assert list(objects) == [line for w in want for line in w]
    # The very objects: a row's own LineString, and its parts.
    for r, geom in enumerate(geometries):
        if isinstance(geom, LineString):
            assert objects[first_line[r]] is geom

    first_point, xyz, has_z = _road_input._coordinates(objects)
    for k, line in enumerate(objects):
        own = shapely.get_coordinates(line, include_z=True)
        assert np.array_equal(xyz[first_point[k]:first_point[k + 1]], own, equal_nan=True)
        assert has_z[k] == line.has_z


def test_a_frame_gives_its_columns_as_its_rows_hold_them():
    frame = gpd.GeoDataFrame(
        {"name": ["a", None, "c"], "ref": [7, 8, 9], "speed": [2.5, np.nan, 0.5]},
        geometry=[_line(0), None, _line(2)], crs="EPSG:3857", index=["x", "y", "x"])
    rows = _road_input.frame_rows(frame, frame.geometry, "ref", "speed")
    for i, (label, row) in enumerate(frame.iterrows()):
        assert rows.columns.labels[i] == label
        for got, want in ((rows.columns.names[i], row.get("ref")),
                          (rows.columns.weights[i], row.get("speed"))):
            assert type(got) is type(want) and (got == want or (got != got and want != want))
    assert _road_input.frame_rows(frame, frame.geometry, "name", "absent").columns.weights is None


def test_a_column_named_twice_is_refused():
    frame = gpd.GeoDataFrame({"name": ["a"], "w": [2]}, geometry=[_line(0)], crs="EPSG:3857")
    frame.columns = ["name", "name", "geometry"]
    with pytest.raises(ValueError, match="the column 'name' is not unique"):
        _road_input.frame_rows(frame, frame.geometry, "name", "w")


@pytest.mark.parametrize("curved", [False, True])
def test_records_of_every_kind_of_row(make_engine, monkeypatch, capsys, curved):
    kinds = sorted(KINDS) * 2
    names = ["中山路", "Main St", " ", None, "nan", "长安街", "Ring Rd"]
    table = gpd.GeoDataFrame(
        {"name": [names[k % len(names)] for k in range(len(kinds))],
         "weight": [[0.5, 3, 2.25, None][k % 4] for k in range(len(kinds))]},
        geometry=[KINDS[kind](k) for k, kind in enumerate(kinds)], crs="EPSG:3857",
        index=[1000 - 7 * k for k in range(len(kinds))])
    monkeypatch.setattr(gpd, "read_file", lambda path: table.copy())
    got, _ = make_engine("table.shp", curved_text=curved)._prepare_data()
    want, _ = reference_prepare(make_engine("table.shp", curved_text=curved))
    capsys.readouterr()
    assert got
    assert_records_equal(got, want)


def test_a_text_weight_raises_only_on_a_road_row(make_engine, monkeypatch, capsys):
    # The weight is compared for rows with a geometry and a name, whatever they give.
    def run(names, geometries):
        table = gpd.GeoDataFrame({"name": names, "weight": ["heavy"] * len(names)},
                                 geometry=geometries, crs="EPSG:3857")
        monkeypatch.setattr(gpd, "read_file", lambda path: table.copy())
        return make_engine("table.shp", curved_text=False)._prepare_data()
    assert run(["a", " ", None], [None, _line(1), _line(2)]) == ([], "EPSG:3857")
    with pytest.raises(TypeError):
        run(["a"], [Point(0, 0)])
    capsys.readouterr()
