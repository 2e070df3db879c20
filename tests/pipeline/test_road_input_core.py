"""The run's first steps in the core alone: tests/native/road_input_probe.cpp
runs pipeline::load_roads against a scripted host and lists what it asks of
the host, in order."""
import os
import subprocess
from pathlib import Path

import pytest

_BIN_DIR = os.environ.get("GLYPHWAY_NATIVE_BIN")
if not _BIN_DIR or not (Path(_BIN_DIR) / "road_input_probe").exists():
    pytest.skip("native test programs not built (set GLYPHWAY_NATIVE_BIN)", allow_module_level=True)
PROBE = str(Path(_BIN_DIR) / "road_input_probe")

LOADING = "progress [glyphway_maker] Loading Data & CRS Setup..."
SAMPLING = "progress [glyphway_maker] Sampling along 3D polylines..."


def calls(has_names, use_utm, lon=0.0, lat=0.0):
    args = [PROBE, str(int(has_names)), str(int(use_utm)), repr(lon), repr(lat)]
    return subprocess.run(args, capture_output=True, text=True, check=True).stdout.splitlines()


def test_web_mercator_never_asks_for_the_centre():
    assert calls(True, False) == [LOADING, "open_roads", "use_utm", "reproject EPSG:3857",
                                  SAMPLING, "read_rows", "crs EPSG:3857"]


def test_utm_is_the_zone_around_the_centre():
    assert calls(True, True, 116.4, -39.9) == [
        LOADING, "open_roads", "use_utm", "geographic_centre", "reproject EPSG:32750",
        SAMPLING, "read_rows", "crs EPSG:32750"]


def test_a_missing_name_column_asks_nothing_more():
    assert calls(False, True) == [
        LOADING, "open_roads", "name_field",
        "progress [glyphway_maker] WARNING: Field '名字' NOT FOUND in shapefile.", "none"]


@pytest.mark.parametrize("lon, lat", [(181.0, 0.0), (0.0, -91.0), (float("nan"), 0.0)])
def test_a_centre_off_the_globe_stops_before_reprojecting(lon, lat):
    out = calls(True, True, lon, lat)
    assert out[:4] == [LOADING, "open_roads", "use_utm", "geographic_centre"]
    assert len(out) == 5 and out[4].startswith("no_utm_zone ")
