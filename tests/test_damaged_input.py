"""Reading road files as users get them: text in GBK or UTF-8 whatever the
file declares, files cut short or whose parts disagree, unreadable
geometry blobs, and coordinates that are not numbers."""
import math
import sqlite3
import struct
import subprocess
import sys
import warnings

import geopandas as gpd
import pytest
from shapely.geometry import LineString

import glyphway_maker

NAMES = ["中山路", "深南大道", "G107国道"]
WARNING = "[glyphway_maker] WARNING: "


def _lines(count, y0=0.0):
    return [LineString([(0.0, y0 + 0.01 * i), (0.02, y0 + 0.01 * i)]) for i in range(count)]


def _write(path, geometries, names, crs="EPSG:4326"):
    frame = gpd.GeoDataFrame({"name": names}, geometry=geometries, crs=crs)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        frame.to_file(str(path))
    return path


def _dbf_with_text(tmp_path, values, codec, ldid, cpg):
    """A shapefile whose name field holds `values` encoded with `codec`,
    its LDID byte `ldid`, and a .cpg holding `cpg` (None: no .cpg)."""
    shp = _write(tmp_path / "roads.shp", _lines(len(values)), ["x" * 24] * len(values))
    (tmp_path / "roads.cpg").unlink(missing_ok=True)
    dbf = bytearray((tmp_path / "roads.dbf").read_bytes())
    header, record = int.from_bytes(dbf[8:10], "little"), int.from_bytes(dbf[10:12], "little")
    for row, value in enumerate(values):
        at = header + row * record + 1
        dbf[at:at + 24] = value.encode(codec).ljust(24, b" ")
    dbf[29] = ldid
    (tmp_path / "roads.dbf").write_bytes(bytes(dbf))
    if cpg is not None:
        (tmp_path / "roads.cpg").write_text(cpg)
    return shp


def _texts(shp, font, **options):
    frame = glyphway_maker.place_labels(str(shp), font_path=font, distance_interval=500.0,
                                        font_size=15.0, **options)
    return sorted(set(frame["text"]))


def _warnings(captured):
    """The reading's warnings (the tiny test font lacks most glyphs: not those)."""
    return [line for line in captured.err.splitlines()
            if line.startswith(WARNING) and "have no glyph in the font" not in line]


LATIN = ["Praça do Comércio", "Straße"]


@pytest.mark.parametrize("values, codec, ldid, cpg, read_as", [
    (NAMES, "gbk", 0x00, None, "gb18030"),
    (NAMES, "utf-8", 0x00, None, "utf-8"),
    (NAMES, "utf-8", 0x4D, None, "utf-8"),       # UTF-8 under a GBK code-page byte
    (NAMES, "gbk", 0x4D, None, None),            # as declared: silent
    (NAMES, "gbk", 0x57, None, "gb18030"),       # GBK under a Latin code-page byte
    (NAMES, "utf-8", 0x57, None, "utf-8"),
    (LATIN, "cp1252", 0x57, None, None),         # Latin text that happens to be valid GBK
    (NAMES, "gbk", 0x00, "XYZ123", "gb18030"),   # a .cpg naming an unknown code page
    (NAMES, "gbk", 0x00, "UTF-8", "gb18030"),    # a .cpg saying UTF-8 over GBK bytes
    (NAMES, "utf-8", 0x00, "UTF-8\n", None),
    (["Main St"], "ascii", 0x00, None, None),    # nothing to decide
])
def test_text_is_read_as_its_bytes_show_with_one_warning(tmp_path, ttf_font, capsys, values,
                                                         codec, ldid, cpg, read_as):
    shp = _dbf_with_text(tmp_path, values, codec, ldid, cpg)
    assert _texts(shp, ttf_font) == sorted(values)
    lines = _warnings(capsys.readouterr())
    if read_as is None:
        assert lines == []
    else:
        assert len(lines) == 1
        assert str(tmp_path / "roads.dbf") in lines[0] and f"read as {read_as}" in lines[0]


def test_a_forced_encoding_that_does_not_fit_names_file_column_and_row(tmp_path, ttf_font):
    shp = _dbf_with_text(tmp_path, ["Main St", *NAMES], "gbk", 0x00, None)
    assert _texts(shp, ttf_font, encoding="gbk") == sorted(["Main St", *NAMES])
    with pytest.raises(ValueError, match=r"roads\.dbf: the column 'name' of row 1 \(counted "
                                         r"from 0; record 2 of the file\) does not decode as "
                                         r"utf-8"):
        _texts(shp, ttf_font, encoding="utf-8")
    result = subprocess.run([sys.executable, "-m", "glyphway_maker", "csv", str(shp),
                             str(tmp_path / "out.csv"), "--font", ttf_font, "--encoding", "utf-8"],
                            capture_output=True, text=True)
    assert result.returncode == 1 and "of row 1 (counted from 0" in result.stderr
    assert "does not decode as utf-8" in result.stderr


def test_no_control_character_reaches_a_label(tmp_path, ttf_font):
    shp = _write(tmp_path / "roads.shp", _lines(3), ["中\x01山路", "Main\tSt", "\x85B\x9b Rd\r\n"])
    assert _texts(shp, ttf_font) == ["B Rd", "Main St", "中山路"]


# --- Damaged shapefiles ------------------------------------------------------

def _cut_shp(tmp_path):
    shp = tmp_path / "roads.shp"
    data = shp.read_bytes()
    shp.write_bytes(data[:100 + 7 * 88 + 40])  # record 8 (88 bytes each) cut mid-way


def _short_dbf(tmp_path):
    dbf = tmp_path / "roads.dbf"
    data = bytearray(dbf.read_bytes())
    header, record = int.from_bytes(data[8:10], "little"), int.from_bytes(data[10:12], "little")
    data[4:8] = (7).to_bytes(4, "little")
    dbf.write_bytes(bytes(data[:header + 7 * record]))


def _wrong_shx(tmp_path):
    shx = tmp_path / "roads.shx"
    data = bytearray(shx.read_bytes())
    at = 100 + 8 * 3  # record 4's offset, moved into record 3
    data[at:at + 4] = (int.from_bytes(data[at:at + 4], "big") - 10).to_bytes(4, "big")
    shx.write_bytes(bytes(data))


@pytest.mark.parametrize("damage, message, good", [
    (_cut_shp, r"record 8 of .*roads\.shp runs past the end of the file", range(7)),
    (_short_dbf, r"the table has 7 records, the geometry 10", range(7)),
    (_wrong_shx, r"roads\.shx's entry for record 4 .* does not match", [0, 1, 2, *range(4, 10)]),
])
def test_a_damaged_shapefile_is_refused_or_read_for_its_good_rows(tmp_path, ttf_font, capsys,
                                                                  damage, message, good):
    names = [f"Road {i}" for i in range(10)]
    shp = _write(tmp_path / "roads.shp", _lines(10), names)
    damage(tmp_path)
    with pytest.raises(ValueError, match=r"damaged shapefile .*roads\.shp: .*" + message):
        _texts(shp, ttf_font)
    capsys.readouterr()
    assert _texts(shp, ttf_font, skip_bad_rows=True) == sorted(names[i] for i in good)
    lines = _warnings(capsys.readouterr())
    assert len(lines) == 1 and f"skipped {10 - len(good)} damaged row(s) of" in lines[0]

    command = [sys.executable, "-m", "glyphway_maker", "csv", str(shp), str(tmp_path / "o.csv"),
               "--font", ttf_font]
    refused = subprocess.run(command, capture_output=True, text=True)
    assert refused.returncode == 1 and "damaged shapefile" in refused.stderr
    skipped = subprocess.run(command + ["--skip-bad-rows"], capture_output=True, text=True)
    assert skipped.returncode == 0 and "damaged row(s)" in skipped.stderr


def test_a_corrupt_geopackage_blob_is_refused_or_skipped(tmp_path, ttf_font, capsys):
    path = tmp_path / "roads.gpkg"
    names = [f"Road {i}" for i in range(6)]
    gpd.GeoDataFrame({"name": names}, geometry=_lines(6), crs="EPSG:4326").to_file(str(path))
    with sqlite3.connect(path) as db:
        # The R-tree triggers call spatial functions plain SQLite lacks.
        for function in ("ST_IsEmpty", "ST_MinX", "ST_MaxX", "ST_MinY", "ST_MaxY"):
            db.create_function(function, 1, lambda blob: 0)
        db.execute("UPDATE roads SET geom = X'4750000300DEADBEEF' WHERE fid = 3")
    with pytest.raises(ValueError, match=r"damaged GeoPackage .*roads\.gpkg: 1 geometry blob"):
        _texts(path, ttf_font)
    capsys.readouterr()
    assert _texts(path, ttf_font, skip_bad_rows=True) == sorted(names[:2] + names[3:])
    assert len(_warnings(capsys.readouterr())) == 1


@pytest.mark.filterwarnings("ignore:invalid value encountered")
@pytest.mark.parametrize("use_utm", [False, True])
@pytest.mark.parametrize("crs", ["EPSG:4326", "EPSG:3857"])
def test_lines_with_unusable_coordinates_are_dropped_with_one_warning(tmp_path, ttf_font, capsys,
                                                                      use_utm, crs):
    scale = 1.0 if crs == "EPSG:4326" else 100000.0
    x, y = 114.0 * scale, 22.5 * scale
    lines = [LineString([(x, y + i, 0.0), (x + 0.02 * scale, y + i, 0.0)]) for i in range(7)]
    # The writer refuses what is not finite: written as stand-ins, patched in the bytes.
    stand_ins = {3: (1, 11.125, math.nan), 4: (0, 12.375, math.inf), 5: (1, 13.625, 1e308),
                 6: (2, 14.875, math.nan)}
    for row, (axis, stand_in, _) in stand_ins.items():
        start = list(lines[row].coords[0])
        start[axis] = stand_in
        lines[row] = LineString([start, lines[row].coords[1]])
    shp = _write(tmp_path / "roads.shp", lines, ["A", "B", "C", "nan y", "inf x", "huge y",
                                                 "nan z"], crs=crs)
    data = shp.read_bytes()
    for _, stand_in, value in stand_ins.values():
        data = data.replace(struct.pack("<d", stand_in), struct.pack("<d", value))
    shp.write_bytes(data)
    assert _texts(shp, ttf_font, use_utm=use_utm) == ["A", "B", "C"]
    lines = _warnings(capsys.readouterr())
    assert len(lines) == 1 and "skipped 4 line(s) with a coordinate" in lines[0]


def test_text_past_the_first_megabytes_of_a_table_still_decides(tmp_path):
    # The .dbf is scanned 8 MiB at a time: one GBK name in the last
    # record of a table of ASCII names must still overrule its UTF-8 .cpg.
    names = ["Main St"] * 120_000 + ["深南大道"]
    _dbf_with_text(tmp_path, names, "gbk", 0x00, "UTF-8")
    assert (tmp_path / "roads.dbf").stat().st_size > (8 << 20)
    codec, _, reason = glyphway_maker.glyphway_accel_avx2._dbf_encoding(
        bytes(tmp_path / "roads.dbf"), "UTF-8")
    assert codec == "gb18030" and b"UTF-8" in reason
