"""The placed labels as a GeoDataFrame, without writing an export file.

:func:`place_labels` runs the same native pipeline as ``generate_csv`` (one
``_RoadTessaraEngine``, its ``_prepare_data``, the frames the collision
solver made stale rebuilt) and returns one row per visible label, located at
the label's anchor in the working coordinate system. The columns are
computed natively from the prepared records (``_prepared_label_table``);
this module only assembles them.
"""
from __future__ import annotations

import contextlib
import inspect
import io
import os
import tempfile

import glyphway_accel_avx2 as _native

# The engine keywords a caller may set, with generate()'s defaults and the
# kind of conversion generate() applies to each, and the keyword-only run
# options (font_path, style, max_char_angle, cjk_orientation) with theirs: the rows of the
# native option table that the label table takes.
_LABEL_ROWS = [row for row in _native._option_table
               if "labels" in row["takers"] and not row["required"]]
ENGINE_OPTIONS = {row["name"]: (row["default"], row["kind"])
                  for row in _LABEL_ROWS if not row["keyword_only"]}
RUN_DEFAULTS = {row["name"]: row["default"] for row in _LABEL_ROWS if row["keyword_only"]}
# The run options that say how the input is read (layer, encoding, ...): set
# on the engine as attributes, which its reading asks for.
READING_OPTIONS = {row["name"]: row["kind"] for row in _LABEL_ROWS if "reading" in row["takers"]}

COLUMNS = ("text", "effective_text", "effective_font_size", "group_id", "weight",
           "rotation_deg", "line_key")


def _convert(name, value, kind):
    if kind == "flag":
        return bool(value)
    if kind == "real":
        return float(value)
    if kind == "optional_text" and value is None:
        return None
    if kind in ("text", "optional_text"):
        if not isinstance(value, str):
            raise TypeError(f"{name} must be str, not {type(value).__name__}")
        return value
    if value is None:
        return None
    return float(value) if kind == "optional_real" else int(value)


def engine_keywords(shp_path, options):
    """The engine's keyword arguments for `options` (unknown names raise TypeError)."""
    unknown = sorted(set(options) - set(ENGINE_OPTIONS))
    if unknown:
        raise TypeError(f"unexpected option(s): {', '.join(unknown)}")
    keywords = {"shp_path": os.fspath(shp_path)}
    for name, (default, kind) in ENGINE_OPTIONS.items():
        keywords[name] = _convert(name, options[name], kind) if name in options else default
    # The engine options the label table does not take, at the values the
    # native option table fixes for it (no extrusion, no per-label objects).
    for row in _native._fixed_engine_values:
        if "labels" in row["takers"]:
            keywords[row["name"]] = (keywords[row["same_as"]] if row["same_as"] is not None
                                     else row["value"])
    return keywords


@contextlib.contextmanager
def input_path(shp_or_gdf):
    """A path the engine can read: the path itself, or, for a GeoDataFrame,
    a GeoPackage written to a temporary folder that is removed afterwards
    (the engine reads its input by path, so an in-memory table goes through
    a file; a GeoPackage keeps long column names and Unicode text intact)."""
    if isinstance(shp_or_gdf, (str, bytes, os.PathLike)):
        yield os.fspath(shp_or_gdf)
        return
    import geopandas
    if not isinstance(shp_or_gdf, geopandas.GeoDataFrame):
        raise TypeError("expected a path or a GeoDataFrame, not "
                        f"{type(shp_or_gdf).__name__}")
    with tempfile.TemporaryDirectory(prefix="glyphway_") as folder:
        path = os.path.join(folder, "roads.gpkg")
        shp_or_gdf.to_file(path, driver="GPKG")
        yield path


def prepared_table(shp_or_gdf, font_path=RUN_DEFAULTS["font_path"], style=RUN_DEFAULTS["style"],
                   max_char_angle=RUN_DEFAULTS["max_char_angle"],
                   cjk_orientation=RUN_DEFAULTS["cjk_orientation"], **options):
    """(engine, native label table, working CRS) for the input and options,
    placed in `style`. A cartographic table also has one row per drawn glyph
    (the glyph_ columns)."""
    cartographic, max_char_angle = _native._check_style(style, max_char_angle, cjk_orientation)
    reading = {name: _convert(name, options.pop(name), kind)
               for name, kind in READING_OPTIONS.items() if name in options}
    with input_path(shp_or_gdf) as path:
        engine = _native._new_engine(engine_keywords(path, options), font_path)
        for name, value in reading.items():
            setattr(engine, name, value)
        if cartographic:
            table, working_crs = _native._cartographic_label_table(engine, max_char_angle,
                                                                   cjk_orientation)
        else:
            table, working_crs = _native._prepared_label_table(engine)
    return engine, table, working_crs


def with_reading_keywords(function):
    """`function` (taking ``**options``) with the reading options shown in
    its signature as keyword-only parameters with their defaults."""
    signature = inspect.signature(function)
    parameters = list(signature.parameters.values())
    rest = parameters.pop()  # **options
    parameters += [inspect.Parameter(name, inspect.Parameter.KEYWORD_ONLY,
                                     default=RUN_DEFAULTS[name]) for name in READING_OPTIONS]
    function.__signature__ = signature.replace(parameters=parameters + [rest])
    return function


def table_to_frame(table, working_crs):
    import geopandas
    columns = {name: table[name] for name in COLUMNS}
    geometry = geopandas.points_from_xy(table["x"], table["y"], crs=working_crs)
    return geopandas.GeoDataFrame(columns, geometry=geometry, crs=working_crs)


@with_reading_keywords
def place_labels(shp_or_gdf, *, font_path=RUN_DEFAULTS["font_path"], style=RUN_DEFAULTS["style"],
                 max_char_angle=RUN_DEFAULTS["max_char_angle"],
                 cjk_orientation=RUN_DEFAULTS["cjk_orientation"], **options):
    """The visible labels placed on a road network, as a GeoDataFrame.

    `shp_or_gdf` is a path to a road file (polylines with a name column) or
    a GeoDataFrame of roads, which is written to a temporary GeoPackage
    first. `options` are the engine keywords of :func:`generate`
    (name_field, weight_field, use_utm, posture, curved_text, auto_fit_text,
    min_font_scale, min_letter_spacing, overflow_strategy, density,
    repeat_mode, connect_eps, max_global_iterations, text_count,
    distance_interval, add_at_endpoints, font_size, letter_spacing) with the
    same defaults, and the reading options of :func:`generate` (layer,
    encoding, highway, skip_bad_rows); `font_path` picks the font instead of
    searching for one;
    `style`, `max_char_angle` and `cjk_orientation` choose the placement as
    in :func:`generate`.

    One row per visible label in export order: a point at the label's anchor,
    and the columns text, effective_text, effective_font_size, group_id,
    weight, rotation_deg (reading direction, degrees counter-clockwise from
    east) and line_key. The CRS is the working one (a UTM zone with
    use_utm, else EPSG:3857); with no name column the frame is empty and has
    no CRS. A cartographic label is anchored at its middle glyph and turned
    as that glyph is (0 for an upright one); its group_id names the merged
    road it runs along and its line_key is None.
    """
    _, table, working_crs = prepared_table(shp_or_gdf, font_path=font_path, style=style,
                                           max_char_angle=max_char_angle,
                                           cjk_orientation=cjk_orientation, **options)
    return table_to_frame(table, working_crs)


_WRITERS = {".gpkg": "GPKG", ".geojson": "GeoJSON", ".json": "GeoJSON"}


def check_label_path(out_path):
    """The writer driver for `out_path`'s extension; ValueError for any other."""
    out_path = os.fspath(out_path)
    extension = os.path.splitext(out_path)[1].lower()
    if extension not in _WRITERS:
        raise ValueError(f"cannot write labels to {out_path!r}: use a .gpkg, .geojson or "
                         ".json file")
    return _WRITERS[extension]


def write_labels(frame, out_path):
    """Writes the label frame as GeoPackage (.gpkg) or GeoJSON (.geojson,
    .json), the way the OBJ and CSV writers write their files: a regular file
    through a temporary beside the target so a reader never sees a
    half-written file (an existing file keeps its mode), a device or FIFO in
    place. Either format holds one layer, "labels"."""
    driver = check_label_path(out_path)
    _native._check_output(out_path)
    buffer = io.BytesIO()
    # Rendered in memory (GDAL's own in-memory files), so the only file on
    # disk is the native writer's temporary, which it removes on failure,
    # Ctrl-C or SIGTERM. The layer is named for what it holds.
    frame.to_file(buffer, driver=driver, layer="labels")
    _native._write_output(out_path, buffer.getvalue())
    return os.fspath(out_path)
