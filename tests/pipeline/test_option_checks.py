"""The values no run can use are refused with one message each, whichever
entry point they come through (the rules live in src/pipeline/options.cpp)."""
import math
import os
import subprocess
from fractions import Fraction
from pathlib import Path

import pytest

import glyphway_accel_avx2 as gw
import glyphway_maker

ENGINE_REFUSALS = [
    ({"font_size": -5.0}, "font_size must be a positive finite number, not -5.0"),
    ({"font_size": 0}, "font_size must be a positive finite number, not 0"),
    ({"extrusion_depth": -0.5}, "extrusion_depth must be a finite number >= 0, not -0.5"),
    ({"letter_spacing": math.inf}, "letter_spacing must be a finite number, not inf"),
    ({"min_letter_spacing": math.nan}, "min_letter_spacing must be a finite number, not nan"),
    # The value is named as the caller wrote it; a number too large for a
    # float counts as infinite.
    ({"extrusion_depth": Fraction(-1, 2)},
     "extrusion_depth must be a finite number >= 0, not Fraction(-1, 2)"),
    ({"min_font_scale": Fraction(10**400, 3)}, "min_font_scale must be a finite number, not Fraction("),
]


@pytest.mark.parametrize("keywords, message", ENGINE_REFUSALS)
def test_the_engine_refuses_with_the_message(make_engine, keywords, message):
    with pytest.raises(ValueError) as caught:
        make_engine("roads.shp", **keywords)
    assert str(caught.value).startswith(message)


def test_the_first_refused_number_in_the_engines_order_is_named(make_engine):
    # The constructor checks in its own parameter order: font_size comes
    # before min_font_scale there, though not in generate()'s.
    with pytest.raises(ValueError, match="^font_size must be"):
        make_engine("roads.shp", min_font_scale=math.nan, font_size=0.0)


ENTRY_REFUSALS = [
    (glyphway_maker.generate, {"style": "specified"},
     "style must be 'interval' or 'cartographic', not 'specified'"),
    # A real option is a float by the time it is checked.
    (glyphway_maker.generate_glb, {"max_char_angle": 181},
     "max_char_angle must be above 0 and at most 180 degrees, not 181.0"),
    (glyphway_maker.generate_csv, {"max_char_angle": 0.0},
     "max_char_angle must be above 0 and at most 180 degrees, not 0.0"),
    (glyphway_maker.generate_csv, {"angle_precision": 18},
     "angle_precision must be a whole number from 0 to 17, not 18"),
    (glyphway_maker.generate, {"distance_interval": 0},
     "distance_interval must be a positive finite number when text_count is not set, not 0"),
    (glyphway_maker.generate_csv, {"distance_interval": -math.inf},
     "distance_interval must be a positive finite number when text_count is not set, not -inf"),
]


@pytest.mark.parametrize("function, keywords, message", ENTRY_REFUSALS)
def test_the_entry_points_refuse_before_reading(tmp_path, ttf_font, function, keywords, message):
    out = tmp_path / "out"
    with pytest.raises(ValueError) as caught:
        function(str(tmp_path / "missing.shp"), str(out), font_path=ttf_font, **keywords)
    assert str(caught.value) == message
    assert not out.exists()


def test_a_text_count_makes_any_interval_acceptable(make_engine, tmp_path):
    # The interval is not read when a count is set, so a zero one is not
    # refused: the run goes on to read the (missing) file.
    engine = make_engine(str(tmp_path / "missing.shp"), text_count=2, distance_interval=0)
    with pytest.raises(Exception) as caught:
        engine._prepare_data()
    assert "distance_interval" not in str(caught.value)


RANGED = [row for row in gw._option_table
          if "engine" in row["takers"] and row["range"] in ("finite", "non_negative", "positive")]


@pytest.mark.parametrize("row", RANGED, ids=lambda row: row["name"])
def test_every_ranged_engine_number_is_refused_when_not_finite(make_engine, row):
    with pytest.raises(ValueError, match=f"^{row['name']} must be .*, not nan$"):
        make_engine("roads.shp", **{row["name"]: math.nan})


# --- the pipeline layer alone (tests/native/options_probe.cpp) ---------------

@pytest.fixture(scope="module")
def options_probe():
    folder = os.environ.get("GLYPHWAY_NATIVE_BIN")
    if not folder or not (Path(folder) / "options_probe").exists():
        pytest.skip("native test programs not built (set GLYPHWAY_NATIVE_BIN)")

    def run(checks=()):
        result = subprocess.run([str(Path(folder) / "options_probe")], input="\n".join(checks),
                                capture_output=True, text=True, check=True)
        lines = result.stdout.splitlines()
        defaults = dict(line.split(" ", 2)[1:] for line in lines if line.startswith("default "))
        return defaults, [line for line in lines if not line.startswith("default ")]
    return run


def test_the_typed_options_default_to_the_table(options_probe):
    defaults, _ = options_probe()
    rows = [row for row in gw._option_table if not row["required"]]
    assert list(defaults) == [row["name"] for row in rows]
    for row in rows:
        value, default = defaults[row["name"]], row["default"]
        if default is None or isinstance(default, (bool, str)):
            assert value == str(default), row["name"]
        else:
            assert type(default)(value) == default, row["name"]


def test_the_pipeline_checks_give_the_entry_points_messages(options_probe):
    _, results = options_probe([
        "number font_size 0", "number extrusion_depth -0.5", "number letter_spacing nan",
        "number max_char_angle 180", "number max_char_angle 181", "number connect_eps -1",
        "decimals 17", "decimals -1", "decimals 4.5", "style cartographic", "style specified",
        "orientation auto", "orientation vertical",
        "sampling none 0", "sampling 3 0", "sampling 10000001 1",
    ])
    assert results == [
        "refused font_size must be a positive finite number, not 0",
        "refused extrusion_depth must be a finite number >= 0, not -0.5",
        "refused letter_spacing must be a finite number, not nan",
        "ok",
        "refused max_char_angle must be above 0 and at most 180 degrees, not 181",
        "ok",  # a join tolerance has no range of its own
        "ok 17",
        "refused angle_precision must be a whole number from 0 to 17, not -1",
        "ok None",  # not a count: the formatter says why when there are rows
        "ok cartographic",
        "refused style must be 'interval' or 'cartographic', not 'specified'",
        "ok auto",
        "refused cjk_orientation must be 'along', 'upright' or 'auto', not 'vertical'",
        "refused distance_interval must be a positive finite number when text_count is not "
        "set, not 0",
        "ok",  # a count makes the interval unused
        "refused text_count 10000001 would place 10000001 candidates on one line (at most "
        "10000000 are allowed)",
    ]
