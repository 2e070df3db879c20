"""Placement that reuses earlier passes' frames, centres and solver runs
leaves every record as placement starting each pass afresh does, to the bit.

tests/native/placement_probe.cpp places random networks both ways (sizes,
crowding, densities, postures, repeat modes, pass counts, fitted sizes that
make added labels collide, hidden records) and compares the records."""
import os
import subprocess
from pathlib import Path

import pytest

_BIN_DIR = os.environ.get("GLYPHWAY_NATIVE_BIN")
if not _BIN_DIR or not (Path(_BIN_DIR) / "placement_probe").exists():
    pytest.skip("native test programs not built (set GLYPHWAY_NATIVE_BIN)", allow_module_level=True)
PROBE = str(Path(_BIN_DIR) / "placement_probe")


@pytest.mark.parametrize("first", range(0, 400, 100))
def test_reuse_leaves_the_records_of_a_fresh_run(first):
    done = subprocess.run([PROBE, str(first), "100"], capture_output=True, text=True, timeout=300)
    lines = done.stdout.splitlines()
    assert done.returncode == 0, lines[-1:] + [done.stderr]
    assert len(lines) == 100 and all(l.startswith("same ") for l in lines)
    # The networks are not trivial: labels beyond the anchors get kept.
    assert sum(int(l.split()[2]) for l in lines) > 1000
