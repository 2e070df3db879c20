"""When the shapefile may be read the short way, and that read.

The short way asks pyogrio for the rows' WKB and only the name and weight
columns; the native module decodes the lines itself. It must give exactly
the table ``geopandas.read_file`` would, so it is taken only when GeoPandas'
own reader would run on pyogrio's NumPy path for a plain local file with a
CRS; everything else (a replaced reader, another engine, Arrow, a URL, a
table without CRS, a column named "geometry", duplicate or date columns,
JSON fields ...) is left to GeoPandas, which then reads it or reports the
problem itself, so such a file gives GeoPandas' own table or error.

An OpenStreetMap file, which GeoPandas would read as its first layer (the
points), is always read here by _sources.read_osm: its road ways' WKB, names
and class weights. A name chain, a source of several layers and GeoParquet
go to the general reader, which applies the layer rule and the chain.
"""
from __future__ import annotations

import os
import warnings
from typing import Any, NamedTuple, Optional

import numpy


# Rows per pyogrio call. A call cannot be interrupted, so Ctrl-C waits for
# it; this many rows read in a small part of a second, and the key press is
# looked at between the calls.
ROWS_PER_READ = 32768


class DirectRead(NamedTuple):
    """What the short read found. Without the name column nothing else is read."""

    has_names: bool
    columns: Any = None     # the name (and weight) column, a _road_input.RoadColumns
    crs: Any = None         # the file's CRS, a pyproj.CRS
    wkb: Any = None         # the rows' WKB, an object array (None for a row without geometry)


def is_plain_reading(reading: dict) -> bool:
    """Whether the reading options are all at their defaults."""
    return all(not value for value in reading.values())


def _geopandas_reads_with_pyogrio() -> bool:
    """Whether ``geopandas.read_file`` is GeoPandas' own reader on pyogrio,
    with pyogrio's NumPy (not Arrow) path."""
    import geopandas
    import geopandas.io.file

    if geopandas.read_file is not geopandas.io.file._read_file:
        return False
    engine = geopandas.options.io_engine
    if engine is not None and not (isinstance(engine, str) and engine == "pyogrio"):
        return False
    if os.environ.get("PYOGRIO_USE_ARROW", "0") != "0":
        return False
    try:
        import pyogrio  # noqa: F401
    except Exception:
        return False
    import shapely

    # Lines built from a dimension, not from the first z, need GEOS 3.12.
    major, minor = shapely.geos_version[0], shapely.geos_version[1]
    return major > 3 or (major == 3 and minor >= 12)


def read_rows(path: str, columns: list, seekable: bool) -> tuple:
    """(meta, wkb, field_data) of the whole layer, exactly as one
    ``pyogrio.raw.read`` gives them, read ROWS_PER_READ rows at a time where
    the driver seeks to a row directly (a shapefile, a GeoPackage); a driver
    that would walk past every skipped row is read in one call, and so is a
    layer whose windows fail to read."""
    import numpy
    import pyogrio

    def read(**window):
        raw = pyogrio.raw.read(path, columns=columns, read_geometry=True,
                               datetime_as_string=True, **window)
        return raw[0], raw[2], raw[3]

    if not seekable:
        return read()
    chunks = []
    try:
        while True:
            chunk = read(skip_features=sum(len(c[1]) for c in chunks), max_features=ROWS_PER_READ)
            if chunk[1] is None:
                return read()  # no geometry column after all: as one read says it
            chunks.append(chunk)
            if len(chunk[1]) < ROWS_PER_READ:
                break
    except pyogrio.errors.DataLayerError:
        # A read of a window may fail where one read does not (a GeoPackage
        # with a broken geometry blob reads it as none): the one read's word.
        return read()
    if len(chunks) == 1:
        return chunks[0]
    meta = chunks[0][0]
    wkb = numpy.concatenate([c[1] for c in chunks])
    field_data = [numpy.concatenate([c[2][k] for c in chunks]) for k in range(len(chunks[0][2]))]
    return meta, wkb, field_data


def read_table(shp_path: Any, name_field: Any, weight_field: Any,
               **reading: Any) -> Optional[DirectRead]:
    """Reads `shp_path` for the name and weight fields, or None when the
    table must be read through GeoPandas. `reading`: the reading options
    (layer, encoding, highway, class_field, skip_bad_rows); any but their
    defaults leave the table to the general reader, except class_field,
    whose column is read with the others and turned into the weights where
    the table has no weight column."""
    from glyphway_maker import _sources

    path = _sources.local_path(shp_path)
    if _sources.is_osm(path):
        return _osm_read(path, name_field, weight_field, reading)
    class_field = reading.pop("class_field", None)
    if not is_plain_reading(reading):
        return None
    if path is None or not _geopandas_reads_with_pyogrio():
        return None
    if not _sources.takes_short_read(path, name_field):
        return None  # a chain, a layer to choose, GeoParquet: the general reader
    from glyphway_maker._input_checks import reads_as_declared

    if not reads_as_declared(path):
        return None  # the general reader warns, decodes otherwise or refuses
    import pyogrio

    # The read that follows gives the file's warnings (a measured type read
    # as plain lines, say); this look at its layout should not give them twice.
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        try:
            info = pyogrio.read_info(path)
        except Exception:
            return None  # GeoPandas reports it
    if info["geometry_type"] is None or info["crs"] is None:
        return None
    fields = info["fields"].tolist()
    if "geometry" in fields or len(set(fields)) != len(fields):
        return None
    if class_field is not None and class_field not in fields:
        raise _sources.missing_column_error(path, class_field, _sources.CLASS_OPTION, fields)
    if name_field not in fields:
        # The full table's columns also hold "geometry".
        if name_field in ("geometry",):
            return None
        return DirectRead(has_names=False)

    # The columns by their names in the file, so that pyogrio is asked for
    # exactly those.
    wanted = []
    for field, dtype in zip(fields, info["dtypes"].tolist()):
        if field not in (name_field,) and field not in (weight_field,) and field != class_field:
            continue
        # Date columns pass through pandas' date parsing in a full read.
        if dtype.startswith("datetime"):
            return None
        wanted.append(field)

    seekable = bool(info.get("capabilities", {}).get("fast_set_next_by_index", False))
    meta, wkb, field_data = read_rows(path, wanted, seekable)
    if any(str(subtype) == "OFSTJSON" for subtype in meta["ogr_subtypes"]):
        return None
    if wkb is None:
        return None
    from glyphway_maker._input_checks import blobs_read

    if not blobs_read(path, numpy.equal(wkb, None)):
        return None  # the general reader refuses the file or skips those rows

    import pandas
    import pyproj

    from glyphway_maker._road_input import attribute_columns

    # The attribute table as pyogrio builds it from the same arrays (pandas
    # may give a column another dtype than pyogrio's array has, text say).
    columns = meta["fields"].tolist()
    data = {column: field_data[k] for k, column in enumerate(columns)}
    attributes = pandas.DataFrame(data, columns=columns, index=None)
    road_columns = attribute_columns(attributes, name_field, weight_field)
    if (class_field is not None and road_columns.weights is None
            and isinstance(weight_field, str)):
        road_columns = road_columns._replace(weights=_sources.class_weights(
            attributes[class_field].to_numpy(dtype=object)))
    return DirectRead(True, road_columns, pyproj.CRS.from_user_input(meta["crs"]), wkb)


def _osm_read(path: str, name_field: Any, weight_field: Any, reading: dict) -> DirectRead:
    """An OpenStreetMap file's roads, read by _sources.read_osm: the ways'
    WKB from GDAL's OSM driver, decoded natively like any short read."""
    from glyphway_maker import _sources
    from glyphway_maker._road_input import RoadColumns

    roads = _sources.read_osm(path, name_field, weight_field, reading.get("layer"),
                              reading.get("highway"), reading.get("class_field"))
    if not roads.has_names:
        return DirectRead(has_names=False)
    return DirectRead(True, RoadColumns(roads.names, roads.weights, None), roads.crs, roads.wkb)
