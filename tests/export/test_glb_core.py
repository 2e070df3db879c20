"""The GLB writer's building blocks against the host: JSON numbers against
float(), JSON strings against the json module, frame quaternions against
NumPy, the GLB container's chunks and padding.

tests/native/glb_probe.cpp runs the native routines.
"""
import json
import math
import os
import struct
import subprocess
from pathlib import Path

import numpy as np
import pytest

_BIN_DIR = os.environ.get("GLYPHWAY_NATIVE_BIN")
if not _BIN_DIR or not (Path(_BIN_DIR) / "glb_probe").exists():
    pytest.skip("native test programs not built (set GLYPHWAY_NATIVE_BIN)", allow_module_level=True)
PROBE = str(Path(_BIN_DIR) / "glb_probe")


def probe(mode: str, data: bytes) -> bytes:
    return subprocess.run([PROBE, mode], input=data, capture_output=True, check=True).stdout


def test_numbers_read_back_to_the_same_double():
    rng = np.random.default_rng(5)
    values = [0.0, -0.0, 1.0, -2.5, 0.1, 1e-310, 1.7976931348623157e308, 2494213.123456789,
              float(np.float32(0.1)), float(np.float32(-1234.5678))]
    values += list(rng.normal(0, 1e6, 200)) + list(rng.normal(0, 1e-3, 50))
    out = probe("number", "".join(v.hex() + "\n" for v in values).encode()).decode().split()
    assert len(out) == len(values)
    for text, value in zip(out, values):
        assert float(text) == value
        assert json.loads(text) == value
        assert len(text) <= len(repr(value)) + 2  # the shortest form, give or take its spelling
    assert out[1] == "0"  # no negative zero


def test_numbers_json_cannot_hold_are_null():
    out = probe("number", b"inf\n-inf\nnan\n").decode().split()
    assert out == ["null", "null", "null"]


def test_strings_are_json_string_literals():
    texts = ["", "plain", 'quote " and \\ back', "tab\tnew\nline\r", "\x00\x01\x1f\x7f",
             "中一路", "\u2028\u2029", "\U0001F600"]
    data = b"".join(str(len(t.encode())).encode() + b"\n" + t.encode() for t in texts)
    out = probe("string", data).decode("utf-8").split("\n")[:-1]  # U+2028 stays raw
    assert [json.loads(line) for line in out] == texts


def _to_gltf(frame):
    c = np.array([[1, 0, 0], [0, 0, 1], [0, -1, 0]], dtype=float)
    return c @ frame[:3, :3]


def _rotation(q):
    x, y, z, w = q
    return np.array([
        [1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)],
        [2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)],
        [2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)],
    ])


def _frames():
    """Flat and upright frames at every heading, the half-turned ones too."""
    frames = []
    for k in range(72):
        a = 2 * math.pi * k / 72
        t = np.array([math.cos(a), math.sin(a), 0.0])
        up = np.array([0.0, 0.0, 1.0])
        flat = np.column_stack([t, np.cross(up, t), up])
        upright = np.column_stack([t, up, np.cross(t, up)])
        for r in (flat, upright):
            m = np.eye(4)
            m[:3, :3] = r
            m[:3, 3] = [123.0, -45.0, 6.0]
            frames.append(m)
    return frames


def test_quaternions_turn_the_frame_into_glTF_axes():
    frames = _frames()
    data = "".join(" ".join(v.hex() for v in f.ravel()) + "\n" for f in frames).encode()
    rows = probe("quaternion", data).decode().splitlines()
    assert len(rows) == len(frames)
    for row, frame in zip(rows, frames):
        q = np.array([float.fromhex(v) for v in row.split()])
        assert abs(np.linalg.norm(q) - 1.0) < 1e-12
        assert q[3] >= 0.0
        assert np.allclose(_rotation(q), _to_gltf(frame), atol=1e-12)


@pytest.mark.parametrize("json_length, bin_length", [(1, 0), (4, 4), (5, 7), (8, 1), (30, 33)])
def test_container_pads_each_chunk_to_four_bytes(json_length, bin_length):
    document = b"{" + b"x" * (json_length - 1)
    binary = bytes(range(bin_length))
    glb = probe("container", f"{json_length} {bin_length}\n".encode() + document + binary)
    magic, version, length = struct.unpack_from("<4sII", glb)
    assert (magic, version, length) == (b"glTF", 2, len(glb))
    padded_json, kind = struct.unpack_from("<II", glb, 12)
    assert kind == 0x4E4F534A and padded_json % 4 == 0 and padded_json - json_length < 4
    assert glb[20:20 + padded_json] == document + b" " * (padded_json - json_length)
    if bin_length == 0:
        assert len(glb) == 20 + padded_json
        return
    padded_bin, kind = struct.unpack_from("<II", glb, 20 + padded_json)
    assert kind == 0x004E4942 and padded_bin % 4 == 0 and padded_bin - bin_length < 4
    assert glb[28 + padded_json:] == binary + b"\0" * (padded_bin - bin_length)
