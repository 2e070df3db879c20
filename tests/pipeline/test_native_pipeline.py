"""The pipeline layer alone: tests/native/pipeline_probe.cpp runs it on roads
given as text, with no host, and its records must be the ones `_prepare_data`
keeps on the same roads."""
import os
import subprocess
from pathlib import Path

import pytest
from shapely.geometry import LineString

from road_tables import write_roads

_BIN_DIR = os.environ.get("GLYPHWAY_NATIVE_BIN")
if not _BIN_DIR or not (Path(_BIN_DIR) / "pipeline_probe").exists():
    pytest.skip("native test programs not built (set GLYPHWAY_NATIVE_BIN)", allow_module_level=True)
PROBE = str(Path(_BIN_DIR) / "pipeline_probe")

ROADS = [
    ("中一路", 1, [(0, 0), (900, 0)]),
    ("中二路", 3, [(0, 6), (450, 8), (900, 6)]),
    ("Main", 2, [(450, -400), (455, 400)]),
    ("环城大道很长的名字", 5, [(900, 0), (600, 200), (300, 100)]),
    ("短", 1, [(0, 300), (40, 300)]),
]

SETTINGS = [
    {},
    {"curved_text": False},
    {"curved_text": False, "posture": "upright", "distance_interval": 25},
    {"text_count": 3, "add_at_endpoints": True, "font_size": 20.0},
    {"auto_fit_text": False, "letter_spacing": 1.5, "density": "dense"},
]


def _probe(settings):
    lines = []
    for key, value in settings.items():
        value = int(value) if isinstance(value, bool) else value
        lines.append(f"set {key} {value}")
    for name, weight, points in ROADS:
        coords = " ".join(f"{x} {y}" for x, y in points)
        lines.append(f"road {name} {weight} {len(points)} {coords}")
    done = subprocess.run([PROBE], input="\n".join(lines) + "\n", capture_output=True,
                          text=True, encoding="utf-8", check=True)
    return [tuple(line.split(" ", 3)) for line in done.stdout.splitlines()]


@pytest.mark.parametrize("settings", SETTINGS)
def test_the_native_pipeline_keeps_what_prepare_data_keeps(make_engine, tmp_path, settings):
    path = write_roads(tmp_path / "roads.shp", [LineString(p) for _, _, p in ROADS],
                       name=[n for n, _, _ in ROADS], weight=[w for _, w, _ in ROADS])
    labels, _ = make_engine(path, **settings)._prepare_data()
    expected = [(str(label["id"]), str(int(label["hidden"])), float(label["distance"]).hex(),
                 label.get("effective_text", label["text"])) for label in labels]
    got = [(i, h, float.fromhex(d).hex(), t) for i, h, d, t in _probe(settings)]
    assert got == expected
    assert any(h == "0" for _, h, _, _ in got)
