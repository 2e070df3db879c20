"""Candidate positions along lines: the host's floor division, even counts and end points."""
import numpy as np
import pytest
from shapely import LineString

from road_tables import assert_records_equal, reference_distances, reference_prepare, write_roads


def _lengths(interval, rng):
    """Line lengths around whole multiples of the interval, where the floor is decided."""
    lengths = []
    for k in range(0, 12):
        exact = interval * k
        lengths += [exact, np.nextafter(exact, 0), np.nextafter(exact, np.inf),
                    k * interval + interval * rng.uniform(0, 1)]
    lengths += [0.3, 0.7, 1.1, 2.2, 3.3, 1200.0, 1000.0]
    return [float(x) for x in lengths if 0 < x < interval * 40]


@pytest.fixture(scope="module")
def tiny(make_engine):
    """A nearly invisible font, so that the solver never moves a candidate."""
    def make(path, **params):
        return make_engine(path, curved_text=False, font_size=1e-4, **params)
    return make


@pytest.mark.parametrize("interval", [0.1, 0.3, 0.7, 1.1, 3.3, 7.77, 123.456, 500, 500.0])
@pytest.mark.parametrize("endpoints", [False, True])
def test_interval_positions_follow_floor_division(tmp_path, tiny, capsys, interval, endpoints):
    rng = np.random.default_rng(int(interval * 1000))
    lengths = _lengths(interval, rng)
    lines = [LineString([(0, 1000 * i), (length, 1000 * i)]) for i, length in enumerate(lengths)]
    path = write_roads(tmp_path / "r.shp", lines, name=["a"] * len(lines))
    engine = tiny(path, distance_interval=interval, add_at_endpoints=endpoints)
    labels, _ = engine._prepare_data()
    capsys.readouterr()

    want, _ = reference_prepare(tiny(path, distance_interval=interval, add_at_endpoints=endpoints))
    capsys.readouterr()
    assert_records_equal(labels, want)
    if endpoints:
        return
    # Candidates one interval apart never touch: the solver leaves them in
    # place, rounded to single precision (and says so).
    got = {}
    for l in labels:
        got.setdefault(l["line_uid"], []).append(l)
    for uid, line in enumerate(lines):
        want = reference_distances(engine, line.length)
        records = got.get(uid, [])
        assert len(records) == len(want), (line.length, interval)
        for record, d in zip(records, want):
            assert record["distance"] == float(np.float32(d))
            assert record["matrix_dirty"] == (float(np.float32(d)) != d)
            assert record["line_len"] == line.length


@pytest.mark.parametrize("count", [1, 2, 3, 7, 10])
def test_even_counts(tmp_path, tiny, capsys, count):
    lengths = [0.0, 0.3, 1.0, 1200.0, 999.9, 12345.678]
    lines = [LineString([(0, 1000 * i), (max(x, 0.0), 1000 * i)]) for i, x in enumerate(lengths)]
    path = write_roads(tmp_path / "r.shp", lines, name=["a"] * len(lines))
    for endpoints in (False, True):
        engine = tiny(path, text_count=count, add_at_endpoints=endpoints)
        labels, _ = engine._prepare_data()
        capsys.readouterr()
        want, _ = reference_prepare(tiny(path, text_count=count, add_at_endpoints=endpoints))
        capsys.readouterr()
        assert_records_equal(labels, want)
        assert len(labels) == sum(len(reference_distances(engine, l.length)) for l in lines)


def test_the_example_line(tmp_path, make_engine, capsys):
    path = write_roads(tmp_path / "r.shp", [LineString([(0, 0), (700, 0), (700, 500)])], name=["a"])
    run = lambda **p: [l["distance"] for l in make_engine(path, curved_text=False, **p)._prepare_data()[0]]
    assert run() == [500.0, 1000.0]
    assert run(add_at_endpoints=True) == [0.0, 500.0, 1000.0, 1200.0]
    assert run(text_count=3) == [300.0, 600.0, 900.0]
    capsys.readouterr()


def test_zero_length_lines_keep_their_end_point_candidates(tmp_path, tiny, capsys):
    path = write_roads(tmp_path / "r.shp", [LineString([(5, 5), (5, 5)])], name=["a"])
    labels, _ = tiny(path, add_at_endpoints=True)._prepare_data()
    capsys.readouterr()
    # Two candidates on one point: the solver slides the second off the line.
    assert [(l["line_len"], l["hidden"]) for l in labels] == [(0.0, False), (0.0, True)]
    assert labels[0]["distance"] == 0.0
    np.testing.assert_array_equal(labels[0]["matrix"][:3, 0], [1.0, 0.0, 0.0])
