"""The road table as plain arrays, for the native module to turn into its roads.

Reading goes one way: the file (pyogrio, or ``geopandas.read_file``) gives a
table, this module takes the columns and the geometry that labelling reads
out of it with a few vectorised calls, and the native module converts those
arrays into roads. Which rows are roads, how a name is cleaned and what a
weight becomes are the native module's rules; nothing here looks at a row.

A value is handed down as the table's row iteration (``iterrows``) would
give it: each row is a slice of the table interleaved to one common dtype,
so a column is converted to that dtype. For a table with a geometry column
that dtype is object, which keeps every value as its column holds it (a
Python int stays an int).
"""
from __future__ import annotations

from typing import Any, NamedTuple, Optional

import numpy

# GEOS's type ids of the geometries that give lines.
_LINE_STRING, _LINEAR_RING, _MULTI_LINE_STRING = 1, 2, 5


class RoadColumns(NamedTuple):
    """The columns labelling reads, one value per row, in table order."""

    names: Any            # a 1-D array: the name column's values
    weights: Any          # the same for the weight column; None when the table has none
    labels: Optional[list]  # each row's index label; None: its position


class RowLines(NamedTuple):
    """Every row's geometry as the lines it gives, with their coordinates.

    A LineString (a LinearRing too) gives itself, a MultiLineString its
    parts, anything else nothing; row r owns lines[first_line[r]:first_line[r + 1]]
    and line k the coordinate rows xyz[first_point[k]:first_point[k + 1]].
    """

    type_ids: Any      # int32, per row: its GEOS type id (-1: no geometry)
    first_line: Any    # int64, rows + 1 entries
    lines: Any         # object array of the Shapely lines, in row order
    first_point: Any   # int64, lines + 1 entries
    xyz: Any           # float64, (points, 3): x, y, z (NaN for z of a line without z)
    has_z: Any         # bool, per line


class FrameRows(NamedTuple):
    columns: RoadColumns
    lines: RowLines


def read_frame(path: Any, name_field: Any = None, weight_field: Any = None,
               **reading: Any) -> Any:
    """The road table as a GeoDataFrame, read by ``geopandas.read_file``
    with the reading options (layer, encoding, highway, class_field,
    skip_bad_rows); OpenStreetMap and GeoParquet sources, the layer rule,
    name chains and class weights by _sources."""
    import geopandas

    from glyphway_maker import _sources
    from glyphway_maker._input_checks import (checked_frame, decode_error, plan_read,
                                              without_unusable_lines)

    frame = _sources.read_source_frame(path, name_field, weight_field, reading)
    if frame is None:
        plan = plan_read(path, reading)
        keywords = _sources.general_read_keywords(path, reading)
        if plan.encoding is not None:
            keywords["encoding"] = plan.encoding
        try:
            frame = geopandas.read_file(path, **keywords)
        except UnicodeDecodeError as e:
            raise decode_error(plan, e) from None
        frame = checked_frame(path, frame, plan, dict(reading, layer=keywords.get("layer")))
        frame = _sources.with_class_weights(_sources.local_path(path) or path, frame,
                                            weight_field, reading.get("class_field"))
    else:
        frame = without_unusable_lines(path, frame)
    return _sources.with_name_chain(frame, name_field)


def _column(table: Any, column: Any, dtype: Any) -> Any:
    values = table[column].to_numpy(dtype=dtype)
    if values.ndim != 1:
        raise ValueError(f"the column {column!r} is not unique in the shapefile")
    return values


def _columns(table: Any, name_field: Any, weight_field: Any, dtype: Any,
             labels: Optional[list]) -> RoadColumns:
    names = _column(table, name_field, dtype)
    weights = None
    if weight_field in table.columns.tolist():
        weights = _column(table, weight_field, dtype)
    return RoadColumns(names, weights, labels)


def attribute_columns(attributes: Any, name_field: Any, weight_field: Any) -> RoadColumns:
    """The columns of a table read without its geometry column: the values
    the full table's rows (of object dtype, for their geometry) would hold;
    each row labelled by its position."""
    return _columns(attributes, name_field, weight_field, object, None)


def _offsets(counts: Any) -> Any:
    """Where each run of `counts` starts, and one past the last."""
    out = numpy.zeros(len(counts) + 1, dtype=numpy.int64)
    numpy.cumsum(counts, out=out[1:])
    return out


def _row_lines(geometries: Any) -> tuple:
    """The rows' type ids, where their lines start, and the lines."""
    import shapely

    geoms = numpy.asarray(geometries)
    if geoms.ndim != 1 or geoms.dtype.kind != "O":
        raise TypeError("expected a one-dimensional array of geometries")
    type_ids = shapely.get_type_id(geoms).astype(numpy.int32, copy=False)
    single = (type_ids == _LINE_STRING) | (type_ids == _LINEAR_RING)
    multi_rows = numpy.flatnonzero(type_ids == _MULTI_LINE_STRING)
    parts, part_owner = shapely.get_parts(geoms[multi_rows], return_index=True)
    parts_per_multi = numpy.bincount(part_owner, minlength=len(multi_rows))

    line_count = single.astype(numpy.int64)
    line_count[multi_rows] = parts_per_multi
    first_line = _offsets(line_count)
    lines = numpy.empty(int(first_line[-1]), dtype=object)
    lines[first_line[:-1][single]] = geoms[single]
    # A part's place: its row's first line, then its rank among the row's parts.
    rank = numpy.arange(len(parts)) - _offsets(parts_per_multi)[:-1][part_owner]
    lines[first_line[multi_rows][part_owner] + rank] = parts
    return type_ids, first_line, lines


def _coordinates(lines: Any) -> tuple:
    """The lines' coordinates, with one call for all of them."""
    import shapely

    xyz, owner = shapely.get_coordinates(lines, include_z=True, return_index=True)
    first_point = _offsets(numpy.bincount(owner, minlength=len(lines)))
    return first_point, numpy.ascontiguousarray(xyz, dtype=numpy.float64), shapely.has_z(lines)


def frame_rows(frame: Any, geometry: Any, name_field: Any, weight_field: Any) -> FrameRows:
    """The rows of a GeoDataFrame `frame` whose geometry, already in the
    working system, is the GeoSeries `geometry`."""
    type_ids, first_line, lines = _row_lines(geometry.to_numpy())
    common = frame.iloc[0:0].values.dtype
    columns = _columns(frame, name_field, weight_field, common, list(frame.index))
    if len(columns.labels) != len(type_ids):
        raise ValueError("the shapefile's table and geometries differ in length")
    first_point, xyz, has_z = _coordinates(lines)
    return FrameRows(columns, RowLines(type_ids, first_line, lines, first_point, xyz, has_z))
