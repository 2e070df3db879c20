"""Runs tests/native/cartographic_probe.cpp on roads given as point lists."""
import os
import resource
import subprocess
from dataclasses import dataclass, field
from pathlib import Path

import pytest

_BIN_DIR = os.environ.get("GLYPHWAY_NATIVE_BIN")
PROBE = Path(_BIN_DIR) / "cartographic_probe" if _BIN_DIR else None


@dataclass
class Glyph:
    distance: float
    x: float
    y: float
    dx: float
    dy: float
    width: float
    height: float


@dataclass
class Label:
    feature: int
    road: int
    reversed: bool
    start: float
    length: float
    font_size: float
    text: str
    glyphs: list = field(default_factory=list)


@dataclass
class Placement:
    roads: list    # (feature, pieces, length) per merged road
    labels: list


# A probe that runs away (a loop filling memory) fails here with bad_alloc
# instead of filling the machine.
PROBE_MEMORY = 2 << 30


def _limit_memory():
    resource.setrlimit(resource.RLIMIT_AS, (PROBE_MEMORY, PROBE_MEMORY))


def run_probe(roads, **settings):
    """roads: (name, weight, [(x, y), ...]) per feature."""
    lines = [f"set {k} {v}" for k, v in settings.items()]
    for name, weight, points in roads:
        coords = " ".join(f"{x!r} {y!r}" for x, y in points)
        lines.append(f"road {name} {weight} {len(points)} {coords}")
    done = subprocess.run([str(PROBE)], input="\n".join(lines) + "\n", capture_output=True,
                          text=True, encoding="utf-8", check=True, preexec_fn=_limit_memory)
    merged, labels = [], []
    for row in done.stdout.splitlines():
        kind, *rest = row.split(" ")
        if kind == "road":
            merged.append((int(rest[1]), int(rest[2]), float(rest[3])))
        elif kind == "label":
            labels.append(Label(int(rest[0]), int(rest[1]), rest[2] == "1", float(rest[3]),
                                float(rest[4]), float(rest[6]), " ".join(rest[7:])))
        else:
            labels[-1].glyphs.append(Glyph(*map(float, rest)))
    return Placement(merged, labels)


@pytest.fixture
def place():
    if PROBE is None or not PROBE.exists():
        pytest.skip("native test programs not built (set GLYPHWAY_NATIVE_BIN)")
    return run_probe
