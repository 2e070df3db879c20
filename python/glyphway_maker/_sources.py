"""The sources beyond a single-layer file: layers, GeoParquet, OpenStreetMap.

Every vector source pyogrio reads is read by ``geopandas.read_file``; this
module only says which layer (the layer rule below) and fills in what a
plain read cannot give:

- a name chain: ``name_field`` "name:zh,name" names the first non-empty
  value of the listed columns, for any source;
- GeoParquet, which the pyogrio wheel's GDAL has no driver for, read by
  ``geopandas.read_parquet`` (pyarrow underneath);
- OpenStreetMap (``.osm``, ``.osm.pbf``), read through GDAL's OSM driver
  with a configuration of ours that reports exactly the tags labelling
  reads, keeps only the ways that are roads and weights each road by its
  class, so that major roads win collisions.

Layer rule: a source with one layer gives it; with several and none named,
its only line layer, else an error listing the layers. A named layer must
exist; otherwise the error lists the layers.
"""
from __future__ import annotations

import os
import tempfile
from typing import Any, NamedTuple, Optional

import numpy

PARQUET_SUFFIXES = (".parquet", ".geoparquet")
OSM_LAYER = "lines"

# The roads of OpenStreetMap by their highway class, and each class's label
# weight. The solver lets the label with the GREATER weight give way, so the
# classes that should win collisions get the smallest weights (1 is the least
# a weight counts as); a link road weighs what its road does.
ROAD_CLASS_WEIGHTS = {
    "motorway": 1, "motorway_link": 1,
    "trunk": 2, "trunk_link": 2,
    "primary": 3, "primary_link": 3,
    "secondary": 4, "secondary_link": 4,
    "tertiary": 5, "tertiary_link": 5,
    "unclassified": 6,
    "residential": 7,
    "living_street": 8, "pedestrian": 8, "road": 8,
    "service": 9,
}
# A class named with highway= that the table above does not weigh, and
# any class class_field= reads that no table below knows.
OTHER_CLASS_WEIGHT = 10

# The US Census Bureau's TIGER road feature classes (MTFCC), weighed on the
# scale of the OpenStreetMap classes above: a primary road (S1100) as a
# motorway, a secondary road (S1200) as a primary one, a local street
# (S1400) as a residential one; ramps (S1630) as the roads they join,
# tracks, alleys, drives and walkways as service ways, and the rest (paths,
# stairs, bike paths, parking aisles...) as any other class.
MTFCC_CLASS_WEIGHTS = {
    "S1100": 1, "S1200": 3, "S1400": 7, "S1500": 9, "S1630": 4, "S1640": 9,
    "S1730": 9, "S1740": 9,
    "S1710": 10, "S1720": 10, "S1750": 10, "S1780": 10, "S1820": 10, "S1830": 10,
}

# GDAL's own rule for the closed ways that are areas, not lines.
_CLOSED_WAYS_ARE_POLYGONS = (
    "aeroway,amenity,boundary,building,craft,geological,historic,landuse,leisure,military,"
    "natural,office,place,shop,sport,tourism,highway=platform,public_transport=platform")
_OSM_LAYERS = ("points", "lines", "multilinestrings", "multipolygons", "other_relations")


class OsmRoads(NamedTuple):
    """The road ways of an OpenStreetMap file, one entry per way."""

    has_names: bool    # False: no road carries any key of the name chain
    names: Any         # object array: the first non-empty value of the chain
    weights: Any       # object array: the user's weight tag, else the class weight
    crs: Any           # pyproj.CRS
    wkb: Any           # object array of the ways' WKB


def _suffix(path: str) -> str:
    return os.path.basename(path).lower()


def is_osm(path: Any) -> bool:
    """Whether `path` names an OpenStreetMap file: .osm or .osm.pbf, or a
    .pbf that is one (a .pbf may also be a vector tile, read as any other
    source)."""
    if not isinstance(path, str):
        return False
    name = _suffix(path)
    if name.endswith((".osm", ".osm.pbf")):
        return True
    if not name.endswith(".pbf"):
        return False
    # An OSM PBF file opens with the header blob, typed "OSMHeader".
    try:
        with open(path, "rb") as f:
            return b"OSMHeader" in f.read(64)
    except OSError:
        return False  # the general reader reports it


def is_parquet(path: Any) -> bool:
    return isinstance(path, str) and _suffix(path).endswith(PARQUET_SUFFIXES)


def local_path(path: Any) -> Optional[str]:
    """`path` as a local file name (``~`` expanded), or None for a URL or
    something that is no path."""
    if not isinstance(path, (str, os.PathLike)):
        return None
    text = os.fspath(path)
    if not isinstance(text, str) or "://" in text:
        return None
    return os.path.expanduser(text)


def name_chain(name_field: Any) -> Optional[list]:
    """The columns of a chain such as "name:zh-Hans,name:zh,name", or None
    when `name_field` is no chain (a plain column name)."""
    if not isinstance(name_field, str) or "," not in name_field:
        return None
    chain = []
    for part in name_field.split(","):
        part = part.strip()
        if part and part not in chain:
            chain.append(part)
    return chain


def first_non_empty(columns: list) -> Any:
    """Per row, the first value of `columns` (equal-length arrays) that is
    neither missing nor blank text; None where all are."""
    import pandas

    out = numpy.full(len(columns[0]) if columns else 0, None, dtype=object)
    open_rows = numpy.ones(len(out), dtype=bool)
    for values in columns:
        series = pandas.Series(numpy.asarray(values, dtype=object), dtype=object)
        filled = series.notna().to_numpy() & (series.astype(str).str.strip() != "").to_numpy()
        take = open_rows & filled
        out[take] = series.to_numpy()[take]
        open_rows &= ~take
    return out


# --- layers ---------------------------------------------------------------

def _is_line_type(geometry_type: Any) -> bool:
    text = str(geometry_type)
    return "LineString" in text or "Curve" in text


def _layer_list(path: str, layers: Any) -> str:
    return ", ".join(f"{name!r} ({kind})" for name, kind in layers)


def _layers(path: str) -> Any:
    import pyogrio

    return [(str(name), str(kind)) for name, kind in pyogrio.list_layers(path)]


def chosen_layer(path: Any, layer: Any) -> Any:
    """The layer to read from `path` by the layer rule: `layer` itself when
    named (it must exist), None for a source of one layer (read as it is),
    else its only line layer. A source pyogrio cannot list is left to the
    reader, which reports it."""
    local = local_path(path)
    if local is None:
        return layer
    try:
        layers = _layers(local)
    except Exception:
        return layer
    names = [name for name, _ in layers]
    if layer is not None:
        if layer not in names:
            raise ValueError(f"{local}: no layer {layer!r}; its layers: "
                             f"{_layer_list(local, layers)}")
        return layer
    if len(layers) <= 1:
        return None
    lines = [name for name, kind in layers if _is_line_type(kind)]
    if len(lines) == 1:
        return lines[0]
    which = "no line layer" if not lines else "several line layers"
    raise ValueError(f"{local} has {which}; name the one to read with layer= (--layer). "
                     f"Its layers: {_layer_list(local, layers)}")


def has_several_layers(path: str) -> bool:
    try:
        return len(_layers(path)) > 1
    except Exception:
        return False  # the reader reports it


# --- GeoParquet -------------------------------------------------------------

def read_geoparquet(path: str, columns: Optional[list] = None, bbox: Any = None,
                    **filters: Any) -> Any:
    """A GeoParquet file as a GeoDataFrame: only `columns` (and the geometry)
    when given; `bbox` (minx, miny, maxx, maxy) and pyarrow's `filters`
    keep to the row groups and rows that may touch it."""
    import geopandas

    return geopandas.read_parquet(path, columns=columns, bbox=bbox, **filters)


def _parquet_schema(path: str) -> Optional[tuple]:
    """(column names, geometry column) of a GeoParquet file; None when its
    schema cannot be read here."""
    import json

    import pyarrow.parquet

    try:
        schema = pyarrow.parquet.read_schema(path)
    except Exception:
        return None  # read_parquet reports it
    geo = json.loads((schema.metadata or {}).get(b"geo", b"{}") or b"{}")
    return schema.names, geo.get("primary_column")


def _parquet_columns(path: str, wanted: list) -> Optional[list]:
    """The columns of `wanted` that the file has, with its geometry column;
    None (read all) when its schema cannot be read here."""
    schema = _parquet_schema(path)
    if schema is None:
        return None
    names, primary = schema
    picked = [c for c in wanted if c in names and c != primary]
    return picked + ([primary] if primary in names else [])


# --- OpenStreetMap ----------------------------------------------------------

def road_classes(highway: Any) -> list:
    """The highway values that count as roads: `highway` ("a,b,c") or the
    default classes."""
    if highway is None:
        return list(ROAD_CLASS_WEIGHTS)
    if not isinstance(highway, str):
        raise TypeError(f"highway must be a str of comma-separated values, not "
                        f"{type(highway).__name__}")
    classes = []
    for part in highway.split(","):
        part = part.strip()
        if part and part not in classes:
            classes.append(part)
    if not classes:
        raise ValueError(f"highway={highway!r} names no highway value")
    return classes


def _osm_config(keys: list) -> str:
    """An osmconf for GDAL's OSM driver reporting `keys` (and nothing else
    in other_tags) as fields of every layer, without laundering ':' in
    them (name:zh stays name:zh)."""
    attributes = ",".join(keys)
    text = ["[general]", f"closed_ways_are_polygons={_CLOSED_WAYS_ARE_POLYGONS}",
            "attribute_name_laundering=no", ""]
    for layer in _OSM_LAYERS:
        text += [f"[{layer}]", "osm_id=yes", f"attributes={attributes}", "other_tags=no", ""]
    return "\n".join(text)


def _sql_text(value: str) -> str:
    return "'" + value.replace("'", "''") + "'"


def _check_osm_key(key: str, what: str) -> None:
    # The osmconf lists keys separated by commas, one setting a line.
    if not key or any(c in key for c in ",\n\r\"") or key != key.strip():
        raise ValueError(f"{what} {key!r} cannot be an OpenStreetMap tag key")


def read_osm(path: str, name_field: Any, weight_field: Any, layer: Any = None,
             highway: Any = None, class_field: Any = None) -> OsmRoads:
    """The road ways of an OpenStreetMap file: those of the `layer` layer
    ("lines" when None) whose highway tag is one of `highway`'s classes,
    weighted by the class in the `class_field` tag (highway when None)."""
    import pyogrio.raw
    import pyproj

    if not os.path.exists(path):
        raise FileNotFoundError(f"{path}: no such file")
    if layer is None:
        layer = OSM_LAYER
    elif layer not in _OSM_LAYERS:
        raise ValueError(f"{path}: no layer {layer!r}; its layers: "
                         f"{', '.join(repr(name) for name in _OSM_LAYERS)}")
    if not isinstance(name_field, str):
        raise TypeError(f"name_field must be a str for OpenStreetMap input, not "
                        f"{type(name_field).__name__}")
    chain = name_chain(name_field) or [name_field]
    classes = road_classes(highway)
    for key in chain:
        _check_osm_key(key, "the name field")
    weight_key = weight_field if isinstance(weight_field, str) and weight_field else None
    if weight_key is not None:
        _check_osm_key(weight_key, "the weight field")
    class_key = "highway" if class_field is None else class_field
    _check_osm_key(class_key, "the class field")
    keys = ["highway"] + [k for k in chain if k != "highway"]
    for key in (weight_key, class_key):
        if key is not None and key not in keys:
            keys.append(key)

    where = '"highway" IN (' + ", ".join(_sql_text(c) for c in classes) + ")"
    handle, config = tempfile.mkstemp(prefix="glyphway_osmconf_", suffix=".ini")
    try:
        with os.fdopen(handle, "w", encoding="utf-8") as out:
            out.write(_osm_config(keys))
        meta, _, wkb, field_data = pyogrio.raw.read(path, layer=layer, where=where,
                                                    CONFIG_FILE=config)
    finally:
        os.remove(config)
    fields = dict(zip(meta["fields"].tolist(), field_data))
    present = [fields[k] for k in chain if k in fields and _any_value(fields[k])]
    names = first_non_empty(present) if present else None
    if weight_key is not None and weight_key != "highway" and _any_value(fields[weight_key]):
        # The user's own weight tag wins over the class; a value that is no
        # number counts as no weight (1), as in any other table.
        import pandas

        weights = pandas.to_numeric(pandas.Series(fields[weight_key]), errors="coerce")
        weights = weights.to_numpy(dtype=object)
    elif class_field is None:
        weights = numpy.array([ROAD_CLASS_WEIGHTS.get(c, OTHER_CLASS_WEIGHT)
                               for c in fields["highway"]], dtype=object)
    else:
        weights = class_weights(fields[class_key])
    if wkb is None:
        wkb = numpy.empty(0, dtype=object)
    return OsmRoads(names is not None, names, weights,
                    pyproj.CRS.from_user_input(meta["crs"] or "EPSG:4326"), wkb)


def class_weights(values: Any) -> Any:
    """The weight of each road class in `values` (class_field= 's column), as
    an object array: an OpenStreetMap highway value by ROAD_CLASS_WEIGHTS (a
    link road as its road), a TIGER MTFCC code by MTFCC_CLASS_WEIGHTS, a
    number (or text that is one) as the weight itself, anything else (empty,
    unknown) OTHER_CLASS_WEIGHT."""
    import pandas

    series = pandas.Series(numpy.asarray(values, dtype=object), dtype=object)
    text = series.map(lambda v: v.strip() if isinstance(v, str) else None, na_action="ignore")
    osm = text.str.lower().str.replace(r"_link$", "", regex=True).map(ROAD_CLASS_WEIGHTS)
    mtfcc = text.str.upper().map(MTFCC_CLASS_WEIGHTS)
    # A bool is no weight, though Python counts it as a number.
    plain = series.map(lambda v: None if isinstance(v, bool) else v)
    numbers = pandas.to_numeric(plain, errors="coerce").to_numpy(dtype=numpy.float64)
    out = numpy.full(len(series), OTHER_CLASS_WEIGHT, dtype=object)
    for weights in (mtfcc, osm):
        known = weights.notna().to_numpy()
        out[known] = [int(w) for w in weights.to_numpy()[known]]
    number = numpy.isfinite(numbers)
    out[number] = [int(n) if n.is_integer() else n for n in numbers[number].tolist()]
    return out


CLASS_OPTION = "class_field (--class-field)"


def missing_column_error(path: Any, column: str, option: str, columns: list) -> ValueError:
    return ValueError(f"{path}: no column {column!r} for {option}; its columns: "
                      f"{', '.join(repr(str(c)) for c in columns)}")


def with_class_weights(path: Any, frame: Any, weight_field: Any, class_field: Any) -> Any:
    """`frame` with the weight column `weight_field` holding the weights of
    its `class_field` column's classes, when class_field is given and the
    frame has no such weight column (a weight column, when there, wins).
    A class column the frame lacks is an error naming the file."""
    if class_field is None:
        return frame
    columns = [c for c in frame.columns.tolist() if c != frame.geometry.name]
    if class_field not in columns:
        raise missing_column_error(path, class_field, CLASS_OPTION, columns)
    if weight_field in columns or not isinstance(weight_field, str):
        return frame
    frame = frame.copy()
    frame[weight_field] = class_weights(frame[class_field].to_numpy(dtype=object))
    return frame


def _any_value(values: Any) -> bool:
    return any(v is not None for v in values)


# --- the two readers' hooks -----------------------------------------------

def osm_frame(roads: OsmRoads, name_field: Any, weight_field: Any) -> Any:
    """The OpenStreetMap roads as a GeoDataFrame with the name column (the
    chain's value) and the weight column."""
    import geopandas
    import shapely

    data = {"weight" if weight_field is None else weight_field: roads.weights}
    if roads.has_names:
        data = {name_field: roads.names, **data}
    return geopandas.GeoDataFrame(data, geometry=shapely.from_wkb(roads.wkb), crs=roads.crs)


def read_source_frame(path: Any, name_field: Any, weight_field: Any,
                      reading: dict) -> Optional[Any]:
    """The road table of an OpenStreetMap or GeoParquet source as a
    GeoDataFrame; None for any other source (read by geopandas.read_file)."""
    local = local_path(path)
    if local is None:
        return None
    if is_osm(local):
        return osm_frame(read_osm(local, name_field, weight_field, reading.get("layer"),
                                  reading.get("highway"), reading.get("class_field")),
                         name_field, weight_field)
    if is_parquet(local):
        if reading.get("layer") is not None:
            raise ValueError(f"{local}: a GeoParquet file has no layers to name")
        _refuse_highway(local, reading)
        class_field = reading.get("class_field")
        wanted = []
        for c in (name_chain(name_field) or [name_field]) + [weight_field, class_field]:
            if isinstance(c, str) and c not in wanted:
                wanted.append(c)
        schema = _parquet_schema(local)
        if class_field is not None and schema is not None and class_field not in schema[0]:
            raise missing_column_error(local, class_field, CLASS_OPTION,
                                       [c for c in schema[0] if c != schema[1]])
        columns = _parquet_columns(local, wanted)
        try:
            frame = read_geoparquet(local, columns)
        except ValueError as error:  # pyarrow's ArrowInvalid too: no geo metadata, a bad file
            raise ValueError(f"{local}: not readable as GeoParquet: {error}") from error
        return with_class_weights(local, frame, weight_field, class_field)
    return None


def _refuse_highway(path: str, reading: dict) -> None:
    if reading.get("highway") is not None:
        raise ValueError(f"{path}: highway= (--highway) applies to OpenStreetMap input "
                         f"(.osm, .osm.pbf) only")


def general_read_keywords(path: Any, reading: dict) -> dict:
    """The layer keyword for geopandas.read_file by the layer rule (none
    for a source of one layer, as before)."""
    local = local_path(path)
    if local is not None:
        _refuse_highway(local, reading)
    layer = chosen_layer(path, reading.get("layer"))
    return {} if layer is None else {"layer": layer}


def with_name_chain(frame: Any, name_field: Any) -> Any:
    """`frame` with the column `name_field` holding its chain's first
    non-empty value, when `name_field` is a chain over columns the frame
    has; unchanged otherwise (no such column: names are missing)."""
    chain = name_chain(name_field)
    columns = frame.columns.tolist()
    if chain is None or name_field in columns:
        return frame
    present = [c for c in chain if c in columns]
    if not present:
        return frame
    frame = frame.copy()
    frame[name_field] = first_non_empty([frame[c].to_numpy(dtype=object) for c in present])
    return frame


def takes_short_read(path: str, name_field: Any) -> bool:
    """Whether the short read (one layer's name and weight columns) is the
    whole read: not for a chain of names nor a source of several layers."""
    if is_osm(path) or is_parquet(path):
        return False
    if name_chain(name_field) is not None:
        return False
    return not has_several_layers(path)
