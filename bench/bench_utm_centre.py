"""Times the choice of the UTM zone (the roads' centre) on a country-sized network
against the read that comes before it.

    python bench/bench_utm_centre.py [--copies 400] [--keep FOLDER] [--whole]

The network is the Shenzhen road file (/work/shared/data/shenzhen_szmap/road.shp,
EPSG:4326, name column ``dlmc``, weight ``kd``; skipped when absent) copied N times
on a 1 degree grid, as bench_country.py builds it, but written copy by copy
(appended), so that building it never holds the whole network (400 copies: 4.9
million roads, a 1.6 GB .shp). With --keep the network is built in (or, when
there already, taken from) FOLDER and left there; else in a temporary folder
that is removed afterwards.

Each measurement runs in a fresh interpreter, so its peak resident memory
(ru_maxrss) is its own:
  read     the export's own read of the table through pyogrio, nothing else
  centre   the same read, then the centre of the roads as --use-utm finds it
           (the lines decoded from the WKB, then tiled); its time is the
           centre's alone, its peak the whole process's
  load     the whole "Loading Data & CRS Setup" stage of a run with --use-utm
           (read, centre and reprojection into the zone), and without it (read
           and reprojection into EPSG:3857), up to the next progress line
With --whole, the centre is also taken the old way, shapely.union_all of every
line at once, and compared (it may need many times the read's memory: at 400
copies more than 23 GB).

The targets printed with the results: the centre takes no longer than the read
and its process peaks no higher than the read's.
"""
import argparse
import json
import os
import resource
import subprocess
import sys
import tempfile
import time
from pathlib import Path

SOURCE = Path("/work/shared/data/shenzhen_szmap/road.shp")
NAME_FIELD, WEIGHT_FIELD = "dlmc", "kd"
GRID = 20  # copies per row of the 1 degree grid
PREFIX = "[glyphway_maker] "


def peak_gb():
    # Linux reports ru_maxrss in KiB.
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024 / 1e9


# --- workers, each run in its own interpreter ------------------------------

def work_generate(source, copies, out):
    import warnings

    import geopandas as gpd
    import numpy as np
    import pyogrio
    import shapely

    frame = gpd.read_file(source)
    geometry = frame.geometry.to_numpy()
    for k in range(copies):
        shift = np.array([k % GRID, k // GRID], dtype=float)
        moved = shapely.transform(geometry, lambda xy, shift=shift: xy + shift)
        part = gpd.GeoDataFrame(frame.drop(columns="geometry"), geometry=moved, crs=frame.crs)
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            pyogrio.write_dataframe(part, out, encoding="UTF-8", append=k > 0)
    return {"features": len(frame) * copies}


def _read(shp):
    from glyphway_maker import _direct_read
    return _direct_read.read_table(shp, NAME_FIELD, WEIGHT_FIELD)


def work_read(shp):
    import geopandas  # noqa: F401  (imported before the clock, as the export has it)
    t0 = time.perf_counter()
    read = _read(shp)
    seconds = time.perf_counter() - t0
    return {"read": seconds, "features": len(read.wkb)}


def work_centre(shp, whole):
    import geopandas  # noqa: F401
    from glyphway_maker import glyphway_accel_avx2 as gw
    t0 = time.perf_counter()
    read = _read(shp)
    t1 = time.perf_counter()
    # The rows' WKB decoded again, as the read already did: counted in the centre.
    lon, lat = gw._union_centre(read.wkb, read.crs)
    t2 = time.perf_counter()
    result = {"read": t1 - t0, "centre": t2 - t1, "lon": lon, "lat": lat,
              "zone": gw._RoadTessaraEngine("unused.shp").calculate_utm_crs(lon, lat)}
    if whole:
        import shapely
        result["peak_before_whole_gb"] = peak_gb()
        centre = shapely.union_all(shapely.from_wkb(read.wkb)).centroid
        result.update(whole=time.perf_counter() - t2, whole_lon=centre.x, whole_lat=centre.y)
    return result


class LoadDone(Exception):
    """Raised at the sampling's progress line: the load stage is over."""


class StopAtSampling:
    """A stdout that notes when the load stage ends and stops the run there."""

    def __init__(self):
        self.pending, self.ended = "", None

    def write(self, text):
        self.pending += text
        if PREFIX + "Sampling" in self.pending:
            self.ended = time.perf_counter()
            raise LoadDone
        return len(text)

    def flush(self):
        pass


def work_load(shp, use_utm):
    import geopandas  # noqa: F401
    from glyphway_maker import glyphway_accel_avx2 as gw
    engine = gw._new_engine({"shp_path": shp, "name_field": NAME_FIELD,
                             "weight_field": WEIGHT_FIELD, "use_utm": use_utm}, None)
    captured = StopAtSampling()
    saved, sys.stdout = sys.stdout, captured
    t0 = time.perf_counter()
    try:
        engine._prepare_data()
    except LoadDone:
        pass
    finally:
        sys.stdout = saved
    return {"load": captured.ended - t0}


WORKERS = {"generate": work_generate, "read": work_read, "centre": work_centre,
           "load": work_load}


def worker_main(argv):
    name, result_path, params = argv[0], argv[1], json.loads(argv[2])
    result = WORKERS[name](**params)
    result["peak_gb"] = peak_gb()
    Path(result_path).write_text(json.dumps(result))


def run_worker(name, folder, **params):
    result_path = Path(folder) / f"{name}.json"
    subprocess.run([sys.executable, __file__, "--worker", name, str(result_path),
                    json.dumps(params)], check=True)
    return json.loads(result_path.read_text())


def measure(folder, copies, args):
    shp = str(Path(folder) / f"roads_{copies}.shp")
    if not Path(shp).exists():
        t0 = time.perf_counter()
        made = run_worker("generate", folder, source=str(args.source), copies=copies, out=shp)
        print(f"{copies} copies: {made['features']} features written in "
              f"{time.perf_counter() - t0:.1f} s", flush=True)
    read = run_worker("read", folder, shp=shp)
    centre = run_worker("centre", folder, shp=shp, whole=args.whole)
    load = run_worker("load", folder, shp=shp, use_utm=True)
    plain = run_worker("load", folder, shp=shp, use_utm=False)
    print(f"\n{copies} copies, {read['features']} roads, {Path(shp).stat().st_size / 1e9:.2f} GB .shp")
    print(f"| step | time (s) | process peak (GB) |\n|---|---|---|")
    print(f"| read alone | {read['read']:.2f} | {read['peak_gb']:.2f} |")
    print(f"| centre (after the read) | {centre['centre']:.2f} | {centre['peak_gb']:.2f} |")
    print(f"| read + centre | {centre['read'] + centre['centre']:.2f} | {centre['peak_gb']:.2f} |")
    print(f"| load stage, --use-utm (read, centre, reprojection) | {load['load']:.2f} | "
          f"{load['peak_gb']:.2f} |")
    print(f"| load stage, EPSG:3857 (read, reprojection) | {plain['load']:.2f} | "
          f"{plain['peak_gb']:.2f} |")
    print(f"centre {centre['lon']!r}, {centre['lat']!r}: {centre['zone']}")
    if args.whole:
        print(f"whole union: {centre['whole']:.2f} s, peak {centre['peak_gb']:.2f} GB; "
              f"centre {centre['whole_lon']!r}, {centre['whole_lat']!r}")
    ok_time = centre["centre"] <= read["read"]
    ok_peak = centre.get("peak_before_whole_gb", centre["peak_gb"]) <= read["peak_gb"] * 1.02
    print(f"centre time <= read time: {'ok' if ok_time else 'MISSED'}; "
          f"peak <= read peak (2 % slack): {'ok' if ok_peak else 'MISSED'}", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--copies", type=int, default=400)
    parser.add_argument("--source", type=Path, default=SOURCE)
    parser.add_argument("--keep", type=Path, help="build (or reuse) the network in this folder")
    parser.add_argument("--whole", action="store_true",
                        help="also take the centre from the union of every line at once")
    parser.add_argument("--worker", nargs=3, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.worker:
        return worker_main(args.worker)
    if not args.source.exists():
        print(f"skipped: {args.source} is not here")
        return
    if args.keep:
        args.keep.mkdir(parents=True, exist_ok=True)
        measure(args.keep, args.copies, args)
    else:
        with tempfile.TemporaryDirectory(prefix="bench_utm_centre_") as folder:
            measure(folder, args.copies, args)


if __name__ == "__main__":
    main()
