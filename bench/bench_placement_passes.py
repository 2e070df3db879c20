"""Times candidate placement alone on real road networks and on a synthetic one.

    PYTHONPATH=python .venv/bin/python bench/bench_placement_passes.py [--interval 20] [--repeat 3]

Candidates are made in Python from each network (UTM, every `--interval`
metres along each line part, shaped like the sampler's records) and turned
into `_LabelRecords` once; each timed run places a fresh copy, best of
`--repeat`. The digest of the kept records (index, distance, frame) lets two
builds be compared for identical output. Real networks live in
/work/shared/data (skipped when absent).
"""
import argparse
import hashlib
import math
import sys
import tempfile
import time
from pathlib import Path

import numpy as np
import shapely

import glyphway_accel_avx2 as gw

DATA = Path("/work/shared/data")
REAL = [
    ("shenzhen", DATA / "shenzhen_szmap" / "road.shp", "dlmc"),
    ("lisbon", DATA / "lisbon_bbbike" / "roads_lisbon.shp", "name"),
]


def candidates_of(path, name_field, interval):
    import geopandas as gpd
    frame = gpd.read_file(path)
    frame = frame[frame[name_field].notna() & (frame[name_field].astype(str).str.len() > 0)]
    frame = frame.to_crs(frame.estimate_utm_crs())
    labels, uid = [], 0
    for feature, (name, geom) in enumerate(zip(frame[name_field], frame.geometry)):
        if geom is None or geom.is_empty:
            continue
        parts = list(geom.geoms) if geom.geom_type.startswith("Multi") else [geom]
        text = str(name)
        for line in parts:
            coords = np.asarray(line.coords, dtype=float)[:, :2]
            line = shapely.linestrings(coords)
            length = line.length
            a, b = np.append(coords[0], 0.0), np.append(coords[-1], 0.0)
            distances = np.arange(0.5 * interval, length, interval)
            if len(distances) == 0:
                distances = np.array([0.5 * length])
            for d in distances:
                labels.append({
                    "id": feature, "feature_id": feature, "line_uid": uid,
                    "line_key": f"{feature}:{uid}", "line_start": a, "line_end": b,
                    "text": text, "text_len": len(text), "distance": float(d), "line": line,
                    "line_len": length, "weight": 1, "hidden": False, "matrix_dirty": False,
                })
            uid += 1
    return labels


def digest(kept):
    h = hashlib.sha256()
    for l in kept.to_dicts():
        h.update(repr((l["_cand_idx"], l["distance"], l["hidden"])).encode())
        if "matrix" in l:
            h.update(np.asarray(l["matrix"]).tobytes())
    return h.hexdigest()[:16]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--interval", type=float, default=20.0)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--synthetic", type=int, nargs="*", default=[1_100_000],
                        help="synthetic networks of N / 4 streets, a candidate every 500 m "
                             "(1.1M: about 360k candidates, nearly one anchor each)")
    parser.add_argument("--skip-real", action="store_true")
    parser.add_argument("--iterations", type=int, default=None)
    args = parser.parse_args()

    sys.path.insert(0, str(Path(__file__).resolve().parent))
    sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests"))
    from font_factory import build_font
    import bench_placement
    font = str(build_font(Path(tempfile.mkdtemp()) / "bench.ttf", "ttf"))
    gw._FontManager.get_chinese_font_path = staticmethod(lambda: font)
    engine = gw._RoadTessaraEngine("bench.shp", font_size=15.0, density="moderate",
                                   max_global_iterations=args.iterations)

    networks = [(name, lambda p=path, f=field: candidates_of(p, f, args.interval))
                for name, path, field in REAL if path.exists() and not args.skip_real]
    networks += [(f"synthetic {n}", lambda n=n: bench_placement.make_network(n, n, 500.0)[0])
                 for n in args.synthetic]
    print(f"{'network':>18} {'cands':>8} {'kept':>7} {'place s':>8}  digest")
    for name, make in networks:
        labels = make()
        best, kept = math.inf, None
        for _ in range(args.repeat):
            records = gw._LabelRecords(labels)
            t0 = time.perf_counter()
            kept = engine.auto_place_labels(records)
            best = min(best, time.perf_counter() - t0)
        print(f"{name:>18} {len(labels):>8} {len(kept):>7} {best:>8.3f}  {digest(kept)}")
        sys.stdout.flush()


if __name__ == "__main__":
    main()
