"""Sizes and times of the GLB export against the OBJ and the CSV.

    python bench/bench_glb.py [--font PATH] [--skip-country] [--country-obj] [--use-utm]

Networks: Shenzhen (/work/shared/data/shenzhen_szmap/road.shp, name column
``dlmc``) and the country-sized one (/tmp/country/roads_81.shp: the Shenzhen
roads copied 81 times on a 1 degree grid; made with bench/bench_country.py's
generator when absent). Each is skipped when its source is missing.

Every export runs in a fresh interpreter with the package's defaults (plus
the name column and the font) and is timed twice: the whole call, and its
writing stage, from the writer's progress line ("Generating ... Exporting")
to the end. The OBJ of the country network (about 11 GB) is written only
with --country-obj. Files are removed once measured.

Targets printed with the results: GLB at least 20 x smaller than the OBJ, and
written in no more time than the CSV.
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

SHENZHEN = Path("/work/shared/data/shenzhen_szmap/road.shp")
COUNTRY = Path("/tmp/country/roads_81.shp")
NAME_FIELD = "dlmc"
FONT = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"
PREFIX = "[glyphway_maker] "
SIZE_RATIO_TARGET = 20.0


class StampedSink:
    """Standard output that notes when each progress line arrived."""

    def __init__(self, sink):
        self.sink, self.stamps = sink, []

    def write(self, text):
        for line in text.splitlines():
            if line.startswith(PREFIX):
                self.stamps.append((time.perf_counter(), line[len(PREFIX):]))
        return self.sink.write(text)

    def flush(self):
        self.sink.flush()


def work(kind, shp, out, font, use_utm, instancing):
    import glyphway_maker
    sink = StampedSink(sys.stdout)
    sys.stdout = sink
    options = {"name_field": NAME_FIELD, "font_path": font, "use_utm": use_utm}
    start = time.perf_counter()
    if kind == "obj":
        glyphway_maker.generate(shp, out, **options)
    elif kind == "glb":
        glyphway_maker.generate_glb(shp, out, instancing=instancing, **options)
    else:
        glyphway_maker.generate_csv(shp, out, **options)
    end = time.perf_counter()
    sys.stdout = sink.sink
    writing = [t for t, line in sink.stamps if line.startswith("Generating")]
    # The CSV reprojects its anchors before its "Generating" line: its
    # writing stage starts at "Calculating Rotations".
    writing = [t for t, line in sink.stamps if line.startswith("Calculating")] or writing
    print("RESULT " + json.dumps({"total_s": end - start,
                                  "write_s": end - writing[0] if writing else None,
                                  "bytes": os.path.getsize(out)}))


def run(kind, shp, folder, args, instancing=True):
    suffix = {"obj": ".obj", "glb": ".glb", "csv": ".csv"}[kind]
    out = Path(folder) / ("out" + suffix)
    command = [sys.executable, __file__, "--worker", kind, str(shp), str(out), args.font,
               str(int(args.use_utm)), str(int(instancing))]
    done = subprocess.run(command, capture_output=True, text=True)
    if out.exists():
        out.unlink()
    lines = [l for l in done.stdout.splitlines() if l.startswith("RESULT ")]
    if done.returncode != 0 or not lines:
        raise RuntimeError(f"{kind} failed:\n{done.stderr[-2000:]}")
    return json.loads(lines[-1][len("RESULT "):])


def describe(name, r):
    write = f"{r['write_s']:8.2f}" if r["write_s"] is not None else "       -"
    return f"  {name:<14} {r['bytes'] / 1e6:10.1f} MB {r['total_s']:9.2f} s {write} s"


def make_country(folder):
    """The country network from bench_country's generator."""
    sys.path.insert(0, str(Path(__file__).resolve().parent))
    import bench_country
    out = Path(folder) / "roads_81.shp"
    bench_country.run_worker("generate", folder, source=str(SHENZHEN), copies=81, out=str(out))
    return out


def measure(label, shp, args, with_obj):
    print(f"{label}: {shp}")
    print(f"  {'file':<14} {'size':>13} {'whole run':>11} {'writing':>10}")
    results = {}
    with tempfile.TemporaryDirectory() as folder:
        kinds = [("glb", "glb", True), ("glb", "glb plain", False), ("csv", "csv", True)]
        if with_obj:
            kinds.insert(0, ("obj", "obj", True))
        for kind, name, instancing in kinds:
            try:
                results[name] = run(kind, shp, folder, args, instancing)
            except RuntimeError as e:
                if name != "glb plain":
                    raise
                # Plain meshes of a large network outgrow the GLB's 4 GiB.
                print(f"  {name:<14} not written: {str(e).strip().splitlines()[-1]}")
                continue
            print(describe(name, results[name]), flush=True)
    glb, csv = results["glb"], results["csv"]
    if "obj" in results:
        ratio = results["obj"]["bytes"] / glb["bytes"]
        print(f"  OBJ / GLB size: {ratio:.1f} x (target >= {SIZE_RATIO_TARGET:.0f}) "
              f"{'ok' if ratio >= SIZE_RATIO_TARGET else 'MISSED'}")
    print(f"  GLB writing {glb['write_s']:.2f} s vs CSV writing {csv['write_s']:.2f} s: "
          f"{'ok' if glb['write_s'] <= csv['write_s'] else 'MISSED'}; whole runs "
          f"{glb['total_s']:.2f} s vs {csv['total_s']:.2f} s")
    return results


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--font", default=FONT)
    parser.add_argument("--use-utm", action="store_true")
    parser.add_argument("--skip-country", action="store_true")
    parser.add_argument("--country-obj", action="store_true",
                        help="also write the country network's OBJ (about 11 GB)")
    parser.add_argument("--worker", nargs=6, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.worker:
        kind, shp, out, font, use_utm, instancing = args.worker
        work(kind, shp, out, font, use_utm == "1", instancing == "1")
        return
    if not Path(args.font).exists():
        sys.exit(f"no font at {args.font} (apt-get install fonts-noto-cjk)")
    if SHENZHEN.exists():
        measure("Shenzhen", SHENZHEN, args, with_obj=True)
    else:
        print(f"Shenzhen skipped: {SHENZHEN} is missing")
    if args.skip_country:
        return
    if COUNTRY.exists():
        measure("Country", COUNTRY, args, with_obj=args.country_obj)
    elif SHENZHEN.exists():
        with tempfile.TemporaryDirectory() as folder:
            measure("Country", make_country(folder), args, with_obj=args.country_obj)
    else:
        print("Country skipped: no source network")


if __name__ == "__main__":
    main()
