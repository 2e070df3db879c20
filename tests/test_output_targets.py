"""What every command does with the path it writes to: devices and FIFOs are
written in place and stay what they are, unwritable targets are refused
alike, modes are kept or come from the umask, a NUL in the path is refused,
and a SIGTERM removes the temporary."""
import errno
import os
import pathlib
import signal
import socket
import stat
import subprocess
import sys
import tempfile
import threading
import time
import warnings

import geopandas as gpd
import pytest
from shapely.geometry import LineString

import glyphway_accel_avx2 as gw
import glyphway_maker
from glyphway_maker import cli, labels

TESTS_DIR = pathlib.Path(__file__).resolve().parent

# command, a file name of the right kind for it
COMMANDS = [("obj", "out.obj"), ("glb", "out.glb"), ("csv", "out.csv"),
            ("labels", "out.geojson"), ("preview", "out.png")]
COMMAND_IDS = [c for c, _ in COMMANDS]


def _write_roads(path, count=4):
    lines = [LineString([(0.0, 60.0 * k), (1500.0, 60.0 * k + 20.0)]) for k in range(count)]
    frame = gpd.GeoDataFrame({"name": ["中一o"] * count, "weight": [1.0] * count},
                             geometry=lines, crs="EPSG:3857")
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        frame.to_file(path, encoding="UTF-8")
    return str(path)


@pytest.fixture(scope="module")
def roads(tmp_path_factory):
    return _write_roads(tmp_path_factory.mktemp("roads") / "roads.shp")


def _argv(command, shp, out, font, *extra):
    argv = [command, shp, str(out), "--font", font, "--distance-interval", "200"]
    if command == "preview":
        argv += ["--width-px", "160", "--height-px", "120", "--dpi", "40"]
    return argv + list(extra)


def _run(command, shp, out, font, *extra):
    return cli.main(_argv(command, shp, out, font, *extra))


def _temporaries(folder):
    return sorted(p.name for p in pathlib.Path(folder).iterdir() if ".tmp" in p.name
                  or p.name.startswith((".labels_", ".preview_")))


@pytest.fixture(scope="module")
def reference(roads, ttf_font, tmp_path_factory):
    """The bytes each command writes to a regular file."""
    folder = tmp_path_factory.mktemp("reference")
    out = {}
    for command, name in COMMANDS:
        assert _run(command, roads, folder / name, ttf_font) == 0
        out[command] = (folder / name).read_bytes()
    return out


# --- FIFOs -----------------------------------------------------------------

class FifoReader:
    """Reads a FIFO until the writer that opened it closes it."""

    def __init__(self, path):
        # Open for reading first, without waiting for a writer, so that the
        # command finds a reader when it opens the FIFO.
        self.fd = os.open(path, os.O_RDONLY | os.O_NONBLOCK)
        self.data = bytearray()
        self.done = threading.Event()
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        # Reads until the command has returned, then drains what it left in
        # the pipe. Ending at the first writer's close instead would lose the
        # output of a command that opens the FIFO more than once (a probe for
        # a reader, then the write).
        while True:
            finished = self.done.is_set()
            try:
                chunk = os.read(self.fd, 1 << 16)
            except BlockingIOError:  # a writer holds it open, nothing pending yet
                chunk = b""
            if chunk:
                self.data += chunk
            elif finished:
                return
            else:
                time.sleep(0.001)

    def finish(self):
        self.done.set()
        self.thread.join(timeout=60)
        os.close(self.fd)
        return bytes(self.data)


@pytest.mark.parametrize("command, name", COMMANDS, ids=COMMAND_IDS)
def test_a_fifo_is_written_in_place_and_stays_a_fifo(roads, ttf_font, tmp_path, reference,
                                                     command, name):
    fifo = tmp_path / name
    os.mkfifo(fifo)
    reader = FifoReader(fifo)
    try:
        assert _run(command, roads, fifo, ttf_font) == 0
    finally:
        received = reader.finish()
    assert stat.S_ISFIFO(os.lstat(fifo).st_mode)
    assert received == reference[command]
    assert _temporaries(tmp_path) == []


@pytest.mark.parametrize("command, name", COMMANDS, ids=COMMAND_IDS)
def test_a_fifo_nobody_reads_is_refused_not_waited_on(roads, ttf_font, tmp_path, capsys,
                                                      command, name):
    fifo = tmp_path / name
    os.mkfifo(fifo)
    assert _run(command, roads, fifo, ttf_font) == 1
    assert "No process reads the FIFO" in capsys.readouterr().err
    assert stat.S_ISFIFO(os.lstat(fifo).st_mode)
    assert _temporaries(tmp_path) == []


@pytest.mark.parametrize("command, name", COMMANDS, ids=COMMAND_IDS)
def test_a_socket_is_refused(roads, ttf_font, tmp_path, capsys, command, name):
    # AF_UNIX paths are short; a folder of our own keeps the path short.
    folder = tempfile.mkdtemp(prefix="gw_sock_")
    path = os.path.join(folder, name)
    server = socket.socket(socket.AF_UNIX)
    try:
        server.bind(path)
        assert _run(command, roads, path, ttf_font) == 1
        assert "Is a socket, not a file" in capsys.readouterr().err
        assert stat.S_ISSOCK(os.lstat(path).st_mode)
        assert _temporaries(folder) == []
    finally:
        server.close()
        os.remove(path)
        os.rmdir(folder)


# --- /dev/null --------------------------------------------------------------

def _dev_null_or_skip():
    try:
        info = os.stat("/dev/null")
    except OSError:
        pytest.skip("no /dev/null here")
    if not stat.S_ISCHR(info.st_mode) or not os.access("/dev/null", os.W_OK):
        pytest.skip("/dev/null is not a writable character device here")
    return info


@pytest.mark.parametrize("command", ["obj", "glb", "csv", "preview"])
def test_dev_null_is_written_through_and_stays_a_device(roads, ttf_font, capsys, command):
    before = _dev_null_or_skip()
    assert _run(command, roads, "/dev/null", ttf_font) == 0
    assert "wrote /dev/null" in capsys.readouterr().err
    after = os.stat("/dev/null")
    assert stat.S_ISCHR(after.st_mode)
    assert (after.st_ino, after.st_rdev, stat.S_IMODE(after.st_mode)) == (
        before.st_ino, before.st_rdev, stat.S_IMODE(before.st_mode))
    assert not [p for p in os.listdir("/dev") if p.startswith("null.tmp")]


def test_labels_to_dev_null_is_refused_by_its_extension(roads, ttf_font, capsys):
    # The extension picks the format, and /dev/null has none.
    _dev_null_or_skip()
    assert _run("labels", roads, "/dev/null", ttf_font) == 1
    assert ".gpkg, .geojson or .json" in capsys.readouterr().err
    assert stat.S_ISCHR(os.stat("/dev/null").st_mode)


@pytest.mark.parametrize("command", ["obj", "glb", "csv"])
def test_nothing_placed_to_dev_null_still_fails(roads, ttf_font, capsys, command):
    _dev_null_or_skip()
    assert _run(command, roads, "/dev/null", ttf_font, "--name-field", "nope") == 1
    assert "nothing written to /dev/null" in capsys.readouterr().err


# --- read-only targets and modes ------------------------------------------------

@pytest.mark.parametrize("command, name", COMMANDS, ids=COMMAND_IDS)
def test_a_read_only_target_is_treated_alike_by_every_command(roads, ttf_font, tmp_path, capsys,
                                                              command, name):
    target = tmp_path / name
    target.write_bytes(b"previous")
    target.chmod(0o444)
    if os.access(target, os.W_OK):
        # A user who may write to it anyway (root): written, mode kept.
        assert _run(command, roads, target, ttf_font) == 0
        assert target.read_bytes() != b"previous"
    else:
        assert _run(command, roads, target, ttf_font) == 1
        assert "PermissionError" in capsys.readouterr().err
        assert target.read_bytes() == b"previous"
    assert stat.S_IMODE(target.stat().st_mode) == 0o444
    assert _temporaries(tmp_path) == []


NOBODY = 65534


# Imports everything the commands load lazily while still root (the
# interpreter's own files may be readable by root only), then gives up root
# for good and runs the command line.
AS_NOBODY = """
import os, sys
import geopandas, matplotlib, pyogrio, pyproj
matplotlib.use("Agg")
import matplotlib.backends.backend_agg, matplotlib.collections, matplotlib.figure
import matplotlib.font_manager, matplotlib.image, mpl_toolkits.axes_grid1.anchored_artists
from glyphway_maker import cli, labels, preview_image
os.setgroups([])
os.setgid(%d)
os.setuid(%d)
sys.exit(cli.main(sys.argv[1:]))
""" % (NOBODY, NOBODY)


def _run_as_nobody(argv, cwd):
    env = dict(os.environ, HOME=str(cwd), MPLCONFIGDIR=str(cwd / "mpl"))
    return subprocess.run([sys.executable, "-c", AS_NOBODY, *argv], cwd=cwd, env=env,
                          capture_output=True, text=True, timeout=300)


@pytest.fixture
def nobody_folder(ttf_font):
    """A folder an unprivileged user can work in, when the tests run as root."""
    if os.geteuid() != 0:
        pytest.skip("the unprivileged case is covered by running as that user")
    folder = pathlib.Path(tempfile.mkdtemp(prefix="gw_nobody_"))
    try:
        folder.chmod(0o777)
        (folder / "mpl").mkdir(mode=0o777)
        (folder / "mpl").chmod(0o777)
        (folder / "font.ttf").write_bytes(pathlib.Path(ttf_font).read_bytes())
        _write_roads(folder / "roads.shp")
        for p in folder.iterdir():
            p.chmod(0o777 if p.is_dir() else 0o644)
        probe = _run_as_nobody(["--version"], folder)
        if probe.returncode != 0:
            pytest.skip(f"an unprivileged interpreter cannot run the package here: {probe.stderr}")
        yield folder
    finally:
        subprocess.run(["rm", "-rf", str(folder)], check=False)


@pytest.mark.parametrize("command, name", COMMANDS, ids=COMMAND_IDS)
def test_without_root_every_command_refuses_a_read_only_target(nobody_folder, command, name):
    target = nobody_folder / name
    target.write_bytes(b"previous")
    target.chmod(0o444)
    os.chown(target, NOBODY, NOBODY)
    result = _run_as_nobody(_argv(command, "roads.shp", name, "font.ttf"), nobody_folder)
    assert result.returncode == 1, result.stderr
    assert "PermissionError: [Errno 13] Permission denied: " in result.stderr
    assert target.read_bytes() == b"previous"
    assert stat.S_IMODE(target.stat().st_mode) == 0o444
    assert _temporaries(nobody_folder) == []


@pytest.mark.parametrize("command, name", COMMANDS, ids=COMMAND_IDS)
def test_an_existing_target_keeps_its_mode(roads, ttf_font, tmp_path, command, name):
    target = tmp_path / name
    target.write_bytes(b"previous")
    target.chmod(0o600)
    assert _run(command, roads, target, ttf_font) == 0
    assert target.read_bytes() != b"previous"
    assert stat.S_IMODE(target.stat().st_mode) == 0o600


@pytest.fixture
def umask_027():
    previous = os.umask(0o027)
    yield 0o027
    os.umask(previous)


@pytest.mark.parametrize("command, name", COMMANDS, ids=COMMAND_IDS)
def test_a_new_target_gets_its_mode_from_the_umask(roads, ttf_font, tmp_path, umask_027,
                                                   command, name):
    target = tmp_path / name
    assert _run(command, roads, target, ttf_font) == 0
    assert stat.S_IMODE(target.stat().st_mode) == 0o666 & ~umask_027


# --- NUL in the path ---------------------------------------------------------

@pytest.mark.parametrize("command, name", COMMANDS, ids=COMMAND_IDS)
def test_a_nul_in_the_path_is_refused(roads, ttf_font, tmp_path, capsys, command, name):
    (tmp_path / "d").mkdir()
    out = str(tmp_path / "d" / "a") + "\x00" + name
    assert _run(command, roads, out, ttf_font) == 1
    err = capsys.readouterr().err
    assert "ValueError: the output path contains a NUL character: " in err
    assert repr(out) in err
    assert list((tmp_path / "d").iterdir()) == []


def test_the_library_writers_refuse_a_nul_in_the_path(roads, ttf_font, tmp_path):
    cut = tmp_path / "a"
    frame = glyphway_maker.place_labels(roads, font_path=ttf_font)
    writers = [
        lambda p: glyphway_maker.generate(roads, p, font_path=ttf_font),
        lambda p: glyphway_maker.generate_csv(roads, p, font_path=ttf_font),
        lambda p: glyphway_maker.generate_glb(roads, p, font_path=ttf_font),
        lambda p: labels.write_labels(frame, p + ".gpkg"),
        lambda p: glyphway_maker.preview(roads, p, width_px=100, height_px=80,
                                         font_path=ttf_font),
        lambda p: gw._write_output(p, b"bytes"),
        lambda p: gw._check_output(p),
    ]
    for write in writers:
        with pytest.raises(ValueError, match="NUL character"):
            write(str(cut) + "\x00b.out")
    assert list(tmp_path.iterdir()) == []


# --- the native output helpers --------------------------------------------------

def test_write_output_replaces_a_file_and_counts_it(tmp_path):
    target = tmp_path / "t.bin"
    target.write_bytes(b"old")
    before = gw._outputs_written()
    gw._write_output(str(target), b"new" * 1000000)
    assert target.read_bytes() == b"new" * 1000000
    assert gw._outputs_written() == before + 1
    assert list(tmp_path.iterdir()) == [target]


def test_check_output_refuses_a_folder_and_a_missing_folder(tmp_path):
    with pytest.raises(IsADirectoryError):
        gw._check_output(str(tmp_path))
    gw._check_output(str(tmp_path / "new.png"))  # a new file is fine
    with pytest.raises(FileNotFoundError):
        gw._write_output(str(tmp_path / "missing" / "x.png"), b"")
    assert list(tmp_path.iterdir()) == []


def test_a_failed_write_keeps_the_errno_subclass(tmp_path):
    with pytest.raises(OSError) as info:
        gw._write_output(str(tmp_path), b"")
    assert info.value.errno == errno.EISDIR and info.value.filename == str(tmp_path)


# --- labels with nothing placed ------------------------------------------------

def test_labels_with_nothing_placed_fails_like_obj_and_csv(roads, ttf_font, tmp_path, capsys):
    codes = {}
    for command, name in COMMANDS[:4]:
        codes[command] = _run(command, roads, tmp_path / name, ttf_font, "--name-field", "nope")
    assert codes == {"obj": 1, "glb": 1, "csv": 1, "labels": 1}
    err = capsys.readouterr().err
    assert err.count("no labels were placed; nothing written to ") == 4
    assert list(tmp_path.iterdir()) == []


# --- SIGTERM --------------------------------------------------------------------

@pytest.mark.parametrize("command", ["obj", "glb"])
def test_sigterm_while_writing_removes_the_temporary(ttf_font, tmp_path, command):
    # Enough parallel streets that the file takes a while to write, so the
    # temporary is seen before the run ends.
    geometries = [LineString([(0.0, 40.0 * i), (3000.0, 40.0 * i + 5.0)]) for i in range(12000)]
    frame = gpd.GeoDataFrame({"name": ["中一中一中"] * len(geometries)}, geometry=geometries,
                             crs="EPSG:3857")
    shp = tmp_path / "roads.shp"
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        frame.to_file(shp)
    work = tmp_path / "out"
    work.mkdir()
    out = work / f"big.{command}"
    child = subprocess.Popen(
        [sys.executable, "-m", "glyphway_maker", command, str(shp), str(out), "--font", ttf_font,
         "--distance-interval", "100"],
        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    sent = False
    try:
        while child.poll() is None:
            if any(".tmp" in p.name for p in work.iterdir()):
                child.send_signal(signal.SIGTERM)
                sent = True
                break
            time.sleep(0.001)
        _, err = child.communicate(timeout=600)
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
    assert sent, f"the run ended before its temporary was seen: {err}"
    # Still ended by the signal, as without the clean-up.
    assert child.returncode == -signal.SIGTERM, err
    assert list(work.iterdir()) == []
