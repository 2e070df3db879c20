"""Writes every output of the command line for the sample city and each real
network, in both placement styles, and prints one SHA-256 per file.

    python tools/output_fingerprints.py OUTDIR [--font PATH] [--only NAME ...] > sums.txt

Two checkouts' listings are compared with ``diff``: a change that moves code
around must leave every line the same. The runs are the ones a refactor has
to keep byte for byte: OBJ flat with --use-utm and upright very_dense, CSV in
UTM and in EPSG:3857, GLB instanced and plain, the GeoJSON label points and
the PNG preview. Networks under /work/shared/data that are absent are left out.
"""
from __future__ import annotations

import argparse
import contextlib
import hashlib
import io
import os
import sys
from pathlib import Path

from glyphway_maker import cli

DATA = Path("/work/shared/data")
FONT = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"

NETWORKS = {
    "sample": (None, "name"),
    "shenzhen": (DATA / "shenzhen_szmap/road.shp", "dlmc"),
    "shenzhen_4547": (DATA / "shenzhen_szmap/derived/sz_road_epsg4547.shp", "dlmc"),
    "shenzhen_byname": (DATA / "shenzhen_szmap/derived/sz_road_byname_epsg4547.shp", "dlmc"),
    "lisbon": (DATA / "lisbon_bbbike/roads_lisbon.shp", "name"),
    "manhattan": (DATA / "manhattan_tiger/tl_2021_36061_roads.shp", "FULLNAME"),
    "taipei": (DATA / "taipei_broken_names/roads.shp", "name"),
    "perf_merged": (DATA / "perf_merged_derived/perf_merged_epsg3857.shp", "name"),
}

# (file name, command, extra options)
RUNS = (
    ("flat_utm.obj", "obj", ["--use-utm"]),
    ("upright_very_dense.obj", "obj", ["--posture", "upright", "--density", "very_dense"]),
    ("utm.csv", "csv", ["--use-utm", "--target-crs", ""]),
    ("web_mercator.csv", "csv", []),
    ("instanced.glb", "glb", ["--use-utm"]),
    ("plain.glb", "glb", ["--use-utm", "--no-instancing"]),
    ("labels.geojson", "labels", ["--use-utm"]),
    ("preview.png", "preview", ["--use-utm"]),
)

STYLES = (("interval", []), ("cartographic", ["--style", "cartographic"]))


def sha256(path: Path) -> str:
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("outdir")
    parser.add_argument("--font", default=FONT)
    parser.add_argument("--only", nargs="*", help="network names to run (default: all)")
    args = parser.parse_args()
    import glyphway_maker
    out = Path(args.outdir)
    out.mkdir(parents=True, exist_ok=True)
    for network, (path, name_field) in NETWORKS.items():
        if args.only and network not in args.only:
            continue
        shp = Path(glyphway_maker.sample_data_path()) if path is None else path
        if not shp.exists():
            continue
        for style, style_options in STYLES:
            for file_name, command, options in RUNS:
                target = out / f"{network}.{style}.{file_name}"
                argv = ["--quiet", command, str(shp), str(target), "--name-field", name_field,
                        "--font", args.font, *options, *style_options]
                log = io.StringIO()
                with contextlib.redirect_stdout(log), contextlib.redirect_stderr(log):
                    status = cli.main(argv)
                if status != 0 or not target.exists():
                    print(f"{target.name} FAILED ({status}): {log.getvalue().strip()[-300:]}")
                    continue
                # The progress log is part of what a user sees; its timing
                # lines go to standard error and are dropped.
                # The folder is named by a placeholder, so that two runs into
                # different folders compare equal.
                stdout = "\n".join(line.replace(str(out), "OUT")
                                   for line in log.getvalue().splitlines()
                                   if line.startswith("[glyphway_maker]"))
                print(f"{sha256(target)}  {target.name}  log:{hashlib.sha256(stdout.encode()).hexdigest()[:16]}",
                      flush=True)
                os.remove(target)
    return 0


if __name__ == "__main__":
    sys.exit(main())
