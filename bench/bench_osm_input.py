"""Times the reading and labelling of an OpenStreetMap extract.

    .venv/bin/python bench/bench_osm_input.py [--repeat 3] [--keep DIR]

The extract is rebuilt from the BBBike shapefile of Lisbon in /work/shared/data
(OpenStreetMap ways: `type` holds the highway class, `name` and `ref` the tags):
one node per distinct coordinate, so that touching ways share their nodes, one
way per line part, written as .osm XML and turned into .osm.pbf by osmium-tool.
`--keep DIR` leaves lisbon.osm and lisbon.osm.pbf there.

For each file (.pbf and .osm), best of `--repeat` runs:
  lines read  pyogrio's read of the `lines` layer alone (GDAL's own osmconf, all ways)
  our read    _sources.read_osm: our osmconf, the road ways only, names and class weights
  labelling   generate_csv with no other option: read, placement, solver and the CSV
"""
import argparse
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from xml.sax.saxutils import quoteattr

import geopandas as gpd
import shapely

sys.path.insert(0, str(Path(__file__).resolve().parent))
from bench_prepare import best, install_font  # noqa: E402

import glyphway_accel_avx2 as gw  # noqa: E402
import pyogrio.raw  # noqa: E402

from glyphway_maker import _sources  # noqa: E402

LISBON = Path("/work/shared/data/lisbon_bbbike/roads_lisbon.shp")


def write_osm(shapefile, path):
    """The shapefile's ways as .osm XML; returns the number of ways."""
    frame = gpd.read_file(shapefile)
    nodes = {}
    ways = []
    for row in frame.itertuples(index=False):
        for part in shapely.get_parts(row.geometry):
            refs = []
            for x, y in shapely.get_coordinates(part):
                key = (round(x, 7), round(y, 7))
                refs.append(nodes.setdefault(key, len(nodes) + 1))
            tags = {"highway": row.type, "name": row.name, "ref": row.ref}
            ways.append((refs, {k: v for k, v in tags.items() if isinstance(v, str) and v}))
    with open(path, "w", encoding="utf-8") as out:
        out.write('<?xml version="1.0" encoding="UTF-8"?>\n<osm version="0.6" generator="bench">\n')
        for (x, y), node in nodes.items():
            out.write(f'<node id="{node}" version="1" lat="{y:.7f}" lon="{x:.7f}"/>\n')
        for way, (refs, tags) in enumerate(ways, start=1):
            out.write(f'<way id="{way}" version="1">')
            out.write("".join(f'<nd ref="{r}"/>' for r in refs))
            out.write("".join(f"<tag k={quoteattr(k)} v={quoteattr(v)}/>" for k, v in tags.items()))
            out.write("</way>\n")
        out.write("</osm>\n")
    return len(ways)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--keep", type=Path, default=None)
    args = parser.parse_args()
    if not LISBON.exists() or shutil.which("osmium") is None:
        sys.exit("needs /work/shared/data/lisbon_bbbike and osmium-tool")
    install_font()
    folder = Path(tempfile.mkdtemp())
    osm = folder / "lisbon.osm"
    start = time.perf_counter()
    ways = write_osm(LISBON, osm)
    pbf = folder / "lisbon.osm.pbf"
    subprocess.run(["osmium", "cat", str(osm), "-o", str(pbf), "-O"], check=True)
    print(f"extract: {ways} ways, .osm {osm.stat().st_size / 1e6:.1f} MB, "
          f".pbf {pbf.stat().st_size / 1e6:.1f} MB, built in {time.perf_counter() - start:.1f} s")
    print(f"seconds, best of {args.repeat}")
    print(f"{'file':<10} {'lines read':>10} {'our read':>9} {'labelling':>9}  rows: lines / roads / labels")
    for path in (pbf, osm):
        t_lines, lines = best(args.repeat, lambda: pyogrio.raw.read(str(path), layer="lines"))
        t_ours, roads = best(args.repeat, lambda: _sources.read_osm(str(path), "name", "weight"))
        out = folder / "out.csv"

        def label():
            with open("/dev/null", "w") as sink:
                saved, sys.stdout = sys.stdout, sink
                try:
                    gw.generate_csv(str(path), str(out))
                finally:
                    sys.stdout = saved
            return sum(1 for _ in open(out, encoding="utf-8")) - 1

        t_label, labels = best(args.repeat, label)
        print(f"{path.name.split('.', 1)[1]:<10} {t_lines:>10.2f} {t_ours:>9.2f} {t_label:>9.2f}  "
              f"{len(lines[2])} / {len(roads.wkb)} / {labels}")
    if args.keep is not None:
        args.keep.mkdir(parents=True, exist_ok=True)
        shutil.copy(osm, args.keep)
        shutil.copy(pbf, args.keep)
    shutil.rmtree(folder)


if __name__ == "__main__":
    main()
