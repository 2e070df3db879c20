"""What is checked around the reading of a road file, before anything else sees it.

- Encodings: a shapefile's text is read as its ``.cpg``, else its dBASE
  code-page byte (LDID), declares; where it declares nothing, or what it
  declares does not fit the bytes, the native module picks UTF-8, GB18030
  or the declaration with replacement from the bytes themselves, and one
  warning says so. ``encoding=`` forces one; a value it cannot decode is an
  error naming the file, the column and the row.
- Damaged files: a ``.shp`` cut short, a ``.shx`` or ``.dbf`` that disagrees
  with it, a GeoPackage geometry blob GDAL cannot read. Each is an error
  naming the file and what is wrong, or with ``skip_bad_rows`` one warning
  with the number of rows skipped.
- Unusable coordinates (NaN, infinities, values that overflow in
  reprojection): the rows holding them are dropped with one warning, so
  that neither the choice of a UTM zone nor reprojection ever sees them.

The byte rules are native (glyphway_accel_avx2); this module finds the
files, asks, and applies the answers to the table.
"""
from __future__ import annotations

import codecs
import os
import sys
from typing import Any, NamedTuple, Optional

import numpy

_WARNING = "[glyphway_maker] WARNING: "
# A codec name that decodes as the named codec, with U+FFFD for what does not.
_REPLACING = "glyphway_replacing_"


def _replacing_codec(name: str) -> Optional[codecs.CodecInfo]:
    if not name.startswith(_REPLACING):
        return None
    base = codecs.lookup(name[len(_REPLACING):])

    def decode(data: Any, errors: str = "strict") -> tuple:
        return base.decode(data, "replace")

    return codecs.CodecInfo(base.encode, decode, name=name)


codecs.register(_replacing_codec)


def _warn(text: str) -> None:
    print(_WARNING + text, file=sys.stderr)


class ShapefileParts(NamedTuple):
    shp: str
    shx: Optional[str]
    dbf: Optional[str]
    cpg: Optional[str]


def _sibling(shp: str, extension: str) -> Optional[str]:
    stem = shp[:-4]
    for candidate in (stem + extension.lower(), stem + extension.upper()):
        if os.path.isfile(candidate):
            return candidate
    return None


def shapefile_parts(path: Any) -> Optional[ShapefileParts]:
    """The parts of the shapefile at `path`, when it is a local .shp."""
    if not isinstance(path, (str, os.PathLike)):
        return None
    text = os.fspath(path)
    if not isinstance(text, str) or not text.lower().endswith(".shp"):
        return None
    text = os.path.expanduser(text)
    if not os.path.isfile(text):
        return None
    return ShapefileParts(text, _sibling(text, ".shx"), _sibling(text, ".dbf"),
                          _sibling(text, ".cpg"))


def _native() -> Any:
    import glyphway_accel_avx2

    return glyphway_accel_avx2


def _fs(path: Optional[str]) -> Optional[bytes]:
    return None if path is None else os.fsencode(path)


def _declared_encoding(parts: ShapefileParts) -> tuple:
    """(codec or '' for the declaration, replace, reason or '')."""
    cpg = None
    if parts.cpg is not None:
        with open(parts.cpg, "rb") as f:
            cpg = f.read(4096).decode("ascii", "replace")
    codec, replace, reason = _native()._dbf_encoding(_fs(parts.dbf), cpg)
    return codec, replace, os.fsdecode(reason)


def _damage(parts: ShapefileParts) -> tuple:
    rows, problems, bad = _native()._shapefile_damage(_fs(parts.shp), _fs(parts.shx),
                                                      _fs(parts.dbf))
    return rows, [os.fsdecode(p) for p in problems], bad


class ReadPlan(NamedTuple):
    """How the general reader reads a file, and what it then drops."""

    encoding: Optional[str]      # for geopandas.read_file; None: as the file declares
    bad_rows: Any                # row positions of a damaged shapefile to drop
    parts: Optional[ShapefileParts]


def reads_as_declared(path: str) -> bool:
    """Whether the short read may take the shapefile at `path` as it is:
    nothing damaged, and its text read as it declares without a word."""
    parts = shapefile_parts(path)
    if parts is None:
        return True  # a GeoPackage's blobs are looked at once read (blobs_read)
    if parts.dbf is None or parts.shx is None:
        return True  # GDAL reports it
    try:
        codec, _, reason = _declared_encoding(parts)
        _, problems, _ = _damage(parts)
    except ValueError:
        return False  # the general reader reports it
    return not codec and not reason and not problems


def plan_read(path: Any, reading: dict) -> ReadPlan:
    """The encoding to read `path` with and the damaged rows to drop, with
    the warnings that go with them; a damaged file without
    ``skip_bad_rows`` is a ValueError naming the file and what is wrong."""
    parts = shapefile_parts(path)
    forced = reading.get("encoding")
    bad_rows = numpy.zeros(0, dtype=numpy.int64)
    if parts is None or parts.dbf is None or parts.shx is None:
        return ReadPlan(forced, bad_rows, parts)
    rows, problems, bad = _damage(parts)
    if problems:
        if not reading.get("skip_bad_rows"):
            raise ValueError(f"damaged shapefile {parts.shp}: " + "; ".join(problems) +
                             " (skip_bad_rows=True or --skip-bad-rows reads its good rows)")
        _warn(f"{parts.shp}: skipped {len(bad)} damaged row(s) of {rows}: {problems[0]}")
        bad_rows = numpy.asarray(bad, dtype=numpy.int64)
    if forced is not None:
        return ReadPlan(forced, bad_rows, parts)
    codec, replace, reason = _declared_encoding(parts)
    if reason:
        shown = codec or "declared"
        _warn(f"{parts.dbf}: text read as {shown}: {reason}")
    encoding = (_REPLACING + codec if replace else codec) or None
    return ReadPlan(encoding, bad_rows, parts)


def decode_error(plan: ReadPlan, error: UnicodeDecodeError) -> ValueError:
    """The error of a forced encoding that does not fit, naming the file,
    and in a shapefile the column and the row."""
    if plan.parts is not None and plan.parts.dbf is not None:
        for name, values in _native()._dbf_text_columns(_fs(plan.parts.dbf)):
            for row, value in enumerate(values):
                try:
                    value.decode(plan.encoding)
                except UnicodeDecodeError as e:
                    return ValueError(
                        f"{plan.parts.dbf}: the column {os.fsdecode(name)!r} of row {row} "
                        f"(counted from 0; record {row + 1} of the file) does "
                        f"not decode as {plan.encoding}: {e.reason} at byte {e.start} "
                        f"({value!r})")
    return ValueError(f"the text does not decode as {plan.encoding}: {error}")


def _is_geopackage(path: Any) -> bool:
    return isinstance(path, (str, os.PathLike)) and \
        str(os.fspath(path)).lower().endswith(".gpkg")


def blobs_read(path: Any, geometry_missing: Any) -> bool:
    """Whether GDAL read every geometry blob of the GeoPackage `path` (any
    other file: True), given which rows it read without geometry."""
    if not _is_geopackage(path):
        return True
    return len(_unread_blobs(os.path.expanduser(os.fspath(path)), geometry_missing, None)) == 0


def _unread_blobs(path: str, geometry_missing: Any, layer: Optional[str]) -> Any:
    """Row positions of a GeoPackage whose geometry blob is there but GDAL
    read none (`geometry_missing`: a bool per row read)."""
    import sqlite3

    missing = numpy.flatnonzero(geometry_missing)
    if len(missing) == 0:
        return missing
    with sqlite3.connect(f"file:{path}?mode=ro", uri=True) as db:
        tables = db.execute("SELECT table_name, column_name FROM gpkg_geometry_columns").fetchall()
        if layer is not None:
            tables = [t for t in tables if t[0] == layer]
        if len(tables) != 1:
            return numpy.zeros(0, dtype=numpy.int64)
        table, column = tables[0]
        quoted_table = '"' + table.replace('"', '""') + '"'
        quoted_column = '"' + column.replace('"', '""') + '"'
        present = numpy.array([bool(r[0]) for r in db.execute(
            f"SELECT {quoted_column} IS NOT NULL FROM {quoted_table} ORDER BY rowid")], dtype=bool)
    if len(present) != len(geometry_missing):
        return numpy.zeros(0, dtype=numpy.int64)
    return missing[present[missing]]


def _drop(frame: Any, positions: Any) -> Any:
    keep = numpy.ones(len(frame), dtype=bool)
    keep[positions[positions < len(frame)]] = False
    return frame if keep.all() else frame.iloc[keep]


def checked_frame(path: Any, frame: Any, plan: ReadPlan, reading: dict) -> Any:
    """`frame` without the damaged rows of `plan`, the unreadable geometry
    blobs of a GeoPackage (an error without ``skip_bad_rows``) and the rows
    with unusable coordinates (a warning)."""
    frame = _drop(frame, plan.bad_rows)
    if plan.parts is None and _is_geopackage(path):
        corrupt = _unread_blobs(os.path.expanduser(os.fspath(path)),
                                frame.geometry.isna().to_numpy(), reading.get("layer"))
        if len(corrupt):
            if not reading.get("skip_bad_rows"):
                rows = ", ".join(str(r) for r in corrupt[:5]) + (" ..." if len(corrupt) > 5 else "")
                raise ValueError(f"damaged GeoPackage {os.fspath(path)}: {len(corrupt)} geometry "
                                 f"blob(s) GDAL cannot read, at row(s) {rows} (counted from 0; skip_bad_rows=True "
                                 "or --skip-bad-rows reads the good rows)")
            _warn(f"{os.fspath(path)}: skipped {len(corrupt)} row(s) whose geometry blob GDAL "
                  "cannot read")
            frame = _drop(frame, corrupt)

    return without_unusable_lines(path, frame)


def without_unusable_lines(path: Any, frame: Any) -> Any:
    """`frame` without the lines that hold an unusable coordinate: a
    MultiLineString keeps its good parts, any other row goes whole."""
    import shapely

    geometries = frame.geometry.to_numpy()
    parts, part_row = shapely.get_parts(geometries, return_index=True)
    xyz, owner = shapely.get_coordinates(parts, include_z=True, return_index=True)
    if len(xyz) == 0:
        return frame
    xyz[~shapely.has_z(parts)[owner], 2] = 0.0  # a line without z has none to check
    bad_part = _native()._unusable_rows(xyz, owner, len(parts))
    if not bad_part.any():
        return frame
    _warn(f"{os.fspath(path)}: skipped {int(bad_part.sum())} line(s) with a coordinate that is "
          "not finite or too large to reproject (NaN, inf, 1e308)")
    rows = len(frame)
    bad_rows = numpy.zeros(rows, dtype=bool)
    bad_rows[part_row[bad_part]] = True
    good_parts = numpy.bincount(part_row[~bad_part], minlength=rows)
    multi = shapely.get_type_id(geometries) == 5
    mended = numpy.flatnonzero(bad_rows & multi & (good_parts > 0))
    if len(mended):
        geometries = geometries.copy()
        for row in mended:
            geometries[row] = shapely.MultiLineString(list(parts[(part_row == row) & ~bad_part]))
        frame = frame.copy()
        frame[frame.geometry.name] = type(frame.geometry)(geometries, index=frame.index,
                                                          crs=frame.crs)
        bad_rows[mended] = False
    return frame.iloc[~bad_rows]
