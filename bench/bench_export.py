"""Times export_csv and export_obj on synthetic resolved labels.

    PYTHONPATH=build/dev:python python bench/bench_export.py [--labels 20000] [--font PATH]

The data preparation is replaced by a stub that hands over ready records
(random polylines in a UTM zone, a third of them marked dirty so the writers
refresh their frames, a tenth hidden, half fitted). Without --font the
hermetic test font of tests/font_factory.py is used (a handful of glyphs);
with a CJK font the names are drawn from common road-name characters.
"""
import argparse
import contextlib
import io
import sys
import tempfile
import time
from pathlib import Path

import numpy as np
from shapely.geometry import LineString

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests"))

import glyphway_accel_avx2 as gw  # noqa: E402


def make_labels(engine, n, alphabet, seed=1):
    rng = np.random.default_rng(seed)
    lines = []
    for _ in range(max(1, n // 4)):
        pts = rng.normal(size=(int(rng.integers(2, 12)), 2)).cumsum(axis=0) * 80.0
        lines.append(LineString(pts + rng.uniform([400000, 4300000], [500000, 4400000])))
    labels = []
    for i in range(n):
        line = lines[i % len(lines)]
        d = float(rng.uniform(0, line.length))
        text = "".join(rng.choice(list(alphabet), size=int(rng.integers(2, 7))))
        record = {"id": i, "feature_id": i, "line_uid": i, "line_key": f"{i}:{i}",
                  "line_start": None, "line_end": None, "text": text, "text_len": len(text),
                  "distance": d, "line": line, "line_len": line.length, "weight": 1,
                  "hidden": i % 10 == 9, "matrix_dirty": i % 3 == 0,
                  "matrix": engine.build_tbn_matrix(line, d)}
        if i % 2:
            record.update(effective_text=text[:4], effective_font_size=12.0 + (i % 4),
                          effective_letter_spacing=0.25, effective_text_len=len(text[:4]))
        labels.append(record)
    return labels


def timed(label, fn, repeat):
    """Best of `repeat` runs; the writers' progress lines are swallowed."""
    best = float("inf")
    for _ in range(repeat):
        with contextlib.redirect_stdout(io.StringIO()):
            t0 = time.perf_counter()
            fn()
            best = min(best, time.perf_counter() - t0)
    print(f"{label:<44s} {best * 1000:9.1f} ms")
    return best


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--labels", type=int, default=20000)
    parser.add_argument("--font")
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as tmp:
        tmp = Path(tmp)
        if args.font:
            font, alphabet = args.font, "中山人民解放建设和平东西南北路街大道一二三"
        else:
            from font_factory import build_font
            font, alphabet = str(build_font(tmp / "bench.ttf", "ttf")), "中一oxIc "
        gw._FontManager.get_chinese_font_path = staticmethod(lambda: font)

        def engine(**params):
            return gw._RoadTessaraEngine("bench.shp", **params)

        print(f"{args.labels} labels, font {Path(font).name}")
        for curved in (False, True):
            eng = engine(curved_text=curved)
            labels = make_labels(eng, args.labels, alphabet)
            eng._prepare_data = lambda labels=labels: (labels, "EPSG:32650")
            out = tmp / "bench.obj"
            timed("  (first run, glyph caches cold)", lambda: eng.export_obj(str(out)), 1)
            timed(f"export_obj ({'curved' if curved else 'straight'})",
                  lambda: eng.export_obj(str(out)), args.repeat)
            print(f"{'':<44s} {out.stat().st_size / 1e6:9.1f} MB")

        eng = engine()
        labels = make_labels(eng, args.labels, alphabet)
        eng._prepare_data = lambda: (labels, "EPSG:32650")
        out = tmp / "bench.csv"
        timed("export_csv (working system)",
              lambda: eng.export_csv(str(out), None, True, True, "degree", 6), args.repeat)
        timed("export_csv (to EPSG:4326)",
              lambda: eng.export_csv(str(out), "EPSG:4326", True, True, "degree", 6), args.repeat)


if __name__ == "__main__":
    main()
