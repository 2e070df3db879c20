"""The command line: options map onto generate / generate_csv keyword arguments."""
import inspect
import subprocess
import sys

import pytest

import glyphway_maker
from glyphway_maker import cli


@pytest.fixture
def calls(monkeypatch, tmp_path):
    recorded = []
    monkeypatch.chdir(tmp_path)

    def fake(name):
        def run(*args, **kwargs):
            recorded.append((name, args, kwargs))
            print("[glyphway_maker] fake progress")
            with open(args[1], "w"):
                pass
        return run

    monkeypatch.setattr(glyphway_maker, "generate", fake("generate"), raising=False)
    monkeypatch.setattr(glyphway_maker, "generate_csv", fake("generate_csv"), raising=False)
    return recorded


def signature_defaults(function):
    params = list(inspect.signature(function).parameters.values())[2:]
    return {p.name: p.default for p in params}


@pytest.mark.parametrize("command,function", [("obj", "generate"), ("csv", "generate_csv")])
def test_no_options_give_the_library_defaults(calls, command, function):
    assert cli.main([command, "roads.shp", "out." + command]) == 0
    ((name, args, kwargs),) = calls
    assert name == function and args == ("roads.shp", "out." + command)
    expected = signature_defaults(getattr(glyphway_maker.glyphway_accel_avx2, function))
    assert kwargs == expected
    for key, value in expected.items():
        assert type(kwargs[key]) is type(value), key


def test_obj_options(calls):
    cli.main(["obj", "a.shp", "b.obj", "--name-field", "NAME", "--weight-field", "W",
              "--use-utm", "--posture", "upright", "--no-curved-text", "--no-auto-fit",
              "--min-font-scale", "0.5", "--min-letter-spacing", "1.5",
              "--overflow-strategy", "keep", "--density", "very_sparse",
              "--repeat-mode", "feature", "--connect-eps", "3", "--max-global-iterations", "4",
              "--text-count", "2", "--distance-interval", "120", "--add-at-endpoints",
              "--font-size", "9", "--extrusion-depth", "0.5", "--letter-spacing", "1",
              "--no-separate-objects", "--font", "/fonts/x.ttf", "--style", "cartographic",
              "--max-char-angle", "25"])
    ((name, args, kwargs),) = calls
    assert name == "generate" and args == ("a.shp", "b.obj")
    assert kwargs == {
        "name_field": "NAME", "weight_field": "W", "use_utm": True, "posture": "upright",
        "curved_text": False, "auto_fit_text": False, "min_font_scale": 0.5,
        "min_letter_spacing": 1.5, "overflow_strategy": "keep", "density": "very_sparse",
        "repeat_mode": "feature", "connect_eps": 3.0, "max_global_iterations": 4,
        "text_count": 2, "distance_interval": 120.0, "add_at_endpoints": True,
        "font_size": 9.0, "extrusion_depth": 0.5, "letter_spacing": 1.0,
        "separate_objects": False, "font_path": "/fonts/x.ttf", "style": "cartographic",
        "max_char_angle": 25.0, "cjk_orientation": "along", "layer": None, "encoding": None,
        "highway": None, "class_field": None,
        "skip_bad_rows": False,
    }


def test_csv_options(calls):
    cli.main(["csv", "a.shp", "b.csv", "--target-crs", "EPSG:4326", "--no-quaternion",
              "--both-angles", "--angle-unit", "radian", "--angle-precision", "4",
              "--font-size", "12", "--letter-spacing", "2", "--density", "dense"])
    ((name, args, kwargs),) = calls
    assert name == "generate_csv" and args == ("a.shp", "b.csv")
    assert kwargs["target_crs"] == "EPSG:4326"
    assert kwargs["output_quaternion"] is False and kwargs["output_both_angles"] is True
    assert kwargs["angle_unit"] == "radian" and kwargs["angle_precision"] == 4
    assert kwargs["font_size"] == 12.0 and kwargs["letter_spacing"] == 2.0
    assert kwargs["density"] == "dense"
    assert set(kwargs) == set(signature_defaults(glyphway_maker.glyphway_accel_avx2.generate_csv))


@pytest.mark.parametrize("argv", [
    ["csv", "a.shp", "b.csv", "--extrusion-depth", "1"],
    ["csv", "a.shp", "b.csv", "--no-separate-objects"],
    ["obj", "a.shp", "b.obj", "--angle-unit", "degree"],
    ["obj", "a.shp", "b.obj", "--density", "crowded"],
    ["obj", "a.shp", "b.obj", "--text-count", "many"],
    ["obj", "a.shp"],
])
def test_invalid_command_lines_are_usage_errors(calls, argv, capsys):
    with pytest.raises(SystemExit) as exit_:
        cli.main(argv)
    assert exit_.value.code == 2
    assert "usage:" in capsys.readouterr().err
    assert calls == []


def test_library_progress_goes_to_stdout_and_timings_to_stderr(calls, capsys):
    assert cli.main(["obj", "a.shp", "b.obj"]) == 0
    out, err = capsys.readouterr()
    assert out == "[glyphway_maker] fake progress\n"
    assert "b.obj" in err and "[glyphway_maker]" not in err


def test_failed_run_reports_on_stderr(monkeypatch, capsys):
    def fail(*args, **kwargs):
        raise FileNotFoundError("a.shp: No such file or directory")

    monkeypatch.setattr(glyphway_maker, "generate", fail, raising=False)
    assert cli.main(["obj", "a.shp", "b.obj"]) == 1
    out, err = capsys.readouterr()
    assert out == "" and "FileNotFoundError: a.shp: No such file" in err
    with pytest.raises(FileNotFoundError):
        cli.main(["--traceback", "obj", "a.shp", "b.obj"])


def test_demo_writes_both_files_from_the_sample(calls, tmp_path):
    outdir = tmp_path / "new" / "out"
    assert cli.main(["demo", str(outdir), "--font", "/fonts/x.ttf"]) == 0
    assert outdir.is_dir()
    (g, gargs, gkw), (c, cargs, ckw) = calls
    assert g == "generate" and c == "generate_csv"
    assert gargs == (glyphway_maker.sample_data_path(), str(outdir / "sample.obj"))
    assert cargs == (glyphway_maker.sample_data_path(), str(outdir / "sample.csv"))
    assert gkw["font_path"] == ckw["font_path"] == "/fonts/x.ttf"


def test_no_command_is_a_usage_error(capsys):
    assert cli.main([]) == 2
    assert "a command is required" in capsys.readouterr().err


def test_help_explains_every_option(capsys):
    for command in ("obj", "csv"):
        with pytest.raises(SystemExit) as exit_:
            cli.main([command, "--help"])
        assert exit_.value.code == 0
        text = capsys.readouterr().out
        parser = cli.build_parser()
        sub = parser._subparsers._group_actions[0].choices[command]
        for action in sub._actions:
            assert action.help, action.dest
            for option in action.option_strings:
                assert option in text


def test_python_dash_m_help():
    result = subprocess.run([sys.executable, "-m", "glyphway_maker", "--help"],
                            capture_output=True, text=True, check=True)
    assert result.stdout.startswith("usage: python -m glyphway_maker")
    for command in ("obj", "csv", "demo"):
        assert command in result.stdout


def test_python_dash_m_version():
    result = subprocess.run([sys.executable, "-m", "glyphway_maker", "--version"],
                            capture_output=True, text=True, check=True)
    assert result.stdout == f"glyphway_maker {glyphway_maker.__version__}\n"


def test_a_run_that_writes_nothing_is_reported_as_a_failure(monkeypatch, tmp_path, capsys):
    # The library returns without a file when it finds nothing to label
    # (for instance a missing name column); the command must not say "wrote".
    monkeypatch.chdir(tmp_path)
    (tmp_path / "old.csv").write_text("kept")
    monkeypatch.setattr(glyphway_maker, "generate_csv", lambda *a, **k: None, raising=False)
    assert cli.main(["csv", "roads.shp", "new.csv"]) == 1
    assert cli.main(["csv", "roads.shp", "old.csv"]) == 1
    err = capsys.readouterr().err
    assert "nothing written to new.csv" in err and "nothing written to old.csv" in err
    assert "wrote" not in err
