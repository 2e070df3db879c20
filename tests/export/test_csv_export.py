"""export_csv: the billboard CSV of the visible labels."""
import csv
import io
import math

import numpy as np
import pytest
from pyproj import Transformer
from shapely.geometry import LineString

from writer_reference import reference_csv

WORKING = "EPSG:32650"  # UTM 50N: metres around 117° E


def _rows(path):
    raw = path.read_bytes()
    assert raw.startswith(b"\xef\xbb\xbf")
    return list(csv.reader(io.StringIO(raw.decode("utf-8-sig"), newline="")))


def _export(engine, path, target=None, quaternion=True, both=False, unit="degree", precision=6):
    engine.export_csv(str(path), target, quaternion, both, unit, precision)
    return _rows(path)


@pytest.fixture
def fresh(make_engine):
    return make_engine()


@pytest.fixture
def east_line():
    return LineString([(440000.0, 4400000.0), (440100.0, 4400000.0)])


@pytest.mark.parametrize("quaternion, both, header", [
    (True, True, ["id", "x", "y", "z", "qx", "qy", "qz", "qw", "rot_x", "rot_y", "rot_z", "name"]),
    (False, True, ["id", "x", "y", "z", "qx", "qy", "qz", "qw", "rot_x", "rot_y", "rot_z", "name"]),
    (True, False, ["id", "x", "y", "z", "qx", "qy", "qz", "qw", "name"]),
    (False, False, ["id", "x", "y", "z", "rot_x", "rot_y", "rot_z", "name"]),
])
def test_header_follows_the_two_flags_and_rows_match_it(fresh, prepared, resolved, east_line,
                                                        tmp_path, quaternion, both, header):
    prepared(fresh, [resolved(fresh, "中山路", east_line), resolved(fresh, "Main", east_line, 10.0)], WORKING)
    rows = _export(fresh, tmp_path / "out.csv", quaternion=quaternion, both=both)
    assert rows[0] == header
    assert len(rows) == 3 and all(len(r) == len(header) for r in rows[1:])


def test_label_along_plus_x_has_identity_rotation(fresh, prepared, resolved, east_line, tmp_path):
    prepared(fresh, [resolved(fresh, "a", east_line)], WORKING)
    (_, row) = _export(fresh, tmp_path / "o.csv", both=True, precision=4)
    assert row[:8] == ["0", "440050.000", "4400000.000", "0.000", "0.0000", "0.0000", "0.0000", "1.0000"]
    assert [float(v) for v in row[8:11]] == [0.0, 0.0, 0.0] and row[11] == "a"
    # The pitch is atan2(-r20, ...) of r20 = +0.0: a negative zero, written
    # with its sign as format() writes it.
    assert row[9] == "-0.0000"


def test_label_along_plus_y_turns_ninety_degrees(fresh, prepared, resolved, tmp_path):
    north = LineString([(440000.0, 4400000.0), (440000.0, 4400100.0)])
    prepared(fresh, [resolved(fresh, "b", north)], WORKING)
    (_, row) = _export(fresh, tmp_path / "o.csv", both=True, precision=6)
    q = [float(v) for v in row[4:8]]
    assert q == pytest.approx([0.0, 0.0, math.sin(math.pi / 4), math.cos(math.pi / 4)], abs=1e-6)
    assert float(row[10]) == pytest.approx(90.0, abs=1e-4)
    (_, row) = _export(fresh, tmp_path / "r.csv", both=True, unit="radian", precision=6)
    assert float(row[10]) == pytest.approx(math.pi / 2, abs=1e-6)


@pytest.mark.parametrize("unit, degrees", [("degree", True), ("Degree", True), ("DEGREE", True),
                                           ("radian", False), ("degrees", False), ("", False)])
def test_angle_unit_is_degrees_only_for_degree_in_any_case(fresh, prepared, resolved, tmp_path, unit,
                                                           degrees):
    north = LineString([(440000.0, 4400000.0), (440000.0, 4400100.0)])
    prepared(fresh, [resolved(fresh, "b", north)], WORKING)
    (_, row) = _export(fresh, tmp_path / "o.csv", quaternion=False, unit=unit, precision=5)
    assert row[6] == ("90.00000" if degrees else "1.57080")


def test_geographic_target_writes_seven_decimals(fresh, prepared, resolved, east_line, tmp_path):
    prepared(fresh, [resolved(fresh, "a", east_line)], WORKING)
    (_, row) = _export(fresh, tmp_path / "o.csv", target="EPSG:4326")
    lon, lat = Transformer.from_crs(WORKING, "EPSG:4326", always_xy=True).transform(440050.0, 4400000.0)
    assert row[1] == format(lon, ".7f") and row[2] == format(lat, ".7f")
    assert 116 < float(row[1]) < 118 and 39 < float(row[2]) < 40
    assert row[3] == "0.000"


def test_projected_target_writes_three_decimals(fresh, prepared, resolved, east_line, tmp_path):
    prepared(fresh, [resolved(fresh, "a", east_line)], WORKING)
    (_, row) = _export(fresh, tmp_path / "o.csv", target="EPSG:3857")
    x, y = Transformer.from_crs(WORKING, "EPSG:3857", always_xy=True).transform(440050.0, 4400000.0)
    assert row[1] == format(x, ".3f") and row[2] == format(y, ".3f")


def test_geographic_working_system_without_target_writes_seven_decimals(fresh, prepared, resolved,
                                                                         tmp_path):
    line = LineString([(116.0, 39.0), (116.001, 39.0)])
    prepared(fresh, [resolved(fresh, "a", line)], "EPSG:4326")
    (_, row) = _export(fresh, tmp_path / "o.csv")
    assert row[1] == format(116.0005, ".7f")


def test_target_equal_to_working_system_builds_no_transformer(fresh, prepared, resolved, east_line,
                                                               tmp_path, monkeypatch):
    import pyproj

    def refuse(*a, **k):
        raise AssertionError("no transformer expected")
    monkeypatch.setattr(pyproj.Transformer, "from_crs", refuse)
    prepared(fresh, [resolved(fresh, "a", east_line)], WORKING)
    (_, row) = _export(fresh, tmp_path / "o.csv", target=WORKING)
    assert row[1] == "440050.000"


def test_all_anchors_are_transformed_in_one_call(fresh, prepared, resolved, east_line, tmp_path,
                                                 monkeypatch):
    import pyproj
    calls = []
    real = pyproj.Transformer.from_crs

    class Counting:
        def __init__(self, inner):
            self.inner = inner

        def transform(self, x, y):
            calls.append(len(x))
            return self.inner.transform(x, y)

    monkeypatch.setattr(pyproj.Transformer, "from_crs", lambda *a, **k: Counting(real(*a, **k)))
    prepared(fresh, [resolved(fresh, "a", east_line, float(d)) for d in range(0, 100, 7)], WORKING)
    rows = _export(fresh, tmp_path / "o.csv", target="EPSG:4326")
    assert calls == [15] and len(rows) == 16


def test_vectorised_transform_equals_scalar_transform():
    rng = np.random.default_rng(4)
    xs = rng.uniform(200000, 800000, 500)
    ys = rng.uniform(0, 9000000, 500)
    for target in ("EPSG:4326", "EPSG:3857"):
        t = Transformer.from_crs(WORKING, target, always_xy=True)
        vx, vy = t.transform(xs, ys)
        for i in range(len(xs)):
            sx, sy = t.transform(xs[i], ys[i])
            assert (vx[i], vy[i]) == (sx, sy)


def test_hidden_labels_leave_no_gap_in_ids(fresh, prepared, resolved, east_line, tmp_path):
    labels = [resolved(fresh, n, east_line, float(10 * i), hidden=(i % 2 == 1))
              for i, n in enumerate("abcde")]
    prepared(fresh, labels, WORKING)
    rows = _export(fresh, tmp_path / "o.csv")
    assert [r[0] for r in rows[1:]] == ["0", "1", "2"]
    assert [r[-1] for r in rows[1:]] == ["a", "c", "e"]


def test_names_are_quoted_like_the_csv_module(fresh, prepared, resolved, east_line, tmp_path):
    names = ['Smith, "Old" Road', "line\nbreak", "中山路", "plain"]
    prepared(fresh, [resolved(fresh, n, east_line) for n in names], WORKING)
    path = tmp_path / "o.csv"
    _export(fresh, path)
    body = path.read_bytes().decode("utf-8-sig")
    assert ',"Smith, ""Old"" Road"\r\n' in body
    assert ',"line\nbreak"\r\n' in body
    assert [r[-1] for r in _rows(path)[1:]] == names


def test_file_has_bom_and_crlf_rows(fresh, prepared, resolved, east_line, tmp_path):
    prepared(fresh, [resolved(fresh, "a", east_line)], WORKING)
    path = tmp_path / "o.csv"
    _export(fresh, path)
    raw = path.read_bytes()
    assert raw.startswith(b"\xef\xbb\xbfid,x,y,z,")
    assert raw.count(b"\r\n") == 2 and raw.endswith(b"\r\n")


def test_dirty_matrix_is_refreshed_and_stored(fresh, prepared, resolved, east_line, tmp_path):
    label = resolved(fresh, "a", east_line, 50.0)
    label["distance"] = 20.0
    label["matrix_dirty"] = True
    prepared(fresh, [label], WORKING)
    (_, row) = _export(fresh, tmp_path / "o.csv")
    assert row[1] == "440020.000"
    assert isinstance(label["matrix"], np.ndarray) and label["matrix"].shape == (4, 4)
    assert np.array_equal(label["matrix"], fresh.build_tbn_matrix(east_line, 20.0))
    assert label["matrix_dirty"] is True


def test_clean_matrix_is_read_as_stored(fresh, prepared, resolved, east_line, tmp_path):
    label = resolved(fresh, "a", east_line, 50.0)
    label["distance"] = 20.0  # not marked dirty: the stored frame stands
    prepared(fresh, [label], WORKING)
    (_, row) = _export(fresh, tmp_path / "o.csv")
    assert row[1] == "440050.000"


def test_progress_lines(fresh, prepared, resolved, east_line, tmp_path, capsys):
    prepared(fresh, [resolved(fresh, "a", east_line)], WORKING)
    path = tmp_path / "o.csv"
    _export(fresh, path)
    assert capsys.readouterr().out.splitlines() == [
        "[glyphway_maker] Calculating Rotations and Projections for Billboard CSV...",
        "[glyphway_maker] Generating Billboard Data and Exporting CSV...",
        f"[glyphway_maker] Finished! Exported to: {path}",
    ]


@pytest.mark.parametrize("labels", [[], None, ()])
def test_no_labels_writes_nothing(fresh, prepared, tmp_path, capsys, labels):
    prepared(fresh, labels, WORKING)
    fresh.export_csv(str(tmp_path / "o.csv"), None, True, False, "degree", 6)
    assert not (tmp_path / "o.csv").exists()
    assert capsys.readouterr().out == ""


def test_only_hidden_labels_write_the_header(fresh, prepared, resolved, east_line, tmp_path):
    prepared(fresh, [resolved(fresh, "a", east_line, hidden=True)], WORKING)
    rows = _export(fresh, tmp_path / "o.csv", precision="not a number")
    assert rows == [["id", "x", "y", "z", "qx", "qy", "qz", "qw", "name"]]


def test_invalid_target_raises_before_writing(fresh, prepared, resolved, east_line, tmp_path):
    from pyproj.exceptions import CRSError
    prepared(fresh, [resolved(fresh, "a", east_line)], WORKING)
    with pytest.raises(CRSError):
        fresh.export_csv(str(tmp_path / "o.csv"), "EPSG:not-a-code", True, False, "degree", 6)
    assert list(tmp_path.iterdir()) == []


def test_missing_folder_raises_file_not_found(fresh, prepared, resolved, east_line, tmp_path):
    prepared(fresh, [resolved(fresh, "a", east_line)], WORKING)
    target = tmp_path / "missing" / "o.csv"
    with pytest.raises(FileNotFoundError) as err:
        fresh.export_csv(str(target), None, True, False, "degree", 6)
    assert err.value.filename == str(target)


def test_failure_leaves_existing_file_untouched(fresh, prepared, resolved, east_line, tmp_path):
    path = tmp_path / "o.csv"
    path.write_bytes(b"previous")
    broken = resolved(fresh, "b", east_line)
    del broken["matrix"]
    prepared(fresh, [resolved(fresh, "a", east_line), broken], WORKING)
    with pytest.raises(KeyError, match="matrix"):
        _export(fresh, path)
    assert path.read_bytes() == b"previous"
    assert [p.name for p in tmp_path.iterdir()] == ["o.csv"]


def test_existing_file_is_replaced(fresh, prepared, resolved, east_line, tmp_path):
    path = tmp_path / "o.csv"
    path.write_bytes(b"previous" * 1000)
    prepared(fresh, [resolved(fresh, "a", east_line)], WORKING)
    assert len(_export(fresh, path)) == 2
    assert [p.name for p in tmp_path.iterdir()] == ["o.csv"]


@pytest.mark.parametrize("target, quaternion, both, unit, precision", [
    (None, True, False, "degree", 6),
    ("EPSG:4326", False, True, "Degree", 4),
    ("EPSG:3857", False, False, "radian", 9),
    (WORKING, True, True, "rad", 0),
])
def test_bytes_match_host_reference(make_engine, prepared, random_labels, tmp_path, target, quaternion,
                                    both, unit, precision):
    for posture in ("flat", "upright"):
        eng = make_engine(posture=posture)
        labels = random_labels(eng, n=12, seed=precision)
        labels[3]["hidden"] = True
        labels[5]["matrix_dirty"] = True
        labels[5]["distance"] = labels[5]["line_len"] * 0.25
        labels[7]["text"] = 'quote "q", comma'
        want = reference_csv(eng, labels, WORKING, target, quaternion, both, unit, precision)
        prepared(eng, labels, WORKING)
        path = tmp_path / f"{posture}.csv"
        eng.export_csv(str(path), target, quaternion, both, unit, precision)
        assert path.read_bytes() == want
