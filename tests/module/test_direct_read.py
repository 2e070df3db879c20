"""The shapefile read straight from pyogrio (WKB decoded natively, reprojected
in place) keeps exactly the records that GeoPandas' read_file and to_crs give,
and hands to GeoPandas what it cannot read the same way."""
import struct
from pathlib import Path

import geopandas as gpd
import glyphway_maker
import numpy as np
import pyogrio
import pytest
import shapely
from shapely.geometry import LineString, MultiLineString, Polygon

from road_tables import write_roads


@pytest.fixture
def frame_reads(monkeypatch):
    """Counts the reads that build a whole GeoDataFrame."""
    calls = []
    original = pyogrio.read_dataframe

    def counted(*args, **kwargs):
        calls.append(args[0])
        return original(*args, **kwargs)
    monkeypatch.setattr(pyogrio, "read_dataframe", counted)
    return calls


def _plain(value):
    """A record value as something == compares exactly, type included."""
    if isinstance(value, shapely.Geometry):
        return ("geometry", shapely.to_wkb(value, hex=True, output_dimension=3))
    if isinstance(value, np.ndarray):
        return ("array", value.dtype.str, value.shape, value.tobytes())
    return (type(value).__name__, repr(value))


def _records(engine):
    labels, crs = engine._prepare_data()
    return [{k: _plain(v) for k, v in label.items()} for label in labels], str(crs)


def _mixed_roads(path, crs="EPSG:4326", scale=0.001, z=False):
    """Lines, parts, a row without geometry, names missing or blank."""
    def line(*pts):
        return LineString([(x * scale, y * scale, 5.0 + x * 0.01) if z else (x * scale, y * scale)
                           for x, y in pts])
    geometries = [
        line((0, 0), (900, 0), (1800, 300)),
        MultiLineString([line((0, 500), (1400, 500)).coords, line((1400, 500), (1400, 2000)).coords]),
        None,
        line((0, 900), (2000, 900)),
        line((0, 1300), (1600, 1350)),
        line((0, 1700), (1700, 1700)),
    ]
    return write_roads(path, geometries, crs=crs,
                       name=["中山路", "Main St", "无几何", " ", "nan", "长安街"],
                       weight=[1, 4, 2, 9, 1, 3])


TABLES = {
    "geographic": lambda p: _mixed_roads(p),
    "geographic_z": lambda p: _mixed_roads(p, z=True),
    "nad83": lambda p: _mixed_roads(p, crs="EPSG:4269"),
    "already_mercator": lambda p: _mixed_roads(p, crs="EPSG:3857", scale=1.0),
    "utm_z": lambda p: _mixed_roads(p, crs="EPSG:32650", scale=1.0, z=True),
}
SETTINGS = [{}, {"use_utm": True}, {"curved_text": False, "add_at_endpoints": True},
            {"posture": "upright", "density": "dense", "text_count": 3}]


@pytest.mark.parametrize("table", sorted(TABLES))
@pytest.mark.parametrize("settings", SETTINGS, ids=lambda s: ",".join(s) or "defaults")
def test_records_are_those_of_the_geopandas_read(make_engine, tmp_path, through_geopandas,
                                                 frame_reads, table, settings):
    path = TABLES[table](tmp_path / "roads.shp")
    direct = _records(make_engine(path, **settings))
    assert frame_reads == []  # read the short way
    through_geopandas()
    assert direct == _records(make_engine(path, **settings))
    assert frame_reads  # and the long way
    assert direct[0], "the table should give labels"


def test_exports_are_those_of_the_geopandas_read(ttf_font, tmp_path, through_geopandas):
    path = _mixed_roads(tmp_path / "roads.shp")
    runs = [("a", {}), ("b", {"use_utm": True, "posture": "upright"})]

    def export(suffix):
        for name, settings in runs:
            glyphway_maker.generate_csv(path, str(tmp_path / f"{name}{suffix}.csv"),
                                        font_path=ttf_font, **settings)
            glyphway_maker.generate(path, str(tmp_path / f"{name}{suffix}.obj"),
                                    font_path=ttf_font, **settings)
    export("")
    through_geopandas()
    export(".ref")
    for name, _ in runs:
        for ext in ("csv", "obj"):
            assert ((tmp_path / f"{name}.{ext}").read_bytes()
                    == (tmp_path / f"{name}.ref.{ext}").read_bytes())


def test_a_table_of_polygons_has_nothing_to_label(make_engine, tmp_path, through_geopandas):
    path = write_roads(tmp_path / "areas.shp", [Polygon([(0, 0), (900, 0), (900, 900)])],
                       name=["广场"])
    assert make_engine(path)._prepare_data() == ([], "EPSG:3857")


def test_a_geopackage_of_mixed_geometries(make_engine, tmp_path, through_geopandas,
                                          frame_reads):
    # Points and areas beside lines, as a GeoDataFrame handed to place_labels
    # arrives (written to a GeoPackage first).
    frame = gpd.GeoDataFrame(
        {"name": ["中山路", "站", "广场", "Main St"], "weight": [1, 5, 5, 2]},
        geometry=[LineString([(0, 0), (0.02, 0)]), shapely.Point(0.01, 0.01),
                  Polygon([(0, 0), (0.01, 0), (0.01, 0.01)]),
                  MultiLineString([[(0, 0.005), (0.02, 0.005)]])], crs="EPSG:4326")
    path = str(tmp_path / "mixed.gpkg")
    frame.to_file(path, driver="GPKG")
    direct = _records(make_engine(path))
    assert frame_reads == [] and {r["text"][1] for r in direct[0]} == {"'中山路'", "'Main St'"}
    through_geopandas()
    assert direct == _records(make_engine(path))


def test_the_columns_that_hold_names_and_weights(make_engine, tmp_path, through_geopandas):
    # Numbers as names, the weight column being the name column, float weights.
    lines = [LineString([(0, y), (1600, y)]) for y in (0, 400, 800)]
    path = write_roads(tmp_path / "roads.shp", lines, ref=[101, 7, 0], speed=[2.5, 0.5, 80.0])
    cases = [{"name_field": "ref", "weight_field": "speed"},
             {"name_field": "ref", "weight_field": "ref"},
             {"name_field": "ref", "weight_field": "absent"}]
    direct = [_records(make_engine(path, **c)) for c in cases]
    through_geopandas()
    assert direct == [_records(make_engine(path, **c)) for c in cases]


def test_a_missing_name_column_warns_and_reads_nothing(make_engine, tmp_path, frame_reads,
                                                       capsys):
    path = write_roads(tmp_path / "roads.shp", [LineString([(0, 0), (900, 0)])], road=["a"])
    assert make_engine(path)._prepare_data() == ([], None)
    assert "WARNING: Field 'name' NOT FOUND in shapefile." in capsys.readouterr().out
    assert frame_reads == []


def _write_measured_lines(path, lines, names):
    """A PolyLineM shapefile: the .dbf and .prj from the shapefile driver, the
    .shp and .shx by hand (the driver does not write measures from WKB)."""
    write_roads(path, [LineString([(x, y) for x, y, _ in pts]) for pts in lines], name=names)
    records = []
    for pts in lines:
        xs, ys, ms = zip(*pts)
        body = struct.pack("<i4d2i", 23, min(xs), min(ys), max(xs), max(ys), 1, len(pts))
        body += struct.pack("<i", 0)
        body += b"".join(struct.pack("<2d", x, y) for x, y, _ in pts)
        body += struct.pack("<2d", min(ms), max(ms)) + struct.pack(f"<{len(ms)}d", *ms)
        records.append(body)
    all_x = [p[0] for pts in lines for p in pts]
    all_y = [p[1] for pts in lines for p in pts]

    def header(length_bytes):
        return (struct.pack(">7i", 9994, 0, 0, 0, 0, 0, length_bytes // 2)
                + struct.pack("<2i", 1000, 23)
                + struct.pack("<8d", min(all_x), min(all_y), max(all_x), max(all_y), 0, 0, 0, 0))
    shp, shx, offset = b"", b"", 100
    for number, body in enumerate(records, 1):
        shx += struct.pack(">2i", offset // 2, len(body) // 2)
        shp += struct.pack(">2i", number, len(body) // 2) + body
        offset += 8 + len(body)
    Path(path).write_bytes(header(100 + len(shp)) + shp)
    Path(path).with_suffix(".shx").write_bytes(header(100 + len(shx)) + shx)
    return str(path)


def test_measured_lines_are_read_as_plain_lines(make_engine, tmp_path, through_geopandas,
                                               frame_reads):
    path = _write_measured_lines(tmp_path / "measured.shp",
                                 [[(0, 0, 0.0), (1500, 0, 15.0)], [(0, 400, 3.0), (1200, 900, 4.0)]],
                                 ["甲路", "乙路"])
    with pytest.warns(UserWarning, match="Measured") as seen:
        direct = _records(make_engine(path))
    assert frame_reads == [] and direct[0]
    through_geopandas()
    with pytest.warns(UserWarning, match="Measured") as seen_by_geopandas:
        assert direct == _records(make_engine(path))
    assert len(seen) == len(seen_by_geopandas)  # the file's warnings, as GeoPandas gives them


def test_a_table_without_crs_fails_as_in_geopandas(make_engine, tmp_path):
    path = write_roads(tmp_path / "roads.shp", [LineString([(0, 0), (900, 0)])], name=["a"])
    Path(path).with_suffix(".prj").unlink()
    with pytest.raises(ValueError, match="Cannot transform naive geometries"):
        make_engine(path)._prepare_data()


def test_a_replaced_reader_is_what_runs(make_engine, tmp_path, monkeypatch):
    table = gpd.GeoDataFrame({"name": ["a"]}, geometry=[LineString([(0, 0), (1200, 0)])],
                             crs="EPSG:3857", index=[42])
    monkeypatch.setattr(gpd, "read_file", lambda path: table.copy())
    labels, _ = make_engine(str(tmp_path / "not-there.shp"))._prepare_data()
    assert {label["id"] for label in labels} == {42}


def test_lines_of_records_are_shapely_lines_of_the_working_system(make_engine, tmp_path):
    path = _mixed_roads(tmp_path / "roads.shp", z=True)
    labels, crs = make_engine(path)._prepare_data()
    expected = gpd.read_file(path).to_crs(crs)
    lines = {label["line_key"]: label["line"] for label in labels}
    assert lines["0:0"].has_z and lines["0:0"].equals_exact(expected.geometry[0], 0.0)
    assert lines["1:2"].equals_exact(expected.geometry[1].geoms[1], 0.0)
    # Records of one line share its object.
    by_key = [label["line"] for label in labels if label["line_key"] == "0:0"]
    assert all(line is by_key[0] for line in by_key)



@pytest.mark.parametrize("suffix", [".shp", ".gpkg"])
def test_the_read_in_chunks_gives_the_arrays_of_one_read(make_engine, tmp_path, monkeypatch,
                                                         through_geopandas, suffix):
    # Two rows a call (the row without geometry and the multi-part row fall
    # in different chunks), and a count of rows that is no multiple of two.
    from glyphway_maker import _direct_read
    path = _mixed_roads(tmp_path / "roads.shp")
    if suffix == ".gpkg":
        gpkg = str(tmp_path / "roads.gpkg")
        pyogrio.write_dataframe(gpd.read_file(path).iloc[:5], gpkg)
        path = gpkg
    columns = ["name", "weight"]
    one = _direct_read.read_rows(path, columns, seekable=False)
    monkeypatch.setattr(_direct_read, "ROWS_PER_READ", 2)
    chunked = _direct_read.read_rows(path, columns, seekable=True)
    assert repr(chunked[0]) == repr(one[0])  # the layer's description

    def same(a, b):
        numeric = a.dtype.kind in "fiub"
        return a.dtype == b.dtype and (np.array_equal(a, b, equal_nan=a.dtype.kind == "f")
                                       if numeric else a.tolist() == b.tolist())
    assert same(chunked[1], one[1])
    assert len(chunked[2]) == len(one[2])
    assert all(same(a, b) for a, b in zip(chunked[2], one[2]))
    direct = _records(make_engine(path, use_utm=True))
    through_geopandas()
    assert direct == _records(make_engine(path, use_utm=True))
