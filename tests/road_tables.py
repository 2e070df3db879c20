"""Small road shapefiles for data-preparation tests, and the preparation steps written out plainly."""
import math
import warnings

import geopandas as gpd
import numpy as np
from shapely.geometry.base import BaseGeometry
from shapely.geometry import LineString, MultiLineString

import glyphway_accel_avx2 as gw


def write_roads(path, geometries, crs="EPSG:3857", **columns):
    """Writes a polyline shapefile with the given geometries and attribute columns."""
    frame = gpd.GeoDataFrame(columns, geometry=list(geometries), crs=crs)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # column-width and type notes of the shapefile driver
        frame.to_file(str(path))
    return str(path)


def reference_distances(engine, line_len):
    """Candidate distances as the host arithmetic gives them."""
    if engine.text_count is not None and engine.text_count > 0:
        step = line_len / (engine.text_count + 1)
        distances = [step * i for i in range(1, engine.text_count + 1)]
    else:
        steps = int(line_len // engine.distance_interval)
        distances = [engine.distance_interval * i for i in range(1, steps + 1)]
    if engine.add_at_endpoints:
        distances = [0.0] + distances + [line_len]
    return distances


def _sampleable(line):
    coords = np.asarray(line.coords, dtype=float)
    return len(coords) > 0 and bool(np.isfinite(coords).all())


def reference_prepare(engine):
    """The preparation steps, row by row with iterrows, using the engine's stages."""
    print("[glyphway_maker] Loading Data & CRS Setup...")
    gdf = gpd.read_file(engine.shp_path)
    if engine.name_field not in gdf.columns.tolist():
        print("[glyphway_maker] WARNING: Field '" + engine.name_field + "' NOT FOUND in shapefile.")
        return [], None
    if engine.use_utm:
        center = gdf.to_crs("EPSG:4326").geometry.union_all().centroid
        working_crs = engine.calculate_utm_crs(center.x, center.y)
    else:
        working_crs = "EPSG:3857"
    if gdf.crs != working_crs:
        gdf = gdf.to_crs(working_crs)

    labels = []
    print("[glyphway_maker] Sampling along 3D polylines...")
    line_uid = 0
    for idx, row in gdf.iterrows():
        geom = row.geometry
        if not isinstance(geom, BaseGeometry):
            continue
        if isinstance(geom, LineString):
            lines = [geom]
        elif isinstance(geom, MultiLineString):
            lines = list(geom.geoms)
        else:
            lines = []
        raw_text = row.get(engine.name_field)
        text = "" if raw_text is None else str(raw_text).strip()
        if not text or text.lower() == "none" or text.lower() == "nan":
            continue
        w = row.get(engine.weight_field, 1)
        weight = w if w > 1 else 1
        for line in lines:
            line_len = line.length
            a, b = engine._line_endpoints_3d(line)
            line_key = str(idx) + ":" + str(line_uid)
            distances = reference_distances(engine, line_len) if _sampleable(line) else []
            for d in distances:
                labels.append({
                    "id": idx, "feature_id": idx, "line_uid": line_uid, "line_key": line_key,
                    "line_start": a, "line_end": b, "text": text, "text_len": len(text),
                    "distance": d, "line": line, "line_len": line_len, "weight": weight,
                    "hidden": False, "matrix_dirty": False,
                })
            line_uid += 1

    engine.apply_autofit(labels)
    labels = engine.auto_place_labels(labels)
    print("[glyphway_maker] Pre-computing Matrices for " + str(len(labels)) + " candidates...")
    if not labels:
        return [], working_crs
    for label in labels:
        label["matrix"] = engine.build_tbn_matrix(label["line"], label["distance"])
    print("[glyphway_maker] Solving Collisions via Cython/OpenMP/AVX2...")
    gw._fast_resolve_collisions(labels, np.float32(engine.char_width_est),
                                np.float32(engine.font_size), np.float32(engine.letter_spacing))
    return labels, working_crs


def _same_value(key, got, want):
    if isinstance(want, np.ndarray):
        return (isinstance(got, np.ndarray) and got.dtype == want.dtype
                and got.shape == want.shape and np.array_equal(got, want, equal_nan=True))
    if isinstance(want, BaseGeometry):
        return type(got) is type(want) and got.equals_exact(want, 0.0) and got.has_z == want.has_z
    if isinstance(want, float) and math.isnan(want):
        return isinstance(got, float) and math.isnan(got)
    return type(got) is type(want) and got == want


def assert_records_equal(got, want):
    """Same records: keys in the same order, values of the same type and value."""
    assert len(got) == len(want)
    for i, (g, w) in enumerate(zip(got, want)):
        assert list(g) == list(w), f"record {i}: keys differ"
        for key in w:
            assert _same_value(key, g[key], w[key]), (
                f"record {i} key {key!r}: {g[key]!r} != {w[key]!r}")
