"""Times `_prepare_data` on the largest real road network and on a synthetic one.

    PYTHONPATH=build/dev:python python bench/bench_prepare.py [--synthetic 200000] [--repeat 2]

For each network the table shows, best of `--repeat` runs:
  read      gpd.read_file alone (the same call data preparation makes)
  reproject the geometry's to_crs into the working system (0 when it is already there)
  flat      _prepare_data with curved_text=False: read, sampling, frames and the final
            solver over every candidate
  curved    _prepare_data with the defaults (curved text): auto-fit and placement too
  iterrows  the sampling loop alone written plainly with iterrows (no stages), for scale
The real networks live in /work/shared/data (skipped when absent); the synthetic one is a
shapefile of streets written to a temporary folder.
"""
import argparse
import math
import os
import sys
import tempfile
import time
import warnings
from pathlib import Path

import geopandas as gpd
import numpy as np
import shapely

import glyphway_accel_avx2 as gw

DATA = Path("/work/shared/data")
REAL = [
    ("perf_merged (68k, EPSG:3857)", DATA / "perf_merged_derived" / "perf_merged_epsg3857.shp",
     dict(name_field="name", weight_field="weight")),
    ("shenzhen (12k, EPSG:4326, UTM)", DATA / "shenzhen_szmap" / "road.shp",
     dict(name_field="dlmc", weight_field="kd", use_utm=True)),
]


def install_font():
    sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests"))
    from font_factory import build_font
    font = str(build_font(Path(tempfile.mkdtemp()) / "bench.ttf", "ttf"))
    gw._FontManager.get_chinese_font_path = staticmethod(lambda: font)


def synthetic_roads(folder, count, seed=11):
    """`count` streets of 50-2000 m with shared Chinese names, some multi-part, weights 0-3."""
    rng = np.random.default_rng(seed)
    side = math.sqrt(count * 550 / 0.012)
    names = ["".join(chr(0x4E00 + int(c)) for c in rng.integers(0, 3000, rng.integers(2, 6))) + "路"
             for _ in range(max(1, count // 3))]
    geometries = []
    for _ in range(count):
        parts = []
        for _ in range(1 if rng.random() < 0.95 else 2):
            length = math.exp(rng.uniform(math.log(50), math.log(2000)))
            n = int(rng.integers(2, 7))
            turns = rng.uniform(0, 2 * math.pi) + np.cumsum(rng.normal(0, 0.25, n - 1))
            steps = rng.dirichlet(np.ones(n - 1)) * length
            offsets = np.column_stack([np.cos(turns), np.sin(turns)]) * steps[:, None]
            start = rng.uniform(0, side, 2)
            parts.append(np.vstack([start, start + np.cumsum(offsets, axis=0)]))
        geometries.append(shapely.linestrings(parts[0]) if len(parts) == 1
                          else shapely.multilinestrings([shapely.linestrings(p) for p in parts]))
    frame = gpd.GeoDataFrame(
        {"name": [names[i] if rng.random() < 0.8 else None
                  for i in rng.integers(0, len(names), count)],
         "weight": rng.integers(0, 4, count)},
        geometry=geometries, crs="EPSG:3857")
    path = Path(folder) / f"synthetic_{count}.shp"
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        frame.to_file(path)
    return path


def best(repeat, run):
    times = []
    result = None
    for _ in range(repeat):
        t0 = time.perf_counter()
        result = run()
        times.append(time.perf_counter() - t0)
    return min(times), result


def iterrows_sampling(engine):
    """The sampling loop alone, row by row (the table is read and projected outside the timing)."""
    gdf = gpd.read_file(engine.shp_path)
    working = "EPSG:3857"
    if engine.use_utm:
        c = gdf.to_crs("EPSG:4326").geometry.union_all().centroid
        working = engine.calculate_utm_crs(c.x, c.y)
    if gdf.crs != working:
        gdf = gdf.to_crs(working)

    def run():
        labels, line_uid = [], 0
        for idx, row in gdf.iterrows():
            geom = row.geometry
            if geom is None:
                continue
            lines = ([geom] if geom.geom_type == "LineString"
                     else list(geom.geoms) if geom.geom_type == "MultiLineString" else [])
            raw = row.get(engine.name_field)
            text = "" if raw is None else str(raw).strip()
            if not text or text.lower() in ("none", "nan"):
                continue
            w = row.get(engine.weight_field, 1)
            weight = w if w > 1 else 1
            for line in lines:
                line_len = line.length
                a, b = engine._line_endpoints_3d(line)
                steps = int(line_len // engine.distance_interval)
                for d in [engine.distance_interval * i for i in range(1, steps + 1)]:
                    labels.append({"id": idx, "feature_id": idx, "line_uid": line_uid,
                                   "line_key": f"{idx}:{line_uid}", "line_start": a,
                                   "line_end": b, "text": text, "text_len": len(text),
                                   "distance": d, "line": line, "line_len": line_len,
                                   "weight": weight, "hidden": False, "matrix_dirty": False})
                line_uid += 1
        return labels
    return run


def quiet(run):
    def wrapped():
        with open(os.devnull, "w") as sink:
            saved, sys.stdout = sys.stdout, sink
            try:
                return run()
            finally:
                sys.stdout = saved
    return wrapped


def bench(label, path, params, args):
    engine = lambda **extra: gw._RoadTessaraEngine(str(path), distance_interval=args.interval,
                                                    **params, **extra)
    t_read, frame = best(args.repeat, lambda: gpd.read_file(path))
    e = engine()
    working = "EPSG:3857"
    if e.use_utm:
        c = frame.to_crs("EPSG:4326").geometry.union_all().centroid
        working = e.calculate_utm_crs(c.x, c.y)
    t_proj = 0.0
    if frame.crs != working:
        t_proj, _ = best(args.repeat, lambda: frame.geometry.to_crs(working))
    t_flat, (flat, _) = best(args.repeat, quiet(engine(curved_text=False)._prepare_data))
    t_curved, (curved, _) = best(args.repeat, quiet(engine()._prepare_data))
    t_rows, rows = best(1, iterrows_sampling(engine(curved_text=False)))
    print(f"{label:<34} {len(frame):>7} {len(rows):>8} {len(curved):>6} {t_read:>7.2f} "
          f"{t_proj:>7.2f} {t_flat:>7.2f} {t_curved:>7.2f} {t_rows:>8.2f}")
    sys.stdout.flush()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--synthetic", type=int, nargs="*", default=[200_000])
    parser.add_argument("--interval", type=float, default=500.0)
    parser.add_argument("--repeat", type=int, default=2)
    args = parser.parse_args()
    install_font()
    print(f"distance_interval {args.interval}; seconds, best of {args.repeat}")
    print(f"{'network':<34} {'rows':>7} {'cands':>8} {'kept':>6} {'read':>7} {'reproj':>7} "
          f"{'flat':>7} {'curved':>7} {'iterrows':>8}")
    for label, path, params in REAL:
        if path.exists():
            bench(label, path, params, args)
    with tempfile.TemporaryDirectory() as folder:
        for count in args.synthetic:
            bench(f"synthetic ({count})", synthetic_roads(folder, count),
                  dict(name_field="name", weight_field="weight"), args)


if __name__ == "__main__":
    main()
