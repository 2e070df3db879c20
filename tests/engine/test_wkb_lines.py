"""The native WKB decoder (run through tests/native/wkb_probe.cpp) against
Shapely's own reading, in both byte orders and both ways of marking z."""
import os
import subprocess
from pathlib import Path

import numpy as np
import pytest
import shapely

_BIN_DIR = os.environ.get("GLYPHWAY_NATIVE_BIN")
if not _BIN_DIR or not (Path(_BIN_DIR) / "wkb_probe").exists():
    pytest.skip("native test programs not built (set GLYPHWAY_NATIVE_BIN)", allow_module_level=True)
PROBE = str(Path(_BIN_DIR) / "wkb_probe")


def _decode(rows):
    text = "\n".join("-" if r is None else (r if isinstance(r, str) else r.hex()) for r in rows)
    done = subprocess.run([PROBE], input=text + "\n", capture_output=True, text=True, check=True)
    out = []
    for line in done.stdout.splitlines():
        head, *values = line.split(" ")
        if values:  # C's %a and Python's float.hex spell a double differently
            values[1:] = [float.fromhex(v).hex() for v in values[1:]]
        out.append(" ".join([head] + values))
    return out


def _expected(geometry):
    if geometry is None:
        return ["none"]
    kind = shapely.get_type_id(geometry)
    if kind not in (1, 5):
        return ["other"]
    out = ["line_string" if kind == 1 else "multi_line_string"]
    for part in shapely.get_parts(geometry) if kind == 5 else [geometry]:
        z = shapely.has_z(part)
        coords = shapely.get_coordinates(part, include_z=z)
        out.append(" ".join([("z" if z else "xy"), str(len(coords))]
                            + [float(v).hex() for v in np.asarray(coords).ravel()]))
    return out


GEOMETRIES = [
    "LINESTRING (0 0, 10.5 -3, 1e300 5e-324)",
    "LINESTRING Z (1 2 3, 4 5 6)",
    "LINESTRING EMPTY",
    "MULTILINESTRING ((0 0, 1 1), (2 2, 3 3, 4 4))",
    "MULTILINESTRING Z ((0 0 9, 1 1 8), EMPTY)",
    "MULTILINESTRING EMPTY",
    "POINT (1 2)",
    "POLYGON ((0 0, 1 0, 1 1, 0 0))",
    "GEOMETRYCOLLECTION (LINESTRING (0 0, 1 1))",
    "LINESTRING (0 0, nan 1, 2 2)",
]


@pytest.mark.filterwarnings("ignore:invalid value:RuntimeWarning")  # the NaN line
@pytest.mark.parametrize("byte_order", [0, 1])
@pytest.mark.parametrize("flavor", ["iso", "extended"])
def test_rows_decode_as_shapely_reads_them(byte_order, flavor):
    geometries = [shapely.from_wkt(g) for g in GEOMETRIES] + [None]
    rows = [None if g is None else shapely.to_wkb(g, byte_order=byte_order, flavor=flavor)
            for g in geometries]
    expected = [line for g in geometries for line in _expected(g)]
    assert _decode(rows) == expected


def test_a_leading_srid_is_skipped():
    line = shapely.set_srid(shapely.from_wkt("LINESTRING Z (1 2 3, 4 5 6)"), 4326)
    assert _decode([shapely.to_wkb(line, include_srid=True)]) == _expected(line)


@pytest.mark.parametrize("row", [
    shapely.to_wkb(shapely.from_wkt("LINESTRING M (0 0 1, 1 1 2)"), flavor="iso"),
    shapely.to_wkb(shapely.from_wkt("LINESTRING ZM (0 0 1 1, 1 1 2 2)"), flavor="iso"),
    "0102000000010000000000000000000000000000000000000000",   # a line of one point
    "010200000002000000000000000000000000",                   # ends early
    shapely.to_wkb(shapely.from_wkt("LINESTRING (0 0, 1 1)")).hex() + "00",  # runs on
    "01d2040000",                                             # an unknown type code
], ids=["M", "ZM", "one_point", "truncated", "trailing", "unknown"])
def test_what_the_decoder_leaves_to_the_host(row):
    assert _decode([shapely.to_wkb(shapely.from_wkt("LINESTRING (0 0, 1 1)")), row]) == [
        "unsupported"]
