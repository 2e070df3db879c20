"""The exports read the engine's own prepared records without record dicts.

An engine whose `_prepare_data` is its own hands the native records straight
to the writers; a subclass or an instance attribute that replaces
`_prepare_data` is called and its dicts are read. Both ways must write the
same bytes.
"""
import numpy as np
import pytest
from shapely.geometry import LineString, MultiLineString

import glyphway_accel_avx2 as gw
from road_tables import write_roads


class ThroughDicts(gw._RoadTessaraEngine):
    """Replaces `_prepare_data` by itself: the exports must read its dicts."""
    calls = 0

    def _prepare_data(self):
        type(self).calls += 1
        return super()._prepare_data()


@pytest.fixture
def build(ttf_font):
    def make(cls, path, **params):
        with pytest.MonkeyPatch.context() as mp:
            mp.setattr(gw._FontManager, "get_chinese_font_path", staticmethod(lambda: ttf_font))
            return cls(path, **params)
    return make


@pytest.fixture(scope="module")
def network(tmp_path_factory):
    """Crossing and parallel roads close enough for the solver to slide and hide labels."""
    lines = [
        LineString([(0, 0), (900, 0)]),
        LineString([(0, 6), (450, 8), (900, 6)]),
        LineString([(450, -400), (455, 400)]),
        MultiLineString([[(100, 50), (700, 60)], [(700, 60), (800, 300), (820, 600)]]),
        LineString([(900, 0), (600, 200), (300, 100)]),
        LineString([(0, 300), (40, 300)]),
    ]
    path = tmp_path_factory.mktemp("roads") / "roads.shp"
    return write_roads(path, lines, name=["中一路", "中二路", "Main", "e中 o,x", "环城", "短"],
                       weight=[1, 3, 2, 1, 5, 1])


OPTIONS = [
    {},
    {"curved_text": False},
    {"curved_text": False, "posture": "upright"},
    {"posture": "upright", "distance_interval": 60},
    {"auto_fit_text": False, "font_size": 20.0, "letter_spacing": 1.5},
    {"text_count": 3, "add_at_endpoints": True, "repeat_mode": "name"},
    {"density": "dense", "repeat_mode": "feature", "separate_objects": False},
    {"curved_text": False, "distance_interval": 25, "font_size": 12.0},
]


@pytest.mark.parametrize("options", OPTIONS)
def test_obj_is_the_same_from_records_and_from_dicts(build, network, tmp_path, options):
    native, dicts = tmp_path / "native.obj", tmp_path / "dicts.obj"
    build(gw._RoadTessaraEngine, network, **options).export_obj(str(native))
    before = ThroughDicts.calls
    build(ThroughDicts, network, **options).export_obj(str(dicts))
    assert ThroughDicts.calls == before + 1
    assert native.stat().st_size > 0
    assert native.read_bytes() == dicts.read_bytes()


@pytest.mark.parametrize("target_crs", ["EPSG:4326", None, "EPSG:3857"])
@pytest.mark.parametrize("options", OPTIONS)
def test_csv_is_the_same_from_records_and_from_dicts(build, network, tmp_path, options,
                                                     target_crs):
    native, dicts = tmp_path / "native.csv", tmp_path / "dicts.csv"
    args = (target_crs, True, True, "degree", 10)
    build(gw._RoadTessaraEngine, network, **options).export_csv(str(native), *args)
    build(ThroughDicts, network, **options).export_csv(str(dicts), *args)
    assert len(native.read_text(encoding="utf-8-sig").splitlines()) > 1
    assert native.read_bytes() == dicts.read_bytes()


def test_the_solver_moved_and_hid_labels_on_the_network(build, network):
    labels, _ = build(gw._RoadTessaraEngine, network, curved_text=False,
                      distance_interval=25)._prepare_data()
    assert any(label.get("matrix_dirty") for label in labels)
    assert any(label["hidden"] for label in labels)


class Renamed(gw._RoadTessaraEngine):
    """Changes what the exports see: every name upper-cased, the first label hidden."""

    def _prepare_data(self):
        labels, crs = super()._prepare_data()
        for label in labels:
            label["text"] = label["text"].upper()
        labels[0]["hidden"] = True
        return labels, crs


def test_a_subclass_preparation_is_what_the_exports_write(build, network, tmp_path):
    plain, renamed = tmp_path / "plain.csv", tmp_path / "renamed.csv"
    args = (None, True, False, "degree", 6)
    build(gw._RoadTessaraEngine, network).export_csv(str(plain), *args)
    build(Renamed, network).export_csv(str(renamed), *args)
    plain_names = [row.rsplit(",", 1)[1] for row in
                   plain.read_text(encoding="utf-8-sig").splitlines()[1:]]
    renamed_names = [row.rsplit(",", 1)[1] for row in
                     renamed.read_text(encoding="utf-8-sig").splitlines()[1:]]
    assert renamed_names == [name.upper() for name in plain_names[1:]]


def test_an_instance_preparation_is_what_the_exports_write(build, network, tmp_path):
    engine = build(gw._RoadTessaraEngine, network)
    labels, crs = engine._prepare_data()
    keep = [label for label in labels if not label["hidden"]][:1]
    engine._prepare_data = lambda: (keep, crs)
    out = tmp_path / "one.obj"
    engine.export_obj(str(out))
    objects = [line for line in out.read_text(encoding="utf-8").splitlines()
               if line.startswith("o ")]
    assert len(objects) == 1


def test_a_subclass_with_its_own_other_stages_exports_the_same(build, network, tmp_path):
    class Other(gw._RoadTessaraEngine):
        def auto_place_labels(self, labels):  # never reached by the preparation
            raise AssertionError("placement is the engine's own")

    plain, other = tmp_path / "plain.obj", tmp_path / "other.obj"
    build(gw._RoadTessaraEngine, network).export_obj(str(plain))
    build(Other, network).export_obj(str(other))
    assert plain.read_bytes() == other.read_bytes()


def _assert_tables_equal(a, b):
    assert a.keys() == b.keys()
    for name in a:
        if isinstance(a[name], list):
            assert a[name] == b[name], name
        else:
            assert a[name].dtype == b[name].dtype and np.array_equal(a[name], b[name]), name


@pytest.mark.parametrize("options", OPTIONS)
def test_the_label_table_is_the_same_from_records_and_from_dicts(build, network, options):
    native, native_crs = gw._prepared_label_table(build(gw._RoadTessaraEngine, network, **options))
    before = ThroughDicts.calls
    dicts, dicts_crs = gw._prepared_label_table(build(ThroughDicts, network, **options))
    assert ThroughDicts.calls == before + 1
    engine = build(gw._RoadTessaraEngine, network, **options)
    labels, crs = engine._prepare_data()
    _assert_tables_equal(native, dicts)
    _assert_tables_equal(native, gw._label_table(engine, labels))
    assert native_crs == dicts_crs == crs
    assert native["visible"].any()


def test_the_label_table_of_a_network_without_names_is_empty(build, network):
    table, crs = gw._prepared_label_table(build(gw._RoadTessaraEngine, network,
                                                name_field="missing"))
    assert crs is None and len(table["visible"]) == 0 and table["text"] == []


def _every_output(engine, tmp_path):
    return [lambda: engine.export_obj(str(tmp_path / "out.obj")),
            lambda: engine.export_csv(str(tmp_path / "out.csv"), None, True, False, "degree", 6),
            lambda: engine.export_glb(str(tmp_path / "out.glb")),
            lambda: gw._prepared_label_table(engine)]


@pytest.mark.parametrize("result, error, message", [
    (None, TypeError, "cannot unpack non-iterable NoneType object"),
    (([],), ValueError, r"not enough values to unpack \(expected 2, got 1\)"),
    (([], "EPSG:3857", None), ValueError, r"too many values to unpack \(expected 2\)"),
])
def test_every_output_unpacks_a_replaced_preparation_alike(build, network, tmp_path, result,
                                                           error, message):
    engine = build(gw._RoadTessaraEngine, network)
    engine._prepare_data = lambda: result
    for output in _every_output(engine, tmp_path):
        with pytest.raises(error, match=message):
            output()
    assert list(tmp_path.iterdir()) == []


def test_every_output_takes_a_replaced_preparation_as_any_pair(build, network, tmp_path):
    engine = build(gw._RoadTessaraEngine, network)
    labels, crs = engine._prepare_data()
    engine._prepare_data = lambda: (labels, crs)
    as_tuple = [output() for output in _every_output(engine, tmp_path)]
    written = {p.name: p.read_bytes() for p in tmp_path.iterdir()}
    engine._prepare_data = lambda: iter([labels, crs])
    as_iterator = [output() for output in _every_output(engine, tmp_path)]
    assert {p.name: p.read_bytes() for p in tmp_path.iterdir()} == written
    assert sorted(written) == ["out.csv", "out.glb", "out.obj"]
    _assert_tables_equal(as_tuple[-1][0], as_iterator[-1][0])
