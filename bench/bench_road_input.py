"""Times the reading of the road table, on both read paths, on a synthetic network.

    .venv/bin/python bench/bench_road_input.py [--synthetic 200000] [--repeat 3]

`_prepare_data` runs with an interval longer than any road, so no candidate is
made and the time is that of reading the table into the native roads:
  short      pyogrio's WKB and the two columns, decoded natively
  geopandas  geopandas.read_file (made to run by replacing it with a wrapper),
             the columns and the Shapely lines read from the GeoDataFrame
  read_file  geopandas.read_file alone, for scale
"""
import argparse
import os
import sys
import tempfile
import time
from pathlib import Path

import geopandas as gpd

sys.path.insert(0, str(Path(__file__).resolve().parent))
from bench_prepare import best, install_font, synthetic_roads  # noqa: E402

import glyphway_accel_avx2 as gw  # noqa: E402


def read_once(path, use_utm):
    engine = gw._RoadTessaraEngine(str(path), distance_interval=1e12, curved_text=False,
                                   name_field="name", weight_field="weight", use_utm=use_utm)
    with open(os.devnull, "w") as sink:
        saved, sys.stdout = sys.stdout, sink
        try:
            return engine._prepare_data()
        finally:
            sys.stdout = saved


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--synthetic", type=int, nargs="*", default=[200_000])
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    install_font()
    print(f"seconds, best of {args.repeat}")
    print(f"{'network':<24} {'utm':>4} {'short':>7} {'geopandas':>9} {'read_file':>9}")
    original = gpd.read_file
    with tempfile.TemporaryDirectory() as folder:
        for count in args.synthetic:
            path = synthetic_roads(folder, count)
            t_file, _ = best(args.repeat, lambda: original(path))
            for use_utm in (False, True):
                t_short, _ = best(args.repeat, lambda: read_once(path, use_utm))
                gpd.read_file = lambda p, **kw: original(p, **kw)
                try:
                    t_frame, _ = best(args.repeat, lambda: read_once(path, use_utm))
                finally:
                    gpd.read_file = original
                print(f"{f'synthetic ({count})':<24} {str(use_utm):>4} {t_short:>7.2f} "
                      f"{t_frame:>9.2f} {t_file:>9.2f}")
                sys.stdout.flush()


if __name__ == "__main__":
    main()
