"""_prepare_data and calculate_utm_crs: reading, the working system, sampling and the stages after it."""
import math
import os

import geopandas as gpd
import numpy as np
import pytest
from shapely import LineString, MultiLineString

import glyphway_accel_avx2 as gw
from road_tables import assert_records_equal, reference_prepare, write_roads

LOADING = "[glyphway_maker] Loading Data & CRS Setup..."
SAMPLING = "[glyphway_maker] Sampling along 3D polylines..."
SOLVING = "[glyphway_maker] Solving Collisions via Cython/OpenMP/AVX2..."


def matrices(count):
    return f"[glyphway_maker] Pre-computing Matrices for {count} candidates..."


@pytest.fixture
def flat(make_engine):
    """An engine without curved text: every candidate is kept, nothing is fitted."""
    def make(path, **params):
        params.setdefault("curved_text", False)
        return make_engine(path, **params)
    return make


def prepare(engine, capsys=None):
    labels, crs = engine._prepare_data()
    if capsys is not None:
        capsys.readouterr()
    return labels, crs


# --- calculate_utm_crs ----------------------------------------------------------------

def test_utm_codes_of_the_two_hemispheres(engine):
    assert engine.calculate_utm_crs(116.4, 39.9) == "EPSG:32650"
    assert engine.calculate_utm_crs(151.2, -33.9) == "EPSG:32756"


@pytest.mark.parametrize("lon", [-180.0, -179.999, -6.0, -0.0, 0.0, 3.0, 5.999999999999999, 6.0,
                                 12.0, 174.0, 179.99999999, 3, -180])
@pytest.mark.parametrize("lat", [0.0, -0.0, 45.5, -1e-300, 90, -90])
def test_utm_codes_follow_the_host_formula(engine, lon, lat):
    zone = int((lon + 180) * (1 / 6)) + 1
    code = 32600 + zone if lat >= 0 else 32700 + zone
    got = engine.calculate_utm_crs(lon, lat)
    assert type(got) is str
    assert got == "EPSG:" + str(code)


def test_utm_codes_of_random_longitudes(engine):
    rng = np.random.default_rng(3)
    for lon, lat in zip(rng.uniform(-180, 180, 2000), rng.uniform(-90, 90, 2000)):
        zone = int((lon + 180) * (1 / 6)) + 1
        assert engine.calculate_utm_crs(lon, lat) == f"EPSG:{(32600 if lat >= 0 else 32700) + zone}"


def test_longitude_180_is_the_edge_of_zone_60(engine):
    # Not zone 61: its codes would be the polar stereographic systems.
    assert engine.calculate_utm_crs(180.0, 10.0) == "EPSG:32660"
    assert engine.calculate_utm_crs(180, -10.0) == "EPSG:32760"
    assert engine.calculate_utm_crs(np.nextafter(180.0, 0.0), 0.0) == "EPSG:32660"


@pytest.mark.parametrize("lon, lat", [
    (math.nan, 0.0), (math.inf, 0.0), (-math.inf, 0.0), (116.4, math.nan), (0.0, math.inf),
    (180.000001, 0.0), (-181.0, 0.0), (359.0, 0.0), (1e308, 0.0), (-1e300, 0.0),
    (0.0, 90.5), (0.0, -91.0), (10**400, 0.0),
])
def test_a_centre_off_the_globe_has_no_zone(engine, lon, lat):
    with pytest.raises((ValueError, OverflowError), match="UTM zone|too large") as caught:
        engine.calculate_utm_crs(lon, lat)
    if caught.type is ValueError:
        assert "[-180, 180]" in str(caught.value)


def test_utm_of_non_numeric_values(engine):
    with pytest.raises(TypeError):
        engine.calculate_utm_crs("116.4", 39.9)
    assert engine.calculate_utm_crs(np.float64(116.4), np.int64(-3)) == "EPSG:32750"


def test_method_table_order(engine):
    names = [n for n in type(engine).__dict__ if not n.startswith("__")]
    assert names[names.index("get_mesh_engine") + 1] == "calculate_utm_crs"
    assert names[names.index("calculate_utm_crs") + 1] == "build_tbn_matrix"
    assert names[names.index("apply_autofit") + 1] == "_prepare_data"


# --- progress and the missing name column ---------------------------------------------

def test_progress_lines_in_order(tmp_path, flat, capsys):
    path = write_roads(tmp_path / "r.shp", [LineString([(0, 0), (1200, 0)])], name=["a"])
    labels, crs = flat(path)._prepare_data()
    assert capsys.readouterr().out.splitlines() == [LOADING, SAMPLING, matrices(2), SOLVING]
    assert crs == "EPSG:3857" and len(labels) == 2
    assert type(labels) is list and all(type(l) is dict for l in labels)


def test_progress_goes_through_the_hosts_print(tmp_path, flat, monkeypatch):
    import builtins
    # "o" is in the test font: no warning about missing glyphs joins the lines.
    path = write_roads(tmp_path / "r.shp", [LineString([(0, 0), (100, 0)])], name=["o"])
    seen = []
    monkeypatch.setattr(builtins, "print", lambda *a, **k: seen.append(a))
    flat(path)._prepare_data()
    assert seen == [(LOADING,), (SAMPLING,), (matrices(0),)]


def test_no_candidates_returns_an_empty_list_with_the_system(tmp_path, flat, capsys):
    path = write_roads(tmp_path / "r.shp", [LineString([(0, 0), (100, 0)])], name=["a"])
    assert flat(path)._prepare_data() == ([], "EPSG:3857")
    assert capsys.readouterr().out.splitlines() == [LOADING, SAMPLING, matrices(0)]


def test_missing_name_column_warns_and_returns_nothing(tmp_path, flat, capsys):
    path = write_roads(tmp_path / "r.shp", [LineString([(0, 0), (1200, 0)])], label=["a"])
    assert flat(path, name_field="name")._prepare_data() == ([], None)
    assert capsys.readouterr().out.splitlines() == [
        LOADING, "[glyphway_maker] WARNING: Field 'name' NOT FOUND in shapefile."]


def test_every_call_reads_the_file_again(tmp_path, flat, capsys):
    path = tmp_path / "r.shp"
    write_roads(path, [LineString([(0, 0), (1200, 0)])], name=["a"])
    engine = flat(str(path))
    first, _ = prepare(engine)
    write_roads(path, [LineString([(0, 0), (2200, 0)])], name=["b"])
    second, _ = prepare(engine)
    assert [l["text"] for l in first] == ["a", "a"]
    assert [l["text"] for l in second] == ["b"] * 4


def test_read_errors_propagate(tmp_path, flat):
    with pytest.raises(Exception):
        flat(str(tmp_path / "missing.shp"))._prepare_data()


# --- records ------------------------------------------------------------------------------

def test_record_keys_and_values(tmp_path, flat, capsys):
    path = write_roads(tmp_path / "r.shp", [LineString([(0, 0), (1200, 0)])], name=["长安街"],
                       weight=[3])
    labels, _ = prepare(flat(path), capsys)
    assert [l["distance"] for l in labels] == [500.0, 1000.0]
    first = labels[0]
    assert list(first) == ["id", "feature_id", "line_uid", "line_key", "line_start", "line_end",
                           "text", "text_len", "distance", "line", "line_len", "weight", "hidden",
                           "matrix_dirty", "matrix"]
    assert first["id"] == first["feature_id"] == 0 and type(first["id"]) is int
    assert first["line_uid"] == 0 and first["line_key"] == "0:0"
    assert first["line_start"].dtype == np.float64 and first["line_start"].tolist() == [0, 0, 0]
    assert first["line_end"].tolist() == [1200.0, 0.0, 0.0]
    # The records of one line share its end point arrays.
    assert labels[1]["line_start"] is first["line_start"]
    assert first["text"] == "长安街" and first["text_len"] == 3
    assert isinstance(first["line"], LineString) and first["line"].equals(LineString([(0, 0), (1200, 0)]))
    assert first["line_len"] == 1200.0
    assert first["weight"] == 3 and type(first["weight"]) is int
    assert first["hidden"] is False and first["matrix_dirty"] is False
    assert first["matrix"].shape == (4, 4) and first["matrix"].dtype == np.float64
    np.testing.assert_array_equal(first["matrix"][:3, 3], [500.0, 0.0, 0.0])


def test_interval_count_and_endpoints(tmp_path, flat, capsys):
    path = write_roads(tmp_path / "r.shp", [LineString([(0, 0), (1200, 0)])], name=["a"])
    distances = lambda **p: [l["distance"] for l in prepare(flat(path, **p), capsys)[0]]
    assert distances(distance_interval=500.0) == [500.0, 1000.0]
    assert distances(distance_interval=500) == [500.0, 1000.0]
    assert distances(distance_interval=500.0, add_at_endpoints=True) == [0.0, 500.0, 1000.0, 1200.0]
    assert distances(text_count=3) == [300.0, 600.0, 900.0]
    assert distances(text_count=3, add_at_endpoints=True) == [0.0, 300.0, 600.0, 900.0, 1200.0]
    assert distances(text_count=0, distance_interval=400.0) == [400.0, 800.0, 1200.0]
    assert distances(text_count=-2, distance_interval=1300.0) == []
    assert distances(distance_interval=1300.0, add_at_endpoints=True) == [0.0, 1200.0]


def test_multi_part_features(tmp_path, flat, capsys):
    parts = [[(0, 0), (600, 0)], [(0, 1000), (0, 2200)]]
    path = write_roads(tmp_path / "r.shp",
                       [LineString([(0, -5000), (600, -5000)]), MultiLineString(parts)],
                       name=["a", "b"])
    labels, _ = prepare(flat(path), capsys)
    multi = [l for l in labels if l["text"] == "b"]
    assert [(l["id"], l["line_uid"], l["line_key"]) for l in multi] == [
        (1, 1, "1:1"), (1, 2, "1:2"), (1, 2, "1:2")]
    assert multi[0]["line"].equals(LineString(parts[0]))
    assert multi[1]["line"].equals(LineString(parts[1]))
    assert multi[1]["line"] is multi[2]["line"]
    assert [l["line_uid"] for l in labels if l["text"] == "a"] == [0]


def test_skipped_rows_and_line_numbers(tmp_path, flat, capsys):
    long = lambda y: LineString([(0, y), (600, y)])
    path = write_roads(
        tmp_path / "r.shp",
        [long(0), None, long(2000), long(4000), long(6000), long(8000), long(10000), long(12000),
         long(14000), LineString()],
        name=["a", "x", "None", " nan ", "NaN", "   ", None, "0", "  c,\"q\"  ", "e"])
    labels, _ = prepare(flat(path), capsys)
    assert [(l["id"], l["line_uid"], l["text"]) for l in labels] == [
        (0, 0, "a"), (7, 1, "0"), (8, 2, "c,\"q\"")]


def test_weights(tmp_path, flat, capsys):
    line = lambda y: LineString([(0, y), (600, y)])
    path = write_roads(tmp_path / "r.shp", [line(0), line(2000), line(4000), line(6000)],
                       name=["a", "b", "c", "d"], weight=[0.5, None, 3.0, 1.0])
    labels, _ = prepare(flat(path), capsys)
    assert [l["weight"] for l in labels] == [1, 1, 3.0, 1]
    assert [type(l["weight"]) for l in labels] == [int, int, float, int]
    labels, _ = prepare(flat(path, weight_field="no_such_column"), capsys)
    assert [l["weight"] for l in labels] == [1, 1, 1, 1]


def test_text_weights_raise(tmp_path, flat, capsys):
    path = write_roads(tmp_path / "r.shp", [LineString([(0, 0), (600, 0)])], name=["a"],
                       weight=["3"])
    with pytest.raises(TypeError):
        flat(path)._prepare_data()
    # A row that is skipped for its name never compares its weight.
    path = write_roads(tmp_path / "s.shp", [LineString([(0, 0), (600, 0)])], name=["nan"],
                       weight=["3"])
    assert prepare(flat(path), capsys)[0] == []


def test_three_dimensional_lines(tmp_path, flat, capsys):
    path = write_roads(tmp_path / "r.shp", [LineString([(0, 0, 5), (600, 0, 7)])], name=["a"])
    (label,), _ = prepare(flat(path), capsys)
    assert label["line"].has_z
    assert label["line_start"].tolist() == [0, 0, 5] and label["line_end"].tolist() == [600, 0, 7]
    assert label["matrix"][2, 3] == pytest.approx(5.0 + 2.0 * 500 / 600)


# --- coordinate systems -------------------------------------------------------------------

def test_geographic_input_is_projected_to_web_mercator(tmp_path, flat, capsys):
    line = LineString([(116.30, 39.90), (116.32, 39.91)])
    path = write_roads(tmp_path / "r.shp", [line], crs="EPSG:4326", name=["a"])
    labels, crs = prepare(flat(path), capsys)
    assert crs == "EPSG:3857"
    projected = gpd.GeoSeries([line], crs="EPSG:4326").to_crs("EPSG:3857")[0]
    assert labels[0]["line"].equals_exact(projected, 0.0)
    assert labels[0]["line_len"] == projected.length


def test_utm_around_the_centroid(tmp_path, flat, capsys):
    lines = [LineString([(116.30, 39.90), (116.32, 39.91)]), LineString([(116.5, 40.0), (116.6, 40.0)])]
    path = write_roads(tmp_path / "r.shp", lines, crs="EPSG:4326", name=["a", "b"])
    labels, crs = prepare(flat(path, use_utm=True), capsys)
    assert crs == "EPSG:32650"
    projected = gpd.GeoSeries(lines, crs="EPSG:4326").to_crs("EPSG:32650")
    assert labels[0]["line"].equals_exact(projected[0], 0.0)
    path = write_roads(tmp_path / "s.shp", [LineString([(151.2, -33.9), (151.21, -33.9)])],
                       crs="EPSG:4326", name=["a"])
    assert prepare(flat(path, use_utm=True), capsys)[1] == "EPSG:32756"


def test_data_already_in_the_working_system_is_not_reprojected(tmp_path, flat, capsys, monkeypatch):
    path = write_roads(tmp_path / "r.shp", [LineString([(0, 0), (1200, 0)])], name=["a"])
    calls = []
    for cls in (gpd.GeoSeries, gpd.GeoDataFrame):
        original = cls.to_crs
        monkeypatch.setattr(cls, "to_crs",
                            lambda self, *a, _o=original, **k: (calls.append(a), _o(self, *a, **k))[1])
    labels, crs = prepare(flat(path), capsys)
    assert calls == [] and crs == "EPSG:3857" and len(labels) == 2


# --- mends ----------------------------------------------------------------------------------

@pytest.mark.parametrize("interval", [0, 0.0, -500.0, math.nan, math.inf, -math.inf])
@pytest.mark.parametrize("count", [None, 0, -1])
def test_unusable_interval_is_refused_before_reading(tmp_path, flat, capsys, interval, count):
    engine = flat(str(tmp_path / "never_read.shp"), distance_interval=interval, text_count=count)
    with pytest.raises(ValueError, match="distance_interval"):
        engine._prepare_data()
    assert capsys.readouterr().out == ""


def test_interval_is_unused_with_a_count(tmp_path, flat, capsys):
    path = write_roads(tmp_path / "r.shp", [LineString([(0, 0), (1200, 0)])], name=["a"])
    labels, _ = prepare(flat(path, distance_interval=0.0, text_count=1), capsys)
    assert [l["distance"] for l in labels] == [600.0]


def test_absurd_candidate_counts_are_refused(tmp_path, flat, capsys):
    path = write_roads(tmp_path / "r.shp", [LineString([(0, 0), (1200, 0)])], name=["a"])
    with pytest.raises(ValueError, match="distance_interval"):
        flat(path, distance_interval=1e-6)._prepare_data()
    with pytest.raises(ValueError, match="text_count"):
        flat(path, text_count=10**12)._prepare_data()
    with pytest.raises(TypeError):
        flat(path, text_count=2.5)._prepare_data()
    with pytest.raises(TypeError):
        flat(path, distance_interval="500")._prepare_data()


@pytest.mark.filterwarnings("ignore:invalid value encountered:RuntimeWarning")
def test_non_finite_coordinates_yield_no_candidates(tmp_path, flat, capsys, monkeypatch):
    # A latitude beyond the pole has no Web Mercator y: the projected line
    # holds an infinite coordinate.
    path = write_roads(tmp_path / "r.shp",
                       [LineString([(0, 80), (0, 91)]), LineString([(0, 10), (0, 11)])],
                       crs="EPSG:4326", name=["a", "b"])
    labels, _ = prepare(flat(path), capsys)
    assert {(l["text"], l["line_uid"]) for l in labels} == {("b", 1)}
    # NaN coordinates and empty lines (not writable to a shapefile, so handed
    # over as a table).
    table = gpd.GeoDataFrame(
        {"name": ["a", "b", "c", "d"]},
        geometry=[LineString([(0, 0), (np.nan, 5), (1200, 0)]), LineString(),
                  MultiLineString([[(0, 0), (0, np.nan)], [(0, 3000), (1200, 3000)]]),
                  LineString([(0, 6000), (1200, 6000)])],
        crs="EPSG:3857")
    monkeypatch.setattr(gpd, "read_file", lambda path: table.copy())
    for params in ({}, {"add_at_endpoints": True}, {"text_count": 2}):
        labels, _ = prepare(flat("table.shp", **params), capsys)
        # Dropped at the read: the line holding NaN, and the part of "c"
        # that does; "c" keeps its good part.
        assert sorted({(l["text"], l["line_uid"]) for l in labels}) == [("c", 1), ("d", 2)]


def test_tables_without_candidates(flat, capsys, monkeypatch):
    for table in (gpd.GeoDataFrame({"name": []}, geometry=[], crs="EPSG:3857"),
                  gpd.GeoDataFrame({"name": ["a"]}, geometry=[None], crs="EPSG:3857")):
        monkeypatch.setattr(gpd, "read_file", lambda path, t=table: t.copy())
        for curved in (False, True):
            assert prepare(flat("table.shp", curved_text=curved), capsys) == ([], "EPSG:3857")
    monkeypatch.setattr(gpd, "read_file",
                        lambda path: gpd.GeoDataFrame({"name": []}, geometry=[], crs="EPSG:4326"))
    with pytest.raises(Exception, match="getX"):  # an empty table has no centre
        flat("table.shp", use_utm=True)._prepare_data()


def test_index_labels_name_the_features(flat, capsys, monkeypatch):
    line = LineString([(0, 0), (600, 0)])
    table = gpd.GeoDataFrame({"name": ["a", "b"]}, geometry=[line, line], crs="EPSG:3857",
                             index=[10, 20])
    monkeypatch.setattr(gpd, "read_file", lambda path: table.copy())
    labels, _ = prepare(flat("table.shp"), capsys)
    assert [(l["id"], l["feature_id"], l["line_key"]) for l in labels] == [
        (10, 10, "10:0"), (20, 20, "20:1")]


# --- against the plain steps ------------------------------------------------------------------

def _mixed_roads(tmp_path, crs="EPSG:3857", **columns):
    rng = np.random.default_rng(7)
    geometries = []
    for i in range(40):
        x0, y0 = rng.uniform(0, 20000, 2)
        pts = np.cumsum(rng.uniform(-400, 400, (int(rng.integers(2, 6)), 2)), axis=0) + (x0, y0)
        if i % 7 == 3:
            geometries.append(MultiLineString([pts, pts[::-1] + (150, 150)]))
        elif i % 11 == 5:
            geometries.append(None)
        else:
            geometries.append(LineString(pts))
    names = ["长安街", "Main St", "none", "", "0", "A,\"B\"", "  nan", "Ring Rd", "x", "长安街"]
    columns.setdefault("name", [names[i % len(names)] for i in range(40)])
    columns.setdefault("weight", [[0.5, None, 3.0, 7.25, 1.0][i % 5] for i in range(40)])
    return write_roads(tmp_path / "mixed.shp", geometries, crs=crs, **columns)


@pytest.mark.parametrize("params", [
    dict(curved_text=False),
    dict(curved_text=False, add_at_endpoints=True, distance_interval=150.0),
    dict(curved_text=False, text_count=4, posture="upright"),
    dict(curved_text=True),
    dict(curved_text=True, distance_interval=120.5, font_size=30.0, density="dense"),
    dict(curved_text=True, auto_fit_text=False, repeat_mode="feature", add_at_endpoints=True),
    dict(curved_text=True, text_count=5, repeat_mode="name", overflow_strategy="shrink",
         max_global_iterations=2),
])
def test_records_equal_the_plain_steps(tmp_path, make_engine, capsys, params):
    path = _mixed_roads(tmp_path)
    got, got_crs = make_engine(path, **params)._prepare_data()
    got_out = capsys.readouterr().out
    want, want_crs = reference_prepare(make_engine(path, **params))
    assert capsys.readouterr().out == got_out
    assert got_crs == want_crs
    assert len(got) > 0
    assert_records_equal(got, want)


@pytest.mark.parametrize("columns", [
    dict(name=[12, 0, 3, 4] * 10, weight=[0.5, 2.5, 3.0, 9.0] * 10),   # int names, float weights
    dict(name=[1.5, 2.0, 0.0, 7.25] * 10, weight=[1, 2, 3, 4] * 10),   # float names, int weights
    dict(name=[True, False] * 20, weight=[2] * 40),                    # bool names
    dict(name=["a", None, "b", "c"] * 10, weight=[2.0, None, 5.0, 0.0] * 10),  # missing values
])
def test_column_types_as_iterrows_gives_them(tmp_path, make_engine, capsys, columns):
    path = _mixed_roads(tmp_path, **columns)
    got, _ = make_engine(path, curved_text=False)._prepare_data()
    want, _ = reference_prepare(make_engine(path, curved_text=False))
    capsys.readouterr()
    assert len(got) > 0
    assert_records_equal(got, want)


def test_int_names_read_as_iterrows_reads_them(tmp_path, flat, capsys):
    path = write_roads(tmp_path / "r.shp", [LineString([(0, 0), (600, 0)])], name=[12],
                       weight=[0.5])
    (label,), _ = prepare(flat(path), capsys)
    (_, row), = gpd.read_file(path).iterrows()
    assert label["text"] == str(row.get("name")).strip()


def test_utm_records_equal_the_plain_steps(tmp_path, make_engine, capsys):
    path = write_roads(tmp_path / "r.shp",
                       [LineString([(116.30, 39.90), (116.32, 39.91)]),
                        MultiLineString([[(116.33, 39.92), (116.35, 39.93)],
                                         [(116.35, 39.93), (116.36, 39.95)]])],
                       crs="EPSG:4326", name=["a", "b"])
    got, crs = make_engine(path, use_utm=True)._prepare_data()
    want, want_crs = reference_prepare(make_engine(path, use_utm=True))
    capsys.readouterr()
    assert crs == want_crs == "EPSG:32650"
    assert_records_equal(got, want)


# --- real data --------------------------------------------------------------------------------

_DATA = "/work/shared/data"


@pytest.mark.skipif(not os.path.isdir(_DATA), reason="real road data not available")
@pytest.mark.parametrize("params", [dict(curved_text=False), dict(curved_text=True)])
def test_manhattan_roads(make_engine, capsys, params):
    path = os.path.join(_DATA, "manhattan_tiger", "tl_2021_36061_roads.shp")
    engine = make_engine(path, name_field="FULLNAME", weight_field="none", use_utm=True,
                         distance_interval=200.0, **params)
    labels, crs = engine._prepare_data()
    assert crs == "EPSG:32618"
    assert len(labels) > 50
    for l in labels:
        assert l["text"] and l["text"] == l["text"].strip() and l["text"].lower() not in ("none", "nan")
        assert 0.0 <= l["distance"] <= l["line_len"] + 1e-3 or l["hidden"]
        assert np.isfinite(l["matrix"]).all()
        assert l["line_key"] == f"{l['id']}:{l['line_uid']}"
    want, _ = reference_prepare(make_engine(path, name_field="FULLNAME", weight_field="none",
                                            use_utm=True, distance_interval=200.0, **params))
    capsys.readouterr()
    assert_records_equal(labels, want)
