"""Times the CSV export on a country-sized network against reading it alone.

    python bench/bench_country.py [--copies 40 81] [--font PATH] [--use-utm]
                                  [--baseline PYTHONPATH] [--repeats N]

The network is the Shenzhen road file (/work/shared/data/shenzhen_szmap/road.shp,
EPSG:4326, name column ``dlmc``; skipped when absent) copied N times on a 1 degree
grid, written as a shapefile to a temporary folder that is removed afterwards
(81 copies: about a million roads, 0.7 GB on disk).

For each N, every measurement runs in a fresh interpreter, so its peak resident
memory (ru_maxrss) is its own:
  read+to_crs  geopandas.read_file and the geometry's to_crs into the working
               system the export would use (EPSG:3857, or the UTM zone with
               --use-utm), nothing else
  export       glyphway_maker.generate_csv with its defaults; the export's stages
               are timed from the moment each of its progress lines reaches stdout
               (the "Sampling" stage also holds auto-fit and candidate placement)
GeoPandas is imported before either clock starts.
With two counts, the ratio of the largest to the smallest export time is shown
next to the ratio of their feature counts.

With --baseline, the export also runs under that PYTHONPATH (another build of
the package, e.g. a checkout's python/ folder and a folder holding its
extension module), alternating with this one on the same file, --repeats times
each; the fastest run of each build and its peak memory are compared, and the
two CSVs must be identical.

Targets printed with the results: export <= 1.5 x read+to_crs, peak <= 2.5 GB,
and time grows at most 2.1 x per doubling of the features.
"""
import argparse
import json
import math
import os
import resource
import subprocess
import sys
import tempfile
import time
from pathlib import Path

SOURCE = Path("/work/shared/data/shenzhen_szmap/road.shp")
NAME_FIELD = "dlmc"
FONT = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"
GRID = 9  # copies per row of the 1 degree grid
PREFIX = "[glyphway_maker] "

EXPORT_RATIO_TARGET = 1.5
PEAK_TARGET_GB = 2.5
DOUBLING_TARGET = 2.1


def peak_gb():
    # Linux reports ru_maxrss in KiB.
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024 / 1e9


# --- workers, each run in its own interpreter ------------------------------

def work_generate(source, copies, out):
    import geopandas as gpd
    import numpy as np
    import pandas as pd
    import pyogrio
    import shapely

    frame = gpd.read_file(source)
    geometry = frame.geometry.to_numpy()
    parts = []
    for k in range(copies):
        shift = np.array([k % GRID, k // GRID], dtype=float)
        moved = shapely.transform(geometry, lambda xy, shift=shift: xy + shift)
        parts.append(gpd.GeoDataFrame(frame.drop(columns="geometry"), geometry=moved,
                                      crs=frame.crs))
    network = pd.concat(parts, ignore_index=True)
    pyogrio.write_dataframe(network, out, encoding="UTF-8")
    return {"features": len(network)}


def working_crs(frame, use_utm):
    if not use_utm:
        return "EPSG:3857"
    # The same choice the export makes: the zone around the data's centre.
    import glyphway_maker
    import shapely
    centre = shapely.union_all(frame.geometry.to_crs("EPSG:4326").to_numpy()).centroid
    engine = glyphway_maker.glyphway_accel_avx2._RoadTessaraEngine("unused.shp")
    return engine.calculate_utm_crs(centre.x, centre.y)


def work_read(shp, use_utm):
    import geopandas as gpd
    t0 = time.perf_counter()
    frame = gpd.read_file(shp)
    t1 = time.perf_counter()
    crs = working_crs(frame, use_utm)
    t2 = time.perf_counter()
    projected = frame.geometry.to_crs(crs) if frame.crs != crs else frame.geometry
    t3 = time.perf_counter()
    del projected
    return {"read": t1 - t0, "crs": t2 - t1, "to_crs": t3 - t2, "total": t3 - t0,
            "features": len(frame), "working_crs": str(crs)}


class StampedLines:
    """A stdout that notes when each complete line arrives and passes it on."""

    def __init__(self, sink):
        self.sink, self.pending, self.lines = sink, "", []

    def write(self, text):
        self.pending += text
        while "\n" in self.pending:
            line, self.pending = self.pending.split("\n", 1)
            self.lines.append((time.perf_counter(), line))
        return len(text)

    def flush(self):
        pass


def work_export(shp, out, font, use_utm):
    # Imported before the clock starts, as in the read worker: the export
    # imports GeoPandas on first use, which is no part of its work.
    import geopandas  # noqa: F401
    import glyphway_maker
    captured = StampedLines(sys.stdout)
    saved, sys.stdout = sys.stdout, captured
    try:
        t0 = time.perf_counter()
        glyphway_maker.generate_csv(shp, out, name_field=NAME_FIELD, use_utm=use_utm,
                                    font_path=font)
        end = time.perf_counter()
    finally:
        sys.stdout = saved
    stages = []
    marks = [(t, line[len(PREFIX):]) for t, line in captured.lines if line.startswith(PREFIX)]
    for i, (t, title) in enumerate(marks):
        stop = marks[i + 1][0] if i + 1 < len(marks) else end
        # The closing line starts no stage: what follows it is the export
        # letting go of its data before it returns.
        stages.append(("(after the closing line)" if title.startswith("Finished!") else title,
                       stop - t))
    first = marks[0][0] if marks else end
    with open(out, "rb") as f:
        rows = sum(1 for _ in f) - 1
    return {"total": end - t0, "before_first_line": first - t0, "stages": stages,
            "rows": rows}


WORKERS = {"generate": work_generate, "read": work_read, "export": work_export}


def worker_main(argv):
    name, result_path, params = argv[0], argv[1], json.loads(argv[2])
    result = WORKERS[name](**params)
    result["peak_gb"] = peak_gb()
    Path(result_path).write_text(json.dumps(result))


def run_worker(name, folder, pythonpath=None, **params):
    result_path = Path(folder) / f"{name}.json"
    env = dict(os.environ)
    if pythonpath is not None:
        env["PYTHONPATH"] = pythonpath
    subprocess.run([sys.executable, __file__, "--worker", name, str(result_path),
                    json.dumps(params)], check=True, env=env)
    return json.loads(result_path.read_text())


def compare_builds(folder, shp, args):
    """The export of this build and of --baseline's, alternating on one file."""
    best = {}
    outputs = {}
    for _ in range(args.repeats):
        for build, path in (("baseline", args.baseline), ("this build", None)):
            out = str(Path(folder) / f"out_{build.replace(' ', '_')}.csv")
            run = run_worker("export", folder, pythonpath=path, shp=shp, out=out,
                             font=args.font, use_utm=args.use_utm)
            outputs[build] = out
            if build not in best or run["total"] < best[build]["total"]:
                best[build] = run
    for build, run in best.items():
        print(f"  {build:<11s} {run['total']:8.2f} s  peak {run['peak_gb']:.2f} GB "
              f"(fastest of {args.repeats})")
    with open(outputs["baseline"], "rb") as a, open(outputs["this build"], "rb") as b:
        same = a.read() == b.read()
    ratio = best["this build"]["total"] / best["baseline"]["total"]
    print(f"  this build / baseline: time {ratio:.3f}, peak "
          f"{best['this build']['peak_gb'] / best['baseline']['peak_gb']:.3f}; "
          f"CSV {'identical' if same else 'DIFFERENT'}", flush=True)


# --- report -----------------------------------------------------------------

def verdict(ok):
    return "ok" if ok else "MISSED"


def measure(copies, args):
    with tempfile.TemporaryDirectory(prefix="bench_country_") as folder:
        shp = str(Path(folder) / f"roads_{copies}.shp")
        t0 = time.perf_counter()
        made = run_worker("generate", folder, source=str(args.source), copies=copies, out=shp)
        print(f"\n{copies} copies: {made['features']} features "
              f"(written in {time.perf_counter() - t0:.1f} s)", flush=True)
        read = run_worker("read", folder, shp=shp, use_utm=args.use_utm)
        print(f"  read+to_crs {read['total']:8.2f} s  (read {read['read']:.2f}, "
              f"to_crs {read['to_crs']:.2f} into {read['working_crs']}"
              + (f", zone {read['crs']:.2f}" if args.use_utm else "")
              + f")  peak {read['peak_gb']:.2f} GB", flush=True)
        export = run_worker("export", folder, shp=shp, out=str(Path(folder) / "out.csv"),
                            font=args.font, use_utm=args.use_utm)
        print(f"  export      {export['total']:8.2f} s  ({export['rows']} rows)  "
              f"peak {export['peak_gb']:.2f} GB")
        if export["before_first_line"] > 0.005:
            print(f"    {'(before the first progress line)':<62s} "
                  f"{export['before_first_line']:7.2f} s")
        for stage, seconds in export["stages"]:
            print(f"    {stage[:62]:<62s} {seconds:7.2f} s")
        if args.baseline:
            compare_builds(folder, shp, args)
        ratio = export["total"] / read["total"]
        print(f"  export / read+to_crs {ratio:.2f} (target <= {EXPORT_RATIO_TARGET}: "
              f"{verdict(ratio <= EXPORT_RATIO_TARGET)}); peak {export['peak_gb']:.2f} GB "
              f"(target <= {PEAK_TARGET_GB}: {verdict(export['peak_gb'] <= PEAK_TARGET_GB)})",
              flush=True)
        return made["features"], export["total"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--copies", type=int, nargs="+", default=[40, 81],
                        help="copies of the source network, one run each (default: 40 81)")
    parser.add_argument("--font", default=FONT)
    parser.add_argument("--source", type=Path, default=SOURCE)
    parser.add_argument("--use-utm", action="store_true",
                        help="work in the UTM zone (the export's use_utm) instead of EPSG:3857")
    parser.add_argument("--baseline", metavar="PYTHONPATH",
                        help="also time the export of the build importable under this PYTHONPATH")
    parser.add_argument("--repeats", type=int, default=2,
                        help="runs of each build with --baseline (default: %(default)s)")
    parser.add_argument("--worker", nargs=3, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.worker:
        return worker_main(args.worker)
    if not args.source.exists():
        print(f"skipped: {args.source} is not here")
        return
    if not Path(args.font).exists():
        print(f"skipped: font {args.font} is not here")
        return
    runs = [measure(n, args) for n in sorted(set(args.copies))]
    if len(runs) >= 2:
        (n_small, t_small), (n_large, t_large) = runs[0], runs[-1]
        features, seconds = n_large / n_small, t_large / t_small
        # The doubling target, stretched to the actual ratio of the counts.
        per_doubling = seconds ** (math.log(2) / math.log(features))
        print(f"\nscaling: features x{features:.3f}, export time x{seconds:.3f} "
              f"(x{per_doubling:.3f} per doubling; target <= {DOUBLING_TARGET}: "
              f"{verdict(per_doubling <= DOUBLING_TARGET)})")


if __name__ == "__main__":
    main()
