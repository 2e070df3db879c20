"""Times candidate placement and the solver run after it on synthetic road networks.

    PYTHONPATH=build/dev:python python bench/bench_placement.py [--sizes 50000 100000 ...]

Networks: streets of 50-2000 m (log-uniform) in a square sized for an urban
road density, with names of 2-8 Chinese characters shared by several
streets, multi-part features, streets split into touching pieces, and
weights 1-3. Candidates are sampled every `distance_interval` along each
line as record dicts shaped like the pipeline's. Each size is timed once
per run: placement (`auto_place_labels`), the frames of the kept labels and
the final solver run over them.
"""
import argparse
import math
import sys
import tempfile
import time
from pathlib import Path

import numpy as np
import shapely

import glyphway_accel_avx2 as gw

CJK = [chr(c) for c in range(0x4E00, 0x4E00 + 3000)]
SUFFIXES = ["路", "街", "大道", "巷", "东路", "西路", "南街", "北街"]


def make_names(rng, count):
    names = []
    for _ in range(count):
        stem = "".join(rng.choice(CJK, size=rng.integers(1, 6)))
        name = stem + SUFFIXES[rng.integers(len(SUFFIXES))]
        names.append(name[:8] if len(name) > 1 else name + "路")
    return names


def make_network(seed, candidates, interval):
    """Record dicts for about `candidates` candidates on candidates / 4 lines."""
    rng = np.random.default_rng(seed)
    n_lines = candidates // 4
    # About 12 km of street per square km (0.012 m per square metre).
    mean_len = (2000 - 50) / math.log(2000 / 50)
    side = math.sqrt(n_lines * mean_len / 0.012)
    names = make_names(rng, max(1, n_lines // 3))

    labels = []
    feature = 0
    uid = 0
    lines_made = 0
    start = rng.uniform(0, side, 2)
    name = names[0]
    while lines_made < n_lines:
        # A new street, or the next piece of the previous one (touching it).
        if not (lines_made and rng.random() < 0.35):
            start = rng.uniform(0, side, 2)
            name = names[rng.integers(len(names))]
        weight = int(rng.integers(1, 4))
        parts = 1 if rng.random() < 0.85 else int(rng.integers(2, 4))
        for _ in range(parts):
            length = math.exp(rng.uniform(math.log(50), math.log(2000)))
            vertices = int(rng.integers(2, 7))
            heading = rng.uniform(0, 2 * math.pi)
            steps = rng.dirichlet(np.ones(vertices - 1)) * length
            turns = heading + np.cumsum(rng.normal(0, 0.25, vertices - 1))
            offsets = np.column_stack([np.cos(turns), np.sin(turns)]) * steps[:, None]
            coords = np.vstack([start, start + np.cumsum(offsets, axis=0)])
            line = shapely.linestrings(coords)
            line_len = line.length
            a = np.append(coords[0], 0.0)
            b = np.append(coords[-1], 0.0)
            distances = np.arange(0.5 * interval, line_len, interval)
            if len(distances) == 0:
                distances = np.array([0.5 * line_len])
            for d in distances:
                labels.append({
                    "id": feature, "feature_id": feature, "line_uid": uid,
                    "line_key": f"{feature}:{uid}", "line_start": a, "line_end": b,
                    "text": name, "text_len": len(name), "distance": float(d), "line": line,
                    "line_len": line_len, "weight": weight, "hidden": False,
                    "matrix_dirty": False,
                })
            uid += 1
            lines_made += 1
            start = coords[-1]
        feature += 1
    return labels, lines_made, side


def make_engine(args):
    # The font lookup is not part of what is measured; any font file will do
    # for an engine that never builds a mesh here.
    sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests"))
    from font_factory import build_font
    font = str(build_font(Path(tempfile.mkdtemp()) / "bench.ttf", "ttf"))
    gw._FontManager.get_chinese_font_path = staticmethod(lambda: font)
    return gw._RoadTessaraEngine(
        "bench.shp", font_size=args.font_size, density=args.density,
        repeat_mode=args.repeat_mode, max_global_iterations=args.iterations,
        distance_interval=args.interval)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", type=int, nargs="+", default=[50_000, 100_000, 200_000, 400_000])
    parser.add_argument("--interval", type=float, default=135.0)
    parser.add_argument("--font-size", type=float, default=15.0)
    parser.add_argument("--density", default="moderate")
    parser.add_argument("--repeat-mode", default="name_connected")
    parser.add_argument("--iterations", type=int, default=None,
                        help="max_global_iterations (default: the density's own count)")
    parser.add_argument("--native", action="store_true",
                        help="run on _LabelRecords instead of dicts (conversion timed apart)")
    args = parser.parse_args()
    engine = make_engine(args)
    profile = engine._density_profile(engine.font_size)
    print(f"density {args.density}: {profile}")
    print(f"{'cands':>8} {'lines':>7} {'side km':>7} {'features':>8} {'kept':>7} "
          f"{'place s':>8} {'frames s':>8} {'solver s':>8} {'total s':>8}")
    for size in args.sizes:
        labels, n_lines, side = make_network(size, size, args.interval)
        target = labels
        if args.native:
            t0 = time.perf_counter()
            target = gw._LabelRecords(labels)
            print(f"  to _LabelRecords: {time.perf_counter() - t0:.2f} s")
        t0 = time.perf_counter()
        kept = engine.auto_place_labels(target)
        t1 = time.perf_counter()
        if args.native:
            kept = kept.to_dicts()
        t1b = time.perf_counter()
        for l in kept:
            l["matrix"] = engine.build_tbn_matrix(l["line"], l["distance"])
        t2 = time.perf_counter()
        gw._fast_resolve_collisions(kept, engine.char_width_est, engine.font_size,
                                    engine.letter_spacing)
        t3 = time.perf_counter()
        features = len({l["feature_id"] for l in labels})
        print(f"{len(labels):>8} {n_lines:>7} {side / 1000:>7.1f} {features:>8} {len(kept):>7} "
              f"{t1 - t0:>8.2f} {t2 - t1b:>8.2f} {t3 - t2:>8.2f} {t3 - t0 - (t1b - t1):>8.2f}")
        sys.stdout.flush()


if __name__ == "__main__":
    main()
