"""The stage indicator of the command line: on a terminal's stderr only, never with
--quiet, and stdout stays the library's own lines byte for byte."""
import io
import os
import pty
import subprocess
import sys
from pathlib import Path

import pytest
from shapely.geometry import LineString

import glyphway_maker
from glyphway_maker import cli, progress_bar

sys.path.insert(0, str(Path(__file__).resolve().parent))
from road_tables import write_roads  # noqa: E402

CLEAR = "\r\x1b[K"


@pytest.fixture(scope="module")
def roads(tmp_path_factory):
    lines = [LineString([(0.0, 40.0 * i), (3000.0, 40.0 * i + 5.0)]) for i in range(40)]
    return write_roads(tmp_path_factory.mktemp("roads") / "roads.shp", lines,
                       name=["中一中" for _ in lines])


def run_cli(argv, tty):
    """Runs the command in a child; its stderr is a pseudo-terminal when `tty`."""
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    command = [sys.executable, "-m", "glyphway_maker", *argv]
    if not tty:
        done = subprocess.run(command, capture_output=True, env=env, timeout=300)
        return done.returncode, done.stdout.decode(), done.stderr.decode()
    parent, child = pty.openpty()
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=child, env=env)
    os.close(child)
    err = b""
    while True:
        try:
            chunk = os.read(parent, 65536)
        except OSError:  # the child closed its end
            break
        if not chunk:
            break
        err += chunk
    os.close(parent)
    out = process.stdout.read()
    process.wait(timeout=300)
    return process.returncode, out.decode(), err.decode().replace("\r\n", "\n")


def csv_argv(roads, tmp_path, ttf_font):
    return ["csv", roads, str(tmp_path / "out.csv"), "--distance-interval", "100",
            "--font", ttf_font]


def test_the_stages_show_on_a_terminal(roads, tmp_path, ttf_font):
    argv = csv_argv(roads, tmp_path, ttf_font)
    rc, out, err = run_cli(argv, tty=True)
    assert rc == 0
    for i, stage in enumerate(["Loading Data & CRS Setup", "Sampling along 3D polylines",
                               "Pre-computing Matrices for", "Solving Collisions",
                               "Calculating Rotations", "Generating Billboard Data"]):
        assert f"[{i + 1}/6] {stage}" in err
    # Cleared before the command's own last line, and nothing drawn after it.
    assert err.split(CLEAR)[-1].startswith("glyphway-maker: wrote ")
    assert err.endswith(" s\n") and err.count("\n") == 1
    # stdout is what it is without a terminal.
    rc_plain, out_plain, err_plain = run_cli(argv, tty=False)
    assert rc_plain == 0 and out == out_plain
    assert "\x1b" not in err_plain and "\r" not in err_plain
    assert err_plain.startswith("glyphway-maker: wrote ") and err_plain.count("\n") == 1


@pytest.mark.parametrize("where", ["before", "after"])
def test_quiet_draws_nothing(roads, tmp_path, ttf_font, where):
    argv = csv_argv(roads, tmp_path, ttf_font)
    argv = ["--quiet", *argv] if where == "before" else [*argv, "--quiet"]
    rc, out, err = run_cli(argv, tty=True)
    assert rc == 0
    assert "\x1b" not in err and "\r" not in err
    assert err.startswith("glyphway-maker: wrote ") and err.count("\n") == 1
    assert out.splitlines()[0] == "[glyphway_maker] Loading Data & CRS Setup..."


class FakeTerminal(io.StringIO):
    def isatty(self):
        return True


@pytest.fixture
def fake_runs(monkeypatch, tmp_path):
    monkeypatch.chdir(tmp_path)

    def run(*args, **kwargs):
        print("[glyphway_maker] Loading Data & CRS Setup...")
        print("[glyphway_maker] WARNING: something", file=sys.stderr)
        print("[glyphway_maker] Sampling along 3D polylines...", end="", flush=True)
        sys.stdout.write("\n")
        print("not a progress line")
        print("[glyphway_maker] Finished! Exported to: " + args[1])
        with open(args[1], "w"):
            pass

    monkeypatch.setattr(glyphway_maker, "generate", run, raising=False)
    monkeypatch.setattr(glyphway_maker, "generate_csv", run, raising=False)


EXPECTED_OUT = ("[glyphway_maker] Loading Data & CRS Setup...\n"
                "[glyphway_maker] Sampling along 3D polylines...\n"
                "not a progress line\n"
                "[glyphway_maker] Finished! Exported to: out.obj\n")


def test_in_process_on_a_fake_terminal(fake_runs, monkeypatch):
    out, err = io.StringIO(), FakeTerminal()
    monkeypatch.setattr(sys, "stdout", out)
    monkeypatch.setattr(sys, "stderr", err)
    assert cli.main(["obj", "roads.shp", "out.obj"]) == 0
    assert sys.stdout is out and sys.stderr is err  # put back
    assert out.getvalue() == EXPECTED_OUT
    shown = err.getvalue()
    assert "[1/5] Loading Data & CRS Setup" in shown
    assert "[2/5] Sampling along 3D polylines" in shown
    assert "[glyphway_maker] WARNING: something\n" in shown
    # Every indicator line is cleared before anything else is written.
    assert CLEAR + "[glyphway_maker] WARNING" in shown
    assert shown.split("\n")[-2].split(CLEAR)[-1].startswith("glyphway-maker: wrote out.obj")


@pytest.mark.parametrize("argv", [["--quiet", "obj", "roads.shp", "out.obj"],
                                  ["obj", "roads.shp", "out.obj", "--quiet"]])
def test_in_process_quiet(fake_runs, monkeypatch, argv):
    out, err = io.StringIO(), FakeTerminal()
    monkeypatch.setattr(sys, "stdout", out)
    monkeypatch.setattr(sys, "stderr", err)
    assert cli.main(argv) == 0
    assert out.getvalue() == EXPECTED_OUT
    assert "\x1b" not in err.getvalue() and "\r" not in err.getvalue()


def test_in_process_not_a_terminal(fake_runs, capsys):
    assert cli.main(["obj", "roads.shp", "out.obj"]) == 0
    out, err = capsys.readouterr()
    assert out == EXPECTED_OUT
    assert err.startswith("[glyphway_maker] WARNING: something\nglyphway-maker: wrote out.obj")
    assert "\x1b" not in err


def test_a_failed_run_clears_the_line_and_restores_the_streams(monkeypatch, tmp_path):
    monkeypatch.chdir(tmp_path)

    def run(*args, **kwargs):
        print("[glyphway_maker] Loading Data & CRS Setup...")
        raise ValueError("broken")

    monkeypatch.setattr(glyphway_maker, "generate_csv", run, raising=False)
    out, err = io.StringIO(), FakeTerminal()
    monkeypatch.setattr(sys, "stdout", out)
    monkeypatch.setattr(sys, "stderr", err)
    assert cli.main(["csv", "roads.shp", "out.csv"]) == 1
    assert sys.stdout is out and sys.stderr is err
    shown = err.getvalue()
    assert "[1/6] Loading Data & CRS Setup" in shown
    assert shown.endswith(CLEAR + "glyphway-maker: error: ValueError: broken\n")


def test_long_titles_fit_the_terminal(monkeypatch):
    monkeypatch.setattr(progress_bar, "_width", lambda stream: 30)
    err = FakeTerminal()
    indicator = progress_bar.StageIndicator("csv", enabled=True, stderr=err)
    indicator._line("[glyphway_maker] Calculating Rotations and Projections for Billboard CSV...")
    drawn = err.getvalue().split(CLEAR)[-1]
    assert len(drawn) <= 29 and "[1/6]" not in drawn
