"""Cartographic placement on real road networks, through the native probe.

    GLYPHWAY_NATIVE_BIN=build/native python bench/bench_cartographic.py [--cap-length M] [--no-cap]
        [--only CITY] [--font-size FS] [--set KEY VALUE ...] [--compare-interval] [--dump DIR]

For each network under /work/shared/data (skipped when absent) the named roads
are re-projected to their UTM zone (metres), written as probe input (spaces in
names become underscores, which the probe's fixed advances treat alike) and
placed by tests/native/cartographic_probe with the moderate profile at font
size 15. Printed per network: roads and labels, the probe's wall time, glyph
pairs turning more than 30 degrees, glyphs reading west, overlapping glyph-box
pairs between labels, and the share of named road length within 1 km of a
glyph of a label of its own name.
"""
import argparse
import math
import os
import subprocess
import time
from collections import defaultdict
from pathlib import Path

import geopandas as gpd
import numpy as np
import shapely
from shapely.geometry import MultiPoint, Polygon

DATA = Path("/work/shared/data")
NETWORKS = [
    ("Shenzhen", DATA / "shenzhen_szmap/road.shp", "dlmc", "EPSG:32650"),
    ("Lisbon", DATA / "lisbon_bbbike/roads_lisbon.shp", "name", "EPSG:32629"),
    ("Manhattan", DATA / "manhattan_tiger/tl_2021_36061_roads.shp", "FULLNAME", "EPSG:32618"),
]


def probe_input(gdf, name_col, settings):
    rows = [f"set {k} {v}" for k, v in settings.items()]
    pieces = []
    for name, geom in zip(gdf[name_col], gdf.geometry):
        parts = geom.geoms if geom.geom_type == "MultiLineString" else [geom]
        for part in parts:
            coords = np.asarray(part.coords)[:, :2]
            if len(coords) < 2:
                continue
            pieces.append((name, part))
            flat = " ".join(f"{x:.3f} {y:.3f}" for x, y in coords)
            rows.append(f"road {name} 1 {len(coords)} {flat}")
    return "\n".join(rows) + "\n", pieces


def parse(stdout):
    labels = []
    for row in stdout.splitlines():
        kind, *rest = row.split(" ")
        if kind == "label":
            labels.append({"text": rest[7], "glyphs": []})
        elif kind == "glyph":
            labels[-1]["glyphs"].append([float(v) for v in rest])
    return labels


def box(g):
    _, x, y, dx, dy, w, h = g
    nx, ny = -dy, dx
    return Polygon([(x + a * dx * w / 2 + b * nx * h / 2, y + a * dy * w / 2 + b * ny * h / 2)
                    for a, b in ((-1, -1), (1, -1), (1, 1), (-1, 1))])


def measure(labels, pieces):
    pairs = turned = west = glyphs = 0
    for label in labels:
        gs = label["glyphs"]
        glyphs += len(gs)
        west += sum(1 for g in gs if g[3] < 0)
        for a, b in zip(gs, gs[1:]):
            pairs += 1
            turn = abs(math.degrees(math.atan2(a[3] * b[4] - a[4] * b[3], a[3] * b[3] + a[4] * b[4])))
            turned += turn > 30.0 + 1e-9
    boxes, owner = [], []
    for i, label in enumerate(labels):
        for g in label["glyphs"]:
            boxes.append(box(g))
            owner.append(i)
    tree = shapely.STRtree(boxes)
    left, right = tree.query(boxes, predicate="intersects")
    overlaps = 0
    for a, b in zip(left, right):
        if a < b and owner[a] != owner[b] and boxes[a].intersection(boxes[b]).area > 1e-9:
            overlaps += 1
    points = defaultdict(list)
    for label in labels:
        points[label["text"]].extend((g[1], g[2]) for g in label["glyphs"])
    total = covered = 0.0
    by_name = defaultdict(list)
    for name, part in pieces:
        by_name[name].append(part)
    for name, parts in by_name.items():
        lines = shapely.MultiLineString(parts)
        total += lines.length
        if points[name]:
            covered += lines.intersection(MultiPoint(points[name]).buffer(1000.0, 8)).length
    return {
        "glyph pairs turning > 30": f"{100.0 * turned / max(pairs, 1):.3f}%",
        "westward glyphs": f"{100.0 * west / max(glyphs, 1):.3f}%",
        "overlapping pairs": overlaps,
        "coverage 1 km": f"{100.0 * covered / max(total, 1e-9):.1f}%",
    }


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cap-length", type=float, default=0.0)
    parser.add_argument("--no-cap", action="store_true")
    parser.add_argument("--only", default=None)
    parser.add_argument("--font-size", type=float, default=15.0)
    parser.add_argument("--dump", default=None, metavar="DIR",
                        help="also write each network's probe input to DIR/CITY.txt")
    parser.add_argument("--compare-interval", action="store_true",
                        help="also time tests/native/pipeline_probe (the interval style) on the same roads")
    parser.add_argument("--set", nargs=2, action="append", default=[], metavar=("KEY", "VALUE"),
                        help="any other probe setting")
    args = parser.parse_args()
    probe = Path(os.environ.get("GLYPHWAY_NATIVE_BIN", "build/native")) / "cartographic_probe"
    settings = {"density": "moderate", "font_size": args.font_size}
    if args.cap_length:
        settings["cap_length"] = args.cap_length
    settings.update(dict(args.set))
    for city, path, name_col, crs in NETWORKS:
        if not path.exists() or (args.only and args.only != city):
            continue
        gdf = gpd.read_file(path)
        gdf = gdf[gdf[name_col].notna()]
        gdf[name_col] = gdf[name_col].astype(str).str.strip()
        gdf = gdf[gdf[name_col] != ""].to_crs(crs)
        gdf[name_col] = gdf[name_col].str.replace(r"\s+", "_", regex=True)
        text, pieces = probe_input(gdf, name_col, settings)
        if args.no_cap:
            text = text.replace("set density moderate\n", "set spacing 270\nset max_labels_per_road 0\n")
        if args.dump:
            # The input for bench_cartographic_placement (the in-process timing).
            Path(args.dump, f"{city.lower()}.txt").write_text(text, encoding="utf-8")
        started = time.perf_counter()
        done = subprocess.run([str(probe)], input=text, capture_output=True, text=True,
                              encoding="utf-8", check=True)
        wall = time.perf_counter() - started
        labels = parse(done.stdout)
        roads = sum(1 for row in done.stdout.splitlines() if row.startswith("road "))
        row = {"pieces": len(pieces), "merged roads": roads, "labels": len(labels),
               "probe s": round(wall, 2)}
        if args.compare_interval:
            # The interval pipeline on the same roads, at its defaults and the same font size.
            roads_only = "".join(line + "\n" for line in text.splitlines() if line.startswith("road "))
            started = time.perf_counter()
            subprocess.run([str(probe.parent / "pipeline_probe")],
                           input=f"set font_size {args.font_size}\n" + roads_only,
                           capture_output=True, text=True, encoding="utf-8", check=True)
            row["interval pipeline s"] = round(time.perf_counter() - started, 2)
        print(city, {**row, **measure(labels, pieces)}, flush=True)


if __name__ == "__main__":
    main()
