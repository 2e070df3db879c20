"""The export core's building blocks against the host: number text against
format(), CSV rows against the csv module, vertex transforms against NumPy's
matmul, billboard rotations against single-precision reference arithmetic.

tests/native/export_probe.cpp runs the native routines.
"""
import csv
import io
import math
import os
import subprocess
from pathlib import Path

import numpy as np
import pytest

from writer_reference import reference_rotation

_BIN_DIR = os.environ.get("GLYPHWAY_NATIVE_BIN")
if not _BIN_DIR or not (Path(_BIN_DIR) / "export_probe").exists():
    pytest.skip("native test programs not built (set GLYPHWAY_NATIVE_BIN)", allow_module_level=True)
PROBE = str(Path(_BIN_DIR) / "export_probe")


def probe(mode: str, data: bytes) -> bytes:
    return subprocess.run([PROBE, mode], input=data, capture_output=True, check=True).stdout


# --- fixed-point text --------------------------------------------------------------

def _edge_values():
    return [0.0, -0.0, 0.5, 1.5, 2.5, -2.5, 0.00005, 0.00015, -0.00004, 1.00005, 123456.78905,
            -1.23456, 5e-324, -5e-324, 1e-310, 2.2250738585072014e-308, 1.7976931348623157e308,
            -1.7976931348623157e308, 1e22, 1e23, 9007199254740993.0, 0.1, 0.2, 0.3,
            float("nan"), -float("nan"), float("inf"), -float("inf"), 1 / 3, -2 / 3, 0.125, 0.375]


def _formatted(values, precisions):
    lines = "".join(f"{v.hex()} {p}\n" for v in values for p in precisions)
    return probe("fixed", lines.encode()).decode().splitlines()


def test_fixed_matches_format_on_edge_values():
    values = _edge_values()
    precisions = [0, 1, 3, 4, 6, 7, 17, 30]
    got = _formatted(values, precisions)
    want = [format(v, f".{p}f") for v in values for p in precisions]
    assert got == want


def test_fixed_matches_format_on_random_doubles():
    rng = np.random.default_rng(7)
    bits = rng.integers(0, 2**64, size=3000, dtype=np.uint64)
    raw = [float(v) for v in bits.view(np.float64)]
    scaled = list(rng.normal(size=2000) * 10.0 ** rng.integers(-8, 9, size=2000))
    # Exact decimal ties at four decimals (x.xxxx5 is never exact in binary
    # except for multiples of 1/32) and values a hair either side of them.
    ties = [k / 32 for k in range(-200, 200)]
    near = [math.nextafter(t, math.inf) for t in ties] + [math.nextafter(t, -math.inf) for t in ties]
    values = raw + scaled + ties + near
    for precisions in ([4], [3], [7], [0, 2, 10]):
        assert _formatted(values, precisions) == [format(v, f".{p}f") for v in values for p in precisions]


@pytest.mark.parametrize("precision", [0, 1, 3, 4, 6, 7, 9, 12, 15, 16])
def test_fixed_matches_format_next_to_decimal_ties(precision):
    # (k + 1/2)·10^-p is a decimal tie; its nearest doubles fall either side
    # of it (or on it), which is where a shortcut would round wrongly.
    rng = np.random.default_rng(precision)
    scale = 10.0 ** precision
    ks = np.concatenate([rng.integers(0, 10**6, 1500), rng.integers(0, 2**50, 1500) // int(scale)])
    values = []
    for k in ks:
        tie = (float(k) + 0.5) / scale
        values += [tie, -tie, math.nextafter(tie, 0.0), math.nextafter(tie, math.inf)]
    # Magnitudes at the shortcut's limits and beyond.
    values += [2.0**51 / scale * f for f in (0.999999, 1.0, 1.000001)]
    values += [1e-280, 9.99e-281, 1e-300, -1e-300, 4.5e15, 4.5e16]
    assert _formatted(values, [precision]) == [format(v, f".{precision}f") for v in values]


def test_fixed_float32_values_format_like_numpy_float32():
    values = [float(np.float32(v)) for v in (0.1, -0.7071068, 1.5707964, 57.29578, 89.99999)]
    assert _formatted(values, [6]) == [format(np.float32(v), ".6f") for v in values]


# --- CSV rows ----------------------------------------------------------------------

def _csv_probe(rows):
    data = b""
    for row in rows:
        data += f"{len(row)}\n".encode()
        for field in row:
            raw = field.encode()
            data += f"{len(raw)}\n".encode() + raw
    return probe("csv", data).decode()


def _csv_module(rows):
    buffer = io.StringIO(newline="")
    writer = csv.writer(buffer)
    for row in rows:
        writer.writerow(row)
    return buffer.getvalue()


@pytest.mark.parametrize("rows", [
    [["a", "b", "c"]],
    [[""]],
    [["", ""]],
    [["only"]],
    [["a,b", 'say "hi"', "line\nbreak", "cr\rhere", "crlf\r\n", "tab\there", " lead", "trail "]],
    [['"'], [","], ["\n"], ['""'], ['a"b"c']],
    [["中山路", "人民大道", "東京"]],
    [["#1", "'q'", "x;y", "\\"]],
], ids=["plain", "single-empty", "two-empty", "single", "delimiters", "quote-only", "cjk", "others"])
def test_csv_rows_match_csv_module(rows):
    assert _csv_probe(rows) == _csv_module(rows)


# --- vertices into a frame ---------------------------------------------------------

def _transform_probe(matrix, verts):
    values = [float(v).hex() for v in np.asarray(matrix, dtype=float).ravel()]
    values += [float(v).hex() for v in np.asarray(verts, dtype=float).ravel()]
    out = probe("transform", (f"{len(verts)}\n" + "\n".join(values) + "\n").encode()).decode().split()
    return np.array([float.fromhex(v) for v in out]).reshape(-1, 3)


def _numpy_transform(matrix, verts):
    return (matrix @ np.hstack([verts, np.ones((verts.shape[0], 1))]).T).T[:, :3]


def _random_frame(rng):
    m = np.eye(4)
    m[:3, :] = rng.normal(size=(3, 4)) * rng.choice([1.0, 1e3, 1e6], size=(3, 4))
    return m


@pytest.mark.parametrize("n", [1, 2, 3, 5, 12, 64, 500, 5000])
def test_transform_is_bit_identical_to_numpy_matmul(n):
    rng = np.random.default_rng(n)
    for _ in range(4):
        m = _random_frame(rng)
        verts = rng.normal(size=(n, 3)) * 40.0
        got = _transform_probe(m, verts)
        want = _numpy_transform(m, verts)
        assert np.array_equal(got.view(np.uint64), want.view(np.uint64))


def test_transform_keeps_numpy_signs_of_zero():
    rng = np.random.default_rng(3)
    m = np.eye(4)
    m[:3, :3] = np.array([[0.0, -1.0, 0.0], [1.0, 0.0, 0.0], [0.0, 0.0, -1.0]])
    m[:3, 3] = [-0.0, 0.0, -0.0]
    verts = rng.choice([0.0, -0.0, 1.0, -1.0, 2.5], size=(40, 3))
    got = _transform_probe(m, verts)
    want = _numpy_transform(m, verts)
    assert np.array_equal(got.view(np.uint64), want.view(np.uint64))


def test_transform_of_real_label_frames_matches_numpy(engine):
    from shapely.geometry import LineString
    rng = np.random.default_rng(11)
    line = LineString(rng.normal(size=(12, 2)).cumsum(axis=0) * 300.0 + [500000.0, 3400000.0])
    verts = np.column_stack([rng.normal(size=(300, 2)) * 8.0, rng.choice([0.0, 2.0], size=300)])
    for d in np.linspace(0.0, line.length, 9):
        m = engine.build_tbn_matrix(line, float(d))
        got = _transform_probe(m, verts)
        assert np.array_equal(got.view(np.uint64), _numpy_transform(m, verts).view(np.uint64))


# --- billboard rotations -----------------------------------------------------------

def _rotation_probe(matrices):
    text = "\n".join(" ".join(float(v).hex() for v in m.ravel()) for m in matrices) + "\n"
    rows = probe("rotation", text.encode()).decode().splitlines()
    return [[float.fromhex(v) for v in row.split()] for row in rows]


def _random_rotation(rng):
    q = rng.normal(size=4)
    x, y, z, w = q / np.linalg.norm(q)
    m = np.eye(4)
    m[:3, :3] = [[1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)],
                 [2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)],
                 [2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)]]
    m[:3, 3] = rng.normal(size=3) * 1000
    return m


def test_rotation_matches_float32_reference_on_random_frames():
    rng = np.random.default_rng(5)
    matrices = [_random_rotation(rng) for _ in range(400)]
    got = _rotation_probe(matrices)
    for m, row in zip(matrices, got):
        want = [float(v) for v in reference_rotation(m)]
        assert np.array_equal(np.array(row), np.array(want)), m


def test_rotation_covers_all_four_quaternion_formulas():
    frames = []
    for diag in ([1, 1, 1], [1, -1, -1], [-1, 1, -1], [-1, -1, 1]):
        m = np.eye(4)
        m[:3, :3] = np.diag(diag)
        frames.append(m)
    got = _rotation_probe(frames)
    assert [row[:4] for row in got] == [[0, 0, 0, 1], [1, 0, 0, 0], [0, 1, 0, 0], [0, 0, 1, 0]]


def test_rotation_ties_keep_the_earlier_formula():
    # Half turn about z: t0 = -1, t1 = -1, t2 = -1, t3 = 1; with an extra
    # tie between t1 and t2 (a half turn about x+y) the x formula wins.
    m = np.eye(4)
    m[:3, :3] = [[0, 1, 0], [1, 0, 0], [0, 0, -1]]
    (row,) = _rotation_probe([m])
    s = math.sqrt(2) / 2
    assert row[0] == pytest.approx(s) and row[1] == pytest.approx(s)
    assert row[2] == 0 and row[3] == 0
