"""Road merging and the cartographic style on inputs that once blew up: wall time and peak memory.

    .venv/bin/python bench/bench_road_merge.py [--case NAME ...] [--style cartographic interval]

Each case runs `glyphway_maker.place_labels` with `--style cartographic`, the
moderate profile and a tiny test font, in a process of its own, which prints
its wall time (from the start of the call) and its peak resident memory
(resource.getrusage, the whole process: Python, the package and the input):
  chain_8000     one straight 48 km road drawn as 8,000 touching pieces of 6 m
  chain_100000   the same as 100,000 pieces (600 km), font size 15
  curves_15      six curving 6 km roads, font size 15
  curves_1e-3    the same at font size 0.001
  curves_1e-9    the same at font size 1e-9
The pieces are shorter than connect_eps (half of font size 15), the case where
ends within the tolerance used to be joined transitively into one node. The
roads lie at a UTM-sized northing (4,400 km), where the glyph-box grid's cells
of two font sizes once ran past the 32-bit range at font size 0.001.
"""
import argparse
import math
import resource
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np
from shapely.geometry import LineString

BENCH = Path(__file__).resolve().parent
sys.path.insert(0, str(BENCH.parent / "tests"))

CASES = {
    "chain_8000": ("chain", 8000, 15.0),
    "chain_100000": ("chain", 100_000, 15.0),
    "curves_15": ("curves", 6, 15.0),
    "curves_1e-3": ("curves", 6, 1e-3),
    "curves_1e-9": ("curves", 6, 1e-9),
}


# Where the roads lie: a UTM-sized easting and northing (40 degrees north),
# past 2^31 cells of 2 font sizes at font size 0.001.
EAST, NORTH = 500_000.0, 4_400_000.0


def chain(count):
    lines = [LineString([(EAST + 6.0 * i, NORTH), (EAST + 6.0 * (i + 1), NORTH)])
             for i in range(count)]
    return lines, ["AB"] * count


def curves(count):
    # Sine waves of 6 km with 2 m vertices, 300 m apart.
    x = np.arange(0.0, 6000.0, 2.0)
    lines = [LineString(np.column_stack([EAST + x, NORTH + 300.0 * k + 40.0 * np.sin(x / 150.0 + k)]))
             for k in range(count)]
    return lines, [f"AB{'A' * k}" for k in range(count)]


def run_case(name, style):
    from font_factory import build_font
    from road_tables import write_roads
    import glyphway_maker

    kind, count, font_size = CASES[name]
    folder = Path(tempfile.mkdtemp())
    lines, names = (chain if kind == "chain" else curves)(count)
    path = write_roads(folder / "roads.shp", lines, name=names)
    font = str(build_font(folder / "bench.ttf", "ttf"))
    start = time.perf_counter()
    frame = glyphway_maker.place_labels(path, font_path=font, style=style, font_size=font_size,
                                        density="moderate")
    seconds = time.perf_counter() - start
    peak_mb = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0
    print(f"{name} {style} {seconds:.2f} {peak_mb:.0f} {len(frame)}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--case", nargs="*", default=list(CASES), choices=list(CASES))
    parser.add_argument("--style", nargs="*", default=["cartographic"],
                        choices=["cartographic", "interval"])
    parser.add_argument("--one", nargs=2, metavar=("CASE", "STYLE"), help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.one:
        run_case(*args.one)
        return
    print(f"{'case':<14} {'style':<13} {'seconds':>8} {'peak MB':>8} {'labels':>7}")
    for style in args.style:
        for name in args.case:
            done = subprocess.run([sys.executable, __file__, "--one", name, style],
                                  capture_output=True, text=True)
            if done.returncode != 0:
                last = (done.stderr.strip().splitlines() or ["?"])[-1]
                print(f"{name:<14} {style:<13} failed: {last[:90]}")
                continue
            case, style_, seconds, peak, labels = done.stdout.split()[-5:]
            print(f"{case:<14} {style_:<13} {seconds:>8} {peak:>8} {labels:>7}")


if __name__ == "__main__":
    main()
