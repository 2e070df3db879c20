"""The module functions generate / generate_csv: argument rules and the engine they build."""
import inspect
import pathlib

import pytest

import glyphway_accel_avx2 as gw

ENGINE_KEYWORDS = [
    "shp_path", "name_field", "weight_field", "use_utm", "posture", "curved_text",
    "auto_fit_text", "min_font_scale", "min_letter_spacing", "overflow_strategy", "density",
    "repeat_mode", "connect_eps", "max_global_iterations", "text_count", "distance_interval",
    "add_at_endpoints", "font_size", "extrusion_depth", "letter_spacing", "separate_objects",
]
GENERATE_DEFAULTS = {
    "name_field": "name", "weight_field": "weight", "use_utm": False, "posture": "flat",
    "curved_text": True, "auto_fit_text": True, "min_font_scale": 0.35,
    "min_letter_spacing": 0.0, "overflow_strategy": "truncate", "density": "moderate",
    "repeat_mode": "name_connected", "connect_eps": None, "max_global_iterations": None,
    "text_count": None, "distance_interval": 500.0, "add_at_endpoints": False,
    "font_size": 15.0, "extrusion_depth": 2.0, "letter_spacing": 0.0, "separate_objects": True,
}
GENERATE_PARAMS = ["shp_path", "output_obj", "name_field", "weight_field", "use_utm", "posture",
                   "curved_text", "auto_fit_text", "min_font_scale", "min_letter_spacing",
                   "overflow_strategy", "density", "repeat_mode", "connect_eps",
                   "max_global_iterations", "text_count", "distance_interval",
                   "add_at_endpoints", "font_size", "extrusion_depth", "letter_spacing",
                   "separate_objects"]
CSV_PARAMS = ["shp_path", "output_csv", "target_crs", "output_quaternion", "output_both_angles",
              "angle_unit", "angle_precision", "name_field", "weight_field", "use_utm",
              "posture", "curved_text", "auto_fit_text", "min_font_scale", "density",
              "repeat_mode", "connect_eps", "max_global_iterations", "text_count",
              "distance_interval", "add_at_endpoints", "font_size", "letter_spacing"]


class Recorder:
    """Stands in for _RoadTessaraEngine and records how it is built and used."""
    calls = []

    def __init__(self, *args, **kwargs):
        Recorder.calls.append(("init", args, kwargs))

    def export_obj(self, *args, **kwargs):
        Recorder.calls.append(("export_obj", args, kwargs))
        return "ignored"

    def export_csv(self, *args, **kwargs):
        Recorder.calls.append(("export_csv", args, kwargs))
        return "ignored"


@pytest.fixture
def recorder(monkeypatch):
    Recorder.calls = []
    monkeypatch.setattr(gw, "_RoadTessaraEngine", Recorder)
    return Recorder.calls


def engine_kwargs(calls):
    kind, args, kwargs = calls[0]
    assert kind == "init" and args == ()
    return kwargs


def assert_same_typed(actual, expected):
    for name, value in expected.items():
        assert actual[name] == value and type(actual[name]) is type(value), name


# --- what reaches the engine ---------------------------------------------------------

def test_generate_with_two_paths_uses_the_defaults(recorder):
    assert gw.generate("roads.shp", "out.obj") is None
    kwargs = engine_kwargs(recorder)
    assert list(kwargs) == ENGINE_KEYWORDS
    assert kwargs["shp_path"] == "roads.shp"
    assert_same_typed(kwargs, GENERATE_DEFAULTS)
    assert recorder[1:] == [("export_obj", ("out.obj",), {})]


def test_generate_csv_with_two_paths_uses_the_defaults(recorder):
    assert gw.generate_csv("roads.shp", "out.csv") is None
    kwargs = engine_kwargs(recorder)
    assert list(kwargs) == ENGINE_KEYWORDS
    expected = dict(GENERATE_DEFAULTS, extrusion_depth=0.0)
    assert_same_typed(kwargs, expected)
    assert recorder[1:] == [("export_csv", ("out.csv", "EPSG:3857", True, False, "degree", 10), {})]


def test_generate_passes_every_parameter_by_position(recorder):
    values = ["a.shp", "b.obj", "NAME", "W", 1, "upright", 0, [], 0.5, 1, "shrink", "dense",
              "feature", 3, 7, 2, 100, "yes", 12, 1, 0.5, 0]
    gw.generate(*values)
    kwargs = engine_kwargs(recorder)
    assert_same_typed(kwargs, {
        "shp_path": "a.shp", "name_field": "NAME", "weight_field": "W", "use_utm": True,
        "posture": "upright", "curved_text": False, "auto_fit_text": False,
        "min_font_scale": 0.5, "min_letter_spacing": 1.0, "overflow_strategy": "shrink",
        "density": "dense", "repeat_mode": "feature", "connect_eps": 3.0,
        "max_global_iterations": 7, "text_count": 2, "distance_interval": 100.0,
        "add_at_endpoints": True, "font_size": 12.0, "extrusion_depth": 1.0,
        "letter_spacing": 0.5, "separate_objects": False,
    })
    assert recorder[1] == ("export_obj", ("b.obj",), {})


def test_generate_csv_passes_export_arguments_positionally_in_order(recorder):
    gw.generate_csv("a.shp", "b.csv", "EPSG:4326", 0, 1, "radian", 3.9)
    assert recorder[1] == ("export_csv", ("b.csv", "EPSG:4326", False, True, "radian", 3), {})
    assert type(recorder[1][1][5]) is int


def test_generate_csv_fixes_the_billboard_settings(recorder):
    gw.generate_csv("a.shp", "b.csv", letter_spacing=2.0, font_size=9, curved_text=False)
    kwargs = engine_kwargs(recorder)
    assert_same_typed(kwargs, {"min_letter_spacing": 2.0, "letter_spacing": 2.0,
                               "extrusion_depth": 0.0, "overflow_strategy": "truncate",
                               "separate_objects": True, "font_size": 9.0,
                               "curved_text": False})


def test_optional_numbers(recorder):
    gw.generate("a.shp", "b.obj", text_count=3.7, connect_eps=2, max_global_iterations=True)
    kwargs = engine_kwargs(recorder)
    assert kwargs["text_count"] == 3 and type(kwargs["text_count"]) is int
    assert kwargs["connect_eps"] == 2.0 and type(kwargs["connect_eps"]) is float
    assert kwargs["max_global_iterations"] == 1 and type(kwargs["max_global_iterations"]) is int


def test_number_like_objects_go_through_their_conversions(recorder):
    class Num:
        def __float__(self):
            return 4.25

        def __int__(self):
            return 9

    gw.generate("a.shp", "b.obj", connect_eps=Num(), text_count=Num(), font_size=Num())
    kwargs = engine_kwargs(recorder)
    assert kwargs["connect_eps"] == 4.25 and kwargs["text_count"] == 9
    assert kwargs["font_size"] == 4.25


def test_flags_take_the_truth_value(recorder):
    gw.generate("a.shp", "b.obj", use_utm="x", curved_text=None, separate_objects=[0])
    kwargs = engine_kwargs(recorder)
    assert kwargs["use_utm"] is True and kwargs["curved_text"] is False
    assert kwargs["separate_objects"] is True


def test_signatures_match_the_positional_parameters():
    for function, names in ((gw.generate, GENERATE_PARAMS), (gw.generate_csv, CSV_PARAMS)):
        params = inspect.signature(function).parameters
        keyword_only = {"font_path": None, "style": "interval", "max_char_angle": 30.0,
                        "cjk_orientation": "along",
                        "layer": None, "encoding": None, "highway": None,
                        "class_field": None, "skip_bad_rows": False}
        assert list(params)[:-len(keyword_only)] == names
        assert list(params)[-len(keyword_only):] == list(keyword_only)
        for name, default in keyword_only.items():
            assert params[name].kind is inspect.Parameter.KEYWORD_ONLY
            assert params[name].default == default


def test_signature_defaults_are_the_defaults_used(recorder):
    params = inspect.signature(gw.generate).parameters
    for name, value in GENERATE_DEFAULTS.items():
        assert params[name].default == value, name


# --- argument errors -------------------------------------------------------------------

@pytest.mark.parametrize("function", ["generate", "generate_csv"])
def test_argument_count_errors(recorder, function):
    f = getattr(gw, function)
    most = 22 if function == "generate" else 23
    with pytest.raises(TypeError, match=rf"^{function}\(\) takes at most {most} positional "
                                        rf"arguments \({most + 1} given\)$"):
        f(*["x"] * (most + 1))
    with pytest.raises(TypeError, match=rf"^{function}\(\) takes at least 2 positional "
                                        r"arguments \(1 given\)$"):
        f("a.shp")
    with pytest.raises(TypeError, match=r"takes at least 2 positional arguments \(0 given\)$"):
        f()
    with pytest.raises(TypeError, match=rf"^{function}\(\) got an unexpected keyword "
                                        r"argument 'bogus'$"):
        f("a.shp", "b", bogus=1)
    with pytest.raises(TypeError, match=rf"^{function}\(\) got multiple values for keyword "
                                        r"argument 'shp_path'$"):
        f("a.shp", "b", shp_path="c")
    assert recorder == []


def test_required_paths_may_come_by_keyword(recorder):
    gw.generate(output_obj="b.obj", shp_path="a.shp")
    assert engine_kwargs(recorder)["shp_path"] == "a.shp"
    with pytest.raises(TypeError, match=r"takes at least 2 positional arguments \(1 given\)"):
        gw.generate(shp_path="a.shp")


def test_font_path_is_keyword_only(recorder):
    with pytest.raises(TypeError, match="at most 22 positional"):
        gw.generate(*["x"] * 22, "font.ttf")
    with pytest.raises(TypeError, match="at most 23 positional"):
        gw.generate_csv(*["x"] * 7, 1, *["x"] * 15, "font.ttf")


def test_none_text_fails_before_anything_is_read(recorder, tmp_path):
    missing = str(tmp_path / "nothing.shp")
    with pytest.raises(TypeError, match=r"^Argument 'name_field' has incorrect type "
                                        r"\(expected str, got NoneType\)$"):
        gw.generate(missing, "out.obj", name_field=None)
    assert recorder == []


@pytest.mark.parametrize("name,value,expected,got", [
    ("shp_path", b"a.shp", "str", "bytes"),
    ("posture", 1, "str", "int"),
    ("density", None, "str", "NoneType"),
    ("connect_eps", "1.5", "float", "str"),
    ("text_count", "3", "int", "str"),
    ("max_global_iterations", [], "int", "list"),
])
def test_incorrect_types(recorder, name, value, expected, got):
    kwargs = {"shp_path": "a.shp", "output_obj": "b.obj", name: value}
    with pytest.raises(TypeError, match=rf"^Argument '{name}' has incorrect type "
                                        rf"\(expected {expected}, got {got}\)$"):
        gw.generate(**kwargs)
    assert recorder == []


def test_text_subclass_is_rejected(recorder):
    class Name(str):
        pass

    with pytest.raises(TypeError, match=r"expected str, got Name"):
        gw.generate("a.shp", "b.obj", name_field=Name("name"))


def test_angle_precision_must_be_a_number(recorder):
    for bad, got in (("3", "str"), (None, "NoneType")):
        with pytest.raises(TypeError, match=rf"^Argument 'angle_precision' has incorrect type "
                                            rf"\(expected int, got {got}\)$"):
            gw.generate_csv("a.shp", "b.csv", angle_precision=bad)
    assert recorder == []


def test_failed_real_conversion_propagates(recorder):
    with pytest.raises(TypeError, match="must be real number, not str"):
        gw.generate("a.shp", "b.obj", font_size="15")

    class Bad:
        def __bool__(self):
            raise ZeroDivisionError("no truth here")

    with pytest.raises(ZeroDivisionError, match="no truth here"):
        gw.generate("a.shp", "b.obj", use_utm=Bad())
    assert recorder == []


def test_numbers_are_converted_before_text_is_checked(recorder):
    with pytest.raises(TypeError, match="must be real number"):
        gw.generate("a.shp", "b.obj", name_field=None, font_size="x")
    with pytest.raises(TypeError, match="Argument 'text_count'"):
        gw.generate("a.shp", "b.obj", name_field=None, text_count="x")


# --- the engine class and its errors --------------------------------------------------

def test_engine_class_is_looked_up_at_call_time(monkeypatch):
    monkeypatch.delattr(gw, "_RoadTessaraEngine")
    for f in (gw.generate, gw.generate_csv):
        with pytest.raises(NameError, match=r"^name '_RoadTessaraEngine' is not defined$"):
            f("a.shp", "b")


def test_engine_errors_propagate_unchanged(monkeypatch):
    class Boom(RuntimeError):
        pass

    error = Boom("engine failed")

    class FailingExport(Recorder):
        def export_obj(self, *args):
            raise error

        export_csv = export_obj

    monkeypatch.setattr(gw, "_RoadTessaraEngine", FailingExport)
    for f in (gw.generate, gw.generate_csv):
        with pytest.raises(Boom) as caught:
            f("a.shp", "b")
        assert caught.value is error

    class FailingInit:
        def __init__(self, **kwargs):
            raise OSError("no such shapefile")

    monkeypatch.setattr(gw, "_RoadTessaraEngine", FailingInit)
    with pytest.raises(OSError, match="no such shapefile"):
        gw.generate("a.shp", "b.obj")


# --- font_path -------------------------------------------------------------------------

@pytest.fixture
def font_search_fails(monkeypatch):
    def fail():
        raise AssertionError("the font search must not run")
    monkeypatch.setattr(gw._FontManager, "get_chinese_font_path", staticmethod(fail))


@pytest.fixture
def real_engine_recorder(monkeypatch):
    """The real engine class, with exports that only record the built engine."""
    built = []

    class Engine(gw._RoadTessaraEngine):
        def export_obj(self, path):
            built.append((self, "obj", path))

        def export_csv(self, path, *rest):
            built.append((self, "csv", path))

    monkeypatch.setattr(gw, "_RoadTessaraEngine", Engine)
    return built


@pytest.mark.parametrize("as_path", [str, pathlib.Path])
def test_font_path_skips_the_font_search(font_search_fails, real_engine_recorder, ttf_font,
                                         as_path):
    gw.generate("a.shp", "b.obj", font_path=as_path(ttf_font))
    gw.generate_csv("a.shp", "b.csv", font_path=as_path(ttf_font), font_size=9)
    (obj_engine, _, obj_path), (csv_engine, _, _) = real_engine_recorder
    assert obj_path == "b.obj"
    for engine in (obj_engine, csv_engine):
        assert engine.font_path == ttf_font and type(engine.font_path) is str
        assert engine.mesh_engine is not None
    assert csv_engine.extrusion_depth == 0.0 and csv_engine.font_size == 9.0


def test_font_path_applies_to_that_call_only(monkeypatch, real_engine_recorder, ttf_font,
                                             otf_font):
    gw.generate("a.shp", "b.obj", font_path=otf_font)
    monkeypatch.setattr(gw._FontManager, "get_chinese_font_path", staticmethod(lambda: ttf_font))
    gw.generate("a.shp", "b.obj")
    assert [e.font_path for e, _, _ in real_engine_recorder] == [otf_font, ttf_font]
    # Also after a call whose engine construction failed.
    def no_mesh_engine(*args):
        raise OSError("cannot open font")

    with pytest.MonkeyPatch.context() as mp:
        mp.setattr(gw, "_TextMeshEngine", no_mesh_engine)
        with pytest.raises(OSError, match="cannot open font"):
            gw.generate("a.shp", "b.obj", font_path=otf_font)
    gw.generate("a.shp", "b.obj")
    assert real_engine_recorder[-1][0].font_path == ttf_font


def test_font_path_type(recorder):
    with pytest.raises(TypeError, match=r"^Argument 'font_path' has incorrect type "
                                        r"\(expected str or os\.PathLike, got int\)$"):
        gw.generate("a.shp", "b.obj", font_path=3)
    with pytest.raises(TypeError, match=r"expected str or os\.PathLike, got bytes"):
        gw.generate_csv("a.shp", "b.csv", font_path=b"font.ttf")
    assert recorder == []


def test_font_path_none_searches_as_usual(monkeypatch, real_engine_recorder, ttf_font):
    monkeypatch.setattr(gw._FontManager, "get_chinese_font_path", staticmethod(lambda: ttf_font))
    gw.generate("a.shp", "b.obj", font_path=None)
    assert real_engine_recorder[0][0].font_path == ttf_font
