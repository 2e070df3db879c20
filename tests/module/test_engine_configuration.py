"""The engine's constructor, attributes, density profiles and mesh engine cache."""
import math

import pytest

import glyphway_accel_avx2 as gw

ATTRIBUTES = [
    "shp_path", "name_field", "weight_field", "use_utm", "posture", "text_count",
    "distance_interval", "add_at_endpoints", "font_size", "extrusion_depth", "letter_spacing",
    "separate_objects", "curved_text", "auto_fit_text", "min_font_scale", "min_letter_spacing",
    "overflow_strategy", "density", "repeat_mode", "connect_eps", "max_global_iterations",
    "font_path", "fallback_fonts", "_mesh_engine_cache", "mesh_engine", "char_width_est",
]
DEFAULTS = {
    "name_field": "name", "weight_field": "weight", "use_utm": False, "posture": "flat",
    "text_count": None, "distance_interval": 500, "add_at_endpoints": False, "font_size": 15.0,
    "extrusion_depth": 2.0, "letter_spacing": 0.0, "separate_objects": True,
    "curved_text": True, "auto_fit_text": True, "min_font_scale": 0.35,
    "min_letter_spacing": 0.0, "overflow_strategy": "truncate", "density": "moderate",
    "repeat_mode": "name_connected", "connect_eps": None, "max_global_iterations": None,
}
METHODS = ["__init__", "_density_profile", "_line_endpoints_3d", "_build_groups",
           "_label_center_xy", "get_mesh_engine", "build_tbn_matrix", "apply_autofit"]


def test_attributes_are_set_in_table_order_with_defaults(engine, ttf_font):
    assert list(vars(engine)) == ATTRIBUTES
    for name, value in DEFAULTS.items():
        assert getattr(engine, name) == value and type(getattr(engine, name)) is type(value), name
    assert engine.shp_path == "roads.shp"
    assert engine.font_path == ttf_font
    assert engine._mesh_engine_cache == {} and type(engine._mesh_engine_cache) is dict
    assert engine.char_width_est == 16.5


def test_plain_class_with_methods_in_definition_order():
    cls = gw._RoadTessaraEngine
    assert cls.__bases__ == (object,)
    assert cls.__module__ == "glyphway_accel_avx2"
    assert [n for n in vars(cls) if n in METHODS] == METHODS


def test_parameters_by_position_are_stored_unchecked(make_engine):
    values = ["n", "w", 1, "upright", 3.7, 12, 0, 20, 1.5, 2.5, 0, 0, 0, "x", "y", "z", "d",
              "m", "e", "i"]
    e = make_engine("roads.shp", *values)
    assert [getattr(e, a) for a in ATTRIBUTES[1:21]] == values
    assert e.char_width_est == 20 * 1.1 and type(e.char_width_est) is float


def test_default_mesh_engine_gets_the_constructor_values(make_engine, ttf_font):
    e = make_engine(font_size=12.0, extrusion_depth=3.0, letter_spacing=0.5)
    assert isinstance(e.mesh_engine, gw._TextMeshEngine)
    assert (e.mesh_engine.font_size, e.mesh_engine.depth, e.mesh_engine.letter_spacing) == (12.0, 3.0, 0.5)


@pytest.mark.parametrize("call", [
    lambda: gw._RoadTessaraEngine(),
    lambda: gw._RoadTessaraEngine("a.shp", no_such_parameter=1),
    lambda: gw._RoadTessaraEngine("a.shp", shp_path="b.shp"),
    lambda: gw._RoadTessaraEngine(*["a.shp"] * 22),
])
def test_bad_arguments_raise_type_error(call):
    with pytest.raises(TypeError):
        call()


def test_failures_of_construction_propagate(monkeypatch, make_engine):
    def lookup_fails():
        raise OSError("no font")
    monkeypatch.setattr(gw._FontManager, "get_chinese_font_path", staticmethod(lookup_fails))
    with pytest.raises(OSError, match="no font"):
        gw._RoadTessaraEngine("a.shp")
    with pytest.raises((TypeError, ValueError)):
        make_engine(font_size="big")


# --- density profiles -----------------------------------------------------

PROFILES = {
    "very_dense": (6.0, 10.0, 5, 10), "dense": (8.0, 14.0, 4, 9), "moderate": (10.0, 18.0, 3, 8),
    "sparse": (14.0, 26.0, 2, 7), "very_sparse": (18.0, 34.0, 1, 6),
}
KEYS = ["global_min_sep", "repeat_min_interval", "max_labels_per_group", "iterations"]


@pytest.mark.parametrize("density", list(PROFILES))
def test_density_table(make_engine, density):
    sep, interval, per_group, iterations = PROFILES[density]
    profile = make_engine(density=density)._density_profile(15.0)
    assert list(profile) == KEYS
    assert profile == {"global_min_sep": sep * 15.0, "repeat_min_interval": interval * 15.0,
                       "max_labels_per_group": per_group, "iterations": iterations}
    assert [type(v) for v in profile.values()] == [float, float, int, int]


@pytest.mark.parametrize("density", ["MODERATE", "Dense", "", "very dense", None, 3])
def test_unknown_density_selects_moderate(make_engine, density):
    assert make_engine(density=density)._density_profile(15.0) == {
        "global_min_sep": 150.0, "repeat_min_interval": 270.0, "max_labels_per_group": 3,
        "iterations": 8}


@pytest.mark.parametrize("fs, scale", [(15, 15.0), ("12.5", 12.5), (True, 1.0)])
def test_font_size_is_converted_to_float(engine, fs, scale):
    assert engine._density_profile(fs)["global_min_sep"] == 10.0 * scale


def test_unconvertible_font_size_raises(engine):
    with pytest.raises(ValueError):
        engine._density_profile("large")


@pytest.mark.parametrize("override, iterations", [
    (3, 3), (2.9, 2), (0, 0), ("7", 7), (None, 10),
    ("many", 10), (math.nan, 10), (math.inf, 10), (object(), 10),
])
def test_max_global_iterations_override(make_engine, override, iterations):
    e = make_engine(density="very_dense", max_global_iterations=override)
    assert e._density_profile(15.0)["iterations"] == iterations


def test_each_call_builds_a_fresh_profile(engine):
    first = engine._density_profile(15.0)
    first["iterations"] = 99
    first.clear()
    assert engine._density_profile(15.0)["iterations"] == 8


# --- mesh engine cache ----------------------------------------------------

def test_one_mesh_engine_per_float_pair(make_engine):
    e = make_engine(extrusion_depth=4.0)
    a = e.get_mesh_engine(10, 0)
    assert e.get_mesh_engine(10.0, 0.0) is a
    assert e.get_mesh_engine(font_size="10", letter_spacing=0.0) is a
    b = e.get_mesh_engine(10.0, 0.5)
    assert b is not a and b is not e.mesh_engine
    assert list(e._mesh_engine_cache) == [(10.0, 0.0), (10.0, 0.5)]
    assert all(type(x) is float for key in e._mesh_engine_cache for x in key)
    assert (b.font_size, b.depth, b.letter_spacing) == (10.0, 4.0, 0.5)


def test_failed_conversion_stores_nothing(make_engine):
    e = make_engine()
    with pytest.raises(ValueError):
        e.get_mesh_engine("big", 0.0)
    assert e._mesh_engine_cache == {}
