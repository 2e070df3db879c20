"""_label_center_xy: the plan point of a record's line at its distance."""
import numpy as np
import pytest
from shapely import LineString


@pytest.mark.parametrize("distance, expected", [
    (4, (4.0, 0.0)), (4.5, (4.5, 0.0)), (np.float64(2), (2.0, 0.0)), ("6", (6.0, 0.0)),
    (15, (10.0, 0.0)), (-2, (8.0, 0.0)), (-50, (0.0, 0.0)),
])
def test_centre_at_distance(engine, distance, expected):
    centre = engine._label_center_xy({"line": LineString([(0, 0), (10, 0)]), "distance": distance})
    assert centre == expected and all(type(c) is float for c in centre)


def test_three_dimensional_line_gives_its_plan_point(engine):
    flat = LineString([(0, 0), (3, 4), (6, 0)])
    raised = LineString([(0, 0, 7), (3, 4, -2), (6, 0, 1)])
    for d in (0.0, 2.5, 5.0, 7.25, 10.0, 12.0):
        assert engine._label_center_xy({"line": raised, "distance": d}) == \
            engine._label_center_xy({"line": flat, "distance": d})


def test_record_is_only_read(engine, candidate):
    record = candidate("Main", LineString([(0, 0), (10, 0)]), distance=3.0)
    before = dict(record)
    assert engine._label_center_xy(record) == (3.0, 0.0)
    assert list(record) == list(before) and all(record[k] is before[k] for k in before)


@pytest.mark.parametrize("record, error", [
    ({"distance": 1.0}, KeyError),
    ({"line": LineString([(0, 0), (1, 0)])}, KeyError),
    ({"line": LineString([(0, 0), (1, 0)]), "distance": "far"}, ValueError),
    ({"line": LineString(), "distance": 0.0}, IndexError),
])
def test_missing_or_unusable_keys_raise(engine, record, error):
    with pytest.raises(error):
        engine._label_center_xy(record)
