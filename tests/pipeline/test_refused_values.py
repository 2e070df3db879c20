"""Numbers no run can use are refused up front, naming the parameter, with nothing read or written."""
import math

import pytest
from shapely import LineString

import glyphway_accel_avx2 as gw
import glyphway_maker
from glyphway_maker import cli
from road_tables import write_roads

BAD_ENGINE_NUMBERS = [
    ("font_size", math.nan), ("font_size", math.inf), ("font_size", -math.inf),
    ("font_size", -5.0), ("font_size", 0), ("font_size", 10**400),
    ("extrusion_depth", math.nan), ("extrusion_depth", math.inf), ("extrusion_depth", -0.5),
    ("letter_spacing", math.nan), ("letter_spacing", -math.inf),
    ("min_font_scale", math.nan), ("min_font_scale", math.inf),
    ("min_letter_spacing", math.nan),
]


@pytest.fixture
def font_lookup_fails(monkeypatch):
    # The refusal comes before the font search: a search that fails would
    # otherwise be the error seen.
    def lookup():
        raise AssertionError("the font was looked up")
    monkeypatch.setattr(gw._FontManager, "get_chinese_font_path", staticmethod(lookup))


@pytest.mark.parametrize("name, value", BAD_ENGINE_NUMBERS)
def test_the_engine_refuses_numbers_it_cannot_draw(font_lookup_fails, name, value):
    with pytest.raises(ValueError, match=f"^{name} must be "):
        gw._RoadTessaraEngine("roads.shp", **{name: value})


def test_usable_edge_values_are_accepted(make_engine):
    e = make_engine(font_size=1e-3, extrusion_depth=0.0, letter_spacing=-3.0,
                    min_font_scale=-1.0, min_letter_spacing=-2.0)
    assert (e.font_size, e.extrusion_depth) == (1e-3, 0.0)
    # Values that are not numbers are stored as given; the stage that uses one refuses it.
    assert make_engine(min_font_scale="x").min_font_scale == "x"


@pytest.mark.parametrize("name, value", [("font_size", math.nan), ("extrusion_depth", -1.0),
                                         ("min_font_scale", math.inf)])
def test_generate_refuses_before_reading_and_leaves_the_target(tmp_path, ttf_font, name, value):
    out = tmp_path / "out.obj"
    out.write_text("kept")
    with pytest.raises(ValueError, match=name):
        glyphway_maker.generate(str(tmp_path / "missing.shp"), str(out), font_path=ttf_font,
                                **{name: value})
    assert out.read_text() == "kept"


@pytest.mark.parametrize("precision", [18, 1_000_000_000, -1, 10**30])
def test_angle_precision_outside_0_to_17_is_refused_before_reading(tmp_path, ttf_font, precision):
    out = tmp_path / "out.csv"
    with pytest.raises(ValueError, match="angle_precision must be a whole number from 0 to 17"):
        glyphway_maker.generate_csv(str(tmp_path / "missing.shp"), str(out), font_path=ttf_font,
                                    angle_precision=precision)
    assert not out.exists()


def test_angle_precision_17_writes(tmp_path, ttf_font):
    shp = write_roads(tmp_path / "roads.shp", [LineString([(0, 0), (2000, 0)])], name=["中一"])
    out = tmp_path / "out.csv"
    glyphway_maker.generate_csv(shp, str(out), font_path=ttf_font, angle_precision=17)
    row = out.read_text(encoding="utf-8-sig").splitlines()[1].split(",")
    assert any(len(cell.partition(".")[2]) == 17 for cell in row)


# --- the total number of candidates ------------------------------------------

@pytest.fixture
def three_lines(tmp_path):
    lines = [LineString([(0, 100 * i), (400, 100 * i)]) for i in range(3)]
    return write_roads(tmp_path / "roads.shp", lines, name=["中一"] * 3)


@pytest.mark.parametrize("params, named", [
    # Each line stays under the per-line limit; together they do not.
    ({"text_count": 4_000_000}, "text_count 4000000"),
    ({"distance_interval": 1e-4}, "distance_interval 0.0001"),
])
def test_sampling_refuses_a_total_it_cannot_hold(make_engine, three_lines, params, named):
    engine = make_engine(three_lines, **params)
    with pytest.raises(ValueError, match=f"{named} would place \\d+ candidates in all"):
        engine._prepare_data()


# --- the command line --------------------------------------------------------

@pytest.mark.parametrize("text", ["-1e9", "-1E-3", "-2.5e+2", "-.5e1", "-inf", "-nan", "-7"])
def test_negative_numbers_in_any_form_are_values(text):
    args = cli.build_parser().parse_args(["obj", "a.shp", "b.obj", "--letter-spacing", text])
    assert args.letter_spacing == float(text) or math.isnan(args.letter_spacing)


def test_an_unknown_option_is_still_an_error(capsys):
    with pytest.raises(SystemExit):
        cli.build_parser().parse_args(["obj", "a.shp", "b.obj", "-e9"])


@pytest.mark.parametrize("option, value, name", [("--font-size", "nan", "font_size"),
                                                 ("--font-size", "-5", "font_size"),
                                                 ("--extrusion-depth", "inf", "extrusion_depth"),
                                                 ("--min-font-scale", "-inf", "min_font_scale")])
def test_the_command_reports_the_refused_option(tmp_path, capsys, ttf_font, option, value, name):
    out = tmp_path / "out.obj"
    out.write_text("kept")
    code = cli.main(["obj", str(tmp_path / "missing.shp"), str(out), "--font", ttf_font,
                     option, value])
    assert code == 1
    assert f"ValueError: {name} must be" in capsys.readouterr().err
    assert out.read_text() == "kept"
