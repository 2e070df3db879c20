"""One list of options: the native entry points' signatures. The engine, the
label table, the command line and the README table all agree with it."""
import inspect
import pathlib
import re

import glyphway_accel_avx2 as gw
import glyphway_maker
from glyphway_maker import cli, labels

README = pathlib.Path(__file__).resolve().parent.parent / "README.md"
MESH_ONLY = ("extrusion_depth", "separate_objects")
# Keyword-only choices of the run that the engine is not configured with.
RUN_KEYWORDS = ("font_path", "style", "max_char_angle")


def _parameters(function):
    return {name: p.default for name, p in list(inspect.signature(function).parameters.items())[2:]}


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


def test_the_readme_table_lists_every_option_with_its_default():
    rows = {}
    for line in README.read_text(encoding="utf-8").splitlines():
        m = re.match(r"^\| `(\w+)`[^|]*\| `[^|]*` \| `([^`]*)` \|", line)
        if m:
            rows[m.group(1)] = m.group(2)
    for name, default in {**GENERATE, **GENERATE_CSV, **GENERATE_GLB}.items():
        assert name in rows, name
        assert rows[name] == repr(default).replace("'", '"'), name


def test_generate_glb_takes_generate_options_and_the_instancing_switch():
    assert list(GENERATE_GLB) == list(GENERATE) + ["instancing"]
    assert {n: d for n, d in GENERATE_GLB.items() if n != "instancing"} == GENERATE
    assert GENERATE_GLB["instancing"] is True
    kinds = inspect.signature(gw.generate_glb).parameters
    assert kinds["instancing"].kind is inspect.Parameter.KEYWORD_ONLY
