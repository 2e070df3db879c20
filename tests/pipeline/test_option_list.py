"""One list of options: the native option table (src/pipeline/options.def,
exposed as _option_table). The entry points' signatures, the engine, the
label table, the command line and the README table all agree with it."""
import inspect
import pathlib
import re

import pytest

import glyphway_accel_avx2 as gw
import glyphway_maker
from glyphway_maker import cli, labels

README = pathlib.Path(__file__).resolve().parents[2] / "README.md"
MESH_ONLY = ("extrusion_depth", "separate_objects")
# Keyword-only choices of the run that the engine is not configured with.
RUN_KEYWORDS = ("font_path", "style", "max_char_angle", "cjk_orientation", "layer", "encoding",
                "highway", "class_field", "skip_bad_rows")


def _parameters(function):
    return {name: p.default for name, p in list(inspect.signature(function).parameters.items())[2:]}


TABLE = gw._option_table
ENTRY_POINTS = {"generate": gw.generate, "generate_glb": gw.generate_glb,
                "generate_csv": gw.generate_csv}
GENERATE = _parameters(gw.generate)
GENERATE_CSV = _parameters(gw.generate_csv)
GENERATE_GLB = _parameters(gw.generate_glb)


def _engine_parameters():
    # The constructor is a plain host function: its signature is the first
    # line of its docstring.
    first_line = gw._RoadTessaraEngine.__init__.__doc__.splitlines()[0]
    signature = inspect.Signature.from_callable(eval("lambda " + first_line[len("__init__("):-1]
                                                     + ": None"))
    return {n: p.default for n, p in list(signature.parameters.items())[2:]}


def test_generate_passes_every_engine_option_with_the_engine_default():
    engine = _engine_parameters()
    options = {n: d for n, d in GENERATE.items() if n not in RUN_KEYWORDS}
    assert set(options) == set(engine)
    for name, default in options.items():
        assert default == engine[name], name


def test_the_label_table_takes_generate_options_less_the_mesh_ones():
    expected = {n: d for n, d in GENERATE.items() if n not in MESH_ONLY + RUN_KEYWORDS}
    assert list(labels.ENGINE_OPTIONS) == list(expected)
    assert {n: d for n, (d, _) in labels.ENGINE_OPTIONS.items()} == expected
    for function in (glyphway_maker.place_labels, glyphway_maker.preview):
        params = inspect.signature(function).parameters
        for name in RUN_KEYWORDS:
            assert params[name].kind is inspect.Parameter.KEYWORD_ONLY, (function, name)
            assert params[name].default == GENERATE[name], (function, name)


def test_every_option_has_a_flag_on_its_commands():
    parser = cli.build_parser()
    commands = parser._subparsers._group_actions[0].choices
    for command, options in (("obj", GENERATE), ("glb", GENERATE_GLB), ("csv", GENERATE_CSV)):
        dests = {a.dest for a in commands[command]._actions}
        assert set(options) <= dests, command
    for command in ("labels", "preview"):
        dests = {a.dest for a in commands[command]._actions}
        assert set(labels.ENGINE_OPTIONS) | set(RUN_KEYWORDS) <= dests, command


def _readme_rows():
    """{name: (keyword only, flag cell, default cell, applies-to cell)} of the
    README's options table."""
    rows = {}
    for line in README.read_text(encoding="utf-8").splitlines():
        m = re.match(r"^\| `(\w+)`( \(keyword only\))? \| `([^`]*)` \| `([^`]*)` \| ([^|]*) \|",
                     line)
        if m:
            rows[m.group(1)] = (bool(m.group(2)), m.group(3), m.group(4), m.group(5).strip())
    return rows


def test_the_readme_table_lists_every_option_with_its_default():
    rows = _readme_rows()
    for name, default in {**GENERATE, **GENERATE_CSV, **GENERATE_GLB}.items():
        assert name in rows, name
        assert rows[name][2] == repr(default).replace("'", '"'), name


def _applies_to(row):
    """The README's letters for a row: O generate (and generate_glb), G
    generate_glb only, C generate_csv, L the label table."""
    letters = set()
    if "generate" in row["takers"]:
        letters.add("O")
    elif "generate_glb" in row["takers"]:
        letters.add("G")
    if "generate_csv" in row["takers"]:
        letters.add("C")
    if "labels" in row["takers"]:
        letters.add("L")
    return letters


@pytest.mark.parametrize("row", [r for r in TABLE if not r["required"]], ids=lambda r: r["name"])
def test_the_readme_row_of_each_option_agrees_with_the_table(row):
    keyword_only, flag, default, applies = _readme_rows()[row["name"]]
    assert keyword_only == row["keyword_only"]
    assert default == repr(row["default"]).replace("'", '"')
    assert set(re.findall(r"\b[OGCL]\b", applies)) == _applies_to(row)
    spelled, _, value = flag.partition(" ")
    assert spelled == row["cli_flag"]
    if row["metavar"]:
        assert value == row["metavar"]
    if value.startswith("{"):
        assert value == "{" + ",".join(row["choices"]) + "}"


def test_generate_glb_takes_generate_options_and_the_instancing_switch():
    assert list(GENERATE_GLB) == list(GENERATE) + ["instancing"]
    assert {n: d for n, d in GENERATE_GLB.items() if n != "instancing"} == GENERATE
    assert GENERATE_GLB["instancing"] is True
    kinds = inspect.signature(gw.generate_glb).parameters
    assert kinds["instancing"].kind is inspect.Parameter.KEYWORD_ONLY


def _rows(taker):
    return [row for row in TABLE if taker in row["takers"]]


@pytest.mark.parametrize("taker", ENTRY_POINTS)
def test_each_entry_point_takes_its_rows_of_the_table_in_order(taker):
    parameters = list(inspect.signature(ENTRY_POINTS[taker]).parameters.values())
    rows = _rows(taker)
    assert [p.name for p in parameters] == [row["name"] for row in rows]
    for p, row in zip(parameters, rows):
        assert (p.default is inspect.Parameter.empty) == row["required"], row["name"]
        if not row["required"]:
            # The same value of the same type: 500.0 stays a float here.
            assert (p.default, type(p.default)) == (row["default"], type(row["default"])), p
        wanted = (inspect.Parameter.KEYWORD_ONLY if row["keyword_only"]
                  else inspect.Parameter.POSITIONAL_OR_KEYWORD)
        assert p.kind is wanted, row["name"]


def test_the_engine_takes_its_rows_in_its_own_order_and_stores_their_defaults(make_engine):
    rows = sorted(_rows("engine"), key=lambda row: row["engine_position"])
    assert [row["engine_position"] for row in rows] == list(range(len(rows)))
    documented = _engine_parameters()
    assert list(documented) == [row["name"] for row in rows[1:]]
    engine = make_engine("roads.shp")
    for row in rows[1:]:
        stored = getattr(engine, row["name"])
        assert (stored, type(stored)) == (row["engine_default"], type(row["engine_default"]))
        assert documented[row["name"]] == stored
    # The one default the engine has always kept as an int.
    assert type(engine.distance_interval) is int and type(GENERATE["distance_interval"]) is float


COMMANDS = {"obj": ("generate", ["a.shp", "b.obj"]), "glb": ("generate_glb", ["a.shp", "b.glb"]),
            "csv": ("generate_csv", ["a.shp", "b.csv"]), "labels": ("labels", ["a.shp", "b.gpkg"]),
            "preview": ("labels", ["a.shp", "b.png"])}


@pytest.mark.parametrize("command", COMMANDS)
def test_each_command_offers_its_rows_with_the_table_defaults(command):
    taker, paths = COMMANDS[command]
    parser = cli.build_parser()
    args = parser.parse_args([command, *paths])
    actions = {a.dest: a for a in parser._subparsers._group_actions[0].choices[command]._actions}
    for row in _rows(taker):
        if row["required"]:
            continue
        action = actions[row["name"]]
        assert action.option_strings == [row["cli_flag"]], row["name"]
        assert tuple(action.choices or ()) == row["choices"], row["name"]
        assert action.metavar == row["metavar"], row["name"]
        value = getattr(args, row["name"])
        assert (value, type(value)) == (row["default"], type(row["default"])), row["name"]
    others = {row["name"] for row in TABLE} - {row["name"] for row in _rows(taker)}
    assert not others & set(actions), command


def test_a_flag_given_on_the_command_line_reaches_the_entry_point_turned_around():
    parser = cli.build_parser()
    for row in _rows("generate_glb"):
        if row["kind"] != "flag":
            continue
        args = parser.parse_args(["glb", "a.shp", "b.glb", row["cli_flag"]])
        assert getattr(args, row["name"]) is (not row["default"]), row["name"]
