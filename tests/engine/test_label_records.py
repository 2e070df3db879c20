"""Native label records: the same stages on record dicts and on `_LabelRecords` give
identical records; keys a stage did not write stay absent; other values pass through."""
import copy

import numpy as np
import pytest
from shapely import LineString

import glyphway_accel_avx2 as gw


def same_value(a, b):
    if isinstance(a, np.ndarray) or isinstance(b, np.ndarray):
        return type(a) is type(b) and a.dtype == b.dtype and np.array_equal(a, b)
    return type(a) is type(b) and a == b


def assert_identical(got, expected):
    assert len(got) == len(expected)
    for g, e in zip(got, expected):
        assert list(g) == list(e)
        for key in e:
            assert same_value(g[key], e[key]), key


def sampled(candidate):
    """Candidates like the sampler's: two features of one road (one of two parts),
    a side street, a CJK name on a 3D line, a record missing keys, a hidden one."""
    main_a = LineString([(0, 0), (120, 0)])
    main_b1, main_b2 = LineString([(120, 0), (300, 10)]), LineString([(300, 10), (310, 90)])
    side = LineString([(50, -40), (50, 40)])
    cjk = LineString([(0, 200, 5), (30, 200, 8)])
    records = [candidate("Main Street", main_a, 0, 0, distance=d) for d in (40, 80)]
    records += [candidate("Main Street", main_b1, 1, 1, distance=90),
                candidate("Main Street", main_b2, 1, 2, distance=500)]
    records += [candidate("Side", side, 2, 3, distance=40, weight=3.5, hidden=True),
                candidate("中一中一中一", cjk, 3, 4, distance=15, extra=("kept", 1))]
    sparse = candidate("Lane", LineString([(0, 0), (2, 0)]), 4, 5)
    for key in ("text_len", "line_len", "line_key", "feature_id"):
        del sparse[key]
    return records + [sparse]


CONFIGS = [
    {},
    {"repeat_mode": "feature"},
    {"repeat_mode": "name", "overflow_strategy": "ellipsis"},
    {"connect_eps": 0.0, "min_letter_spacing": 0.5, "letter_spacing": 1.0},
    {"curved_text": False},
    {"font_size": 40.0, "min_font_scale": 0.5},
]
STAGES = {
    "autofit then groups": ("apply_autofit", "_build_groups"),
    "groups then autofit": ("_build_groups", "apply_autofit"),
    "groups": ("_build_groups",),
}


@pytest.mark.parametrize("params", CONFIGS)
@pytest.mark.parametrize("stages", list(STAGES.values()), ids=list(STAGES))
def test_native_and_dictionary_paths_give_identical_records(make_engine, candidate, params, stages):
    engine = make_engine(**params)
    by_dict = sampled(candidate)
    for stage in stages:
        getattr(engine, stage)(by_dict)

    sources = sampled(candidate)
    untouched = copy.deepcopy(sources)
    native = gw._LabelRecords(sources)
    for stage in stages:
        getattr(engine, stage)(native)
    assert len(native) == len(sources)
    assert_identical(native.to_dicts(), by_dict)
    assert_identical(sources, untouched)  # the sources are only read


def test_round_trip_without_stages_copies_the_records(candidate):
    sources = sampled(candidate)
    out = gw._LabelRecords(sources).to_dicts()
    assert_identical(out, sources)
    for got, source in zip(out, sources):
        assert got is not source
        assert all(got[k] is source[k] for k in source)  # values pass through, not converted


def test_stage_writes_only_its_keys_into_the_same_dicts(engine, candidate):
    labels = sampled(candidate)
    keys_before = [list(label) for label in labels]
    values_before = [dict(label) for label in labels]
    engine._build_groups(labels)
    for label, keys, values in zip(labels, keys_before, values_before):
        assert list(label) == keys + ["group_id"]
        assert all(label[k] is values[k] for k in keys)
    sparse = labels[-1]
    assert "text_len" not in sparse and "line_len" not in sparse  # absent keys stay absent


def test_native_records_read_each_key_once(candidate):
    with pytest.raises(TypeError):
        gw._LabelRecords([candidate("Main", LineString([(0, 0), (1, 0)])), "not a record"])
    with pytest.raises(ValueError):
        gw._LabelRecords([{"matrix": np.zeros(3)}])
    with pytest.raises(TypeError):
        gw._LabelRecords([{"line": "not a line"}])
