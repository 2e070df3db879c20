"""Label quality of each placement style on real road networks.

    python bench/bench_label_quality.py [--style interval cartographic] [--network NAME ...]
                                        [--data DIR] [--font PATH] [--no-utm]
                                        [--density NAME] [--radius-m 1000] [--step-m 25]
                                        [--repeat 2]

Networks (each skipped when its file is absent): Shenzhen
(shenzhen_szmap/road.shp, name column ``dlmc``), Lisbon
(lisbon_bbbike/roads_lisbon.shp, ``name``), Manhattan
(manhattan_tiger/tl_2021_36061_roads.shp, ``FULLNAME``), Taipei
(taipei_broken_names/roads.shp, ``name``) under --data, and the bundled
sample city (``glyphway_maker.sample_data_path()``, ``name``).

Each style runs the package's defaults plus the name column, the font,
use_utm (true metres; --no-utm keeps EPSG:3857) and --density when given, in
this process. The glyphs are measured where the OBJ draws them: the
interval style's through its engine's preparation and the OBJ's glyph
layout (``_glyph_frames``), the cartographic style's through the same run
its exports make (``_cartographic_glyph_frames``).

Per network and style the script prints:

- labels: visible labels;
- turn>22.5 / >30 / >45: share of labels in which two adjacent drawn glyphs
  turn by more than that many degrees;
- west>100: share of labels with a drawn glyph reading more than 100
  degrees away from east (upside down, for flat text); west>90: the same
  beyond 90 degrees, any westward component;
- overlaps: pairs of overlapping glyph boxes of different labels, and the
  pairs of labels they belong to;
- covered: share of the named road length within --radius-m metres of a
  label of its own name (parts of at most --step-m metres, by midpoint);
- time: ``generate_csv`` writing the billboard CSV in that style (read,
  placement and one row per label: the run), and ``generate`` writing the
  OBJ (the same with every glyph's mesh, so it grows with the number of
  labels), in seconds, each the fastest of --repeat runs.

Glyph box: the oriented rectangle centred on the glyph frame's origin, the
glyph's advance long along its reading direction and its font size wide.
The other definitions are in bench/label_quality.py. Metres are turned into
working units with the working system's scale at the network's centre (true
metres in UTM; EPSG:3857 units are 1/cos(latitude) per metre).

Targets of the cartographic style, printed beside its numbers: turns > 30
degrees 0 %, westward 0 %, overlaps 0, covered >= 85 %, CSV time <= 2 x the
interval style's (the OBJ time is printed beside it).
"""
from __future__ import annotations

import argparse
import contextlib
import io
import os
import shutil
import sys
import tempfile
import time
import warnings
from pathlib import Path

import numpy as np

sys.path.insert(0, str(Path(__file__).resolve().parent))
import label_quality as lq  # noqa: E402

import glyphway_accel_avx2 as gw  # noqa: E402
import glyphway_maker  # noqa: E402
from glyphway_maker import labels as label_options  # noqa: E402

DATA = Path("/work/shared/data")
FONT = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"
NETWORKS = [
    ("shenzhen", "shenzhen_szmap/road.shp", "dlmc"),
    ("lisbon", "lisbon_bbbike/roads_lisbon.shp", "name"),
    ("manhattan", "manhattan_tiger/tl_2021_36061_roads.shp", "FULLNAME"),
    ("taipei", "taipei_broken_names/roads.shp", "name"),
]
STYLES = ("interval", "cartographic")
TARGET_COVERED = 0.85
TARGET_TIME_RATIO = 2.0


def engine_options(name_field, args):
    options = {"name_field": name_field, "use_utm": not args.no_utm}
    if args.density:
        options["density"] = args.density
    return options


def fastest(repeat, run):
    best = float("inf")
    for _ in range(max(1, repeat)):
        start = time.perf_counter()
        run()
        best = min(best, time.perf_counter() - start)
    return best


def run_style(path, name_field, style, args, out_dir):
    """(glyphs, labels, working CRS, {"csv": seconds, "obj": seconds}) of one
    placement. Each time is the fastest of --repeat exports, so the first
    run's font loading and file cache misses do not count against whichever
    style comes first."""
    options = engine_options(name_field, args)
    seconds = {}
    with contextlib.redirect_stdout(io.StringIO()):
        for kind, function in (("csv", gw.generate_csv), ("obj", gw.generate)):
            target = os.path.join(out_dir, f"{style}.{kind}")
            seconds[kind] = fastest(args.repeat, lambda: function(
                path, target, font_path=args.font, style=style, **options))
        engine = gw._new_engine(label_options.engine_keywords(path, options), args.font)
        if style == "cartographic":
            glyphs, labels, working_crs = gw._cartographic_glyph_frames(engine)
        else:
            glyphs, labels, working_crs = gw._glyph_frames(engine)
    return glyphs, labels, working_crs, seconds


class Roads:
    """The named road pieces of one network in a working system, as parts
    of at most `step` working units."""

    def __init__(self, path, name_field):
        import geopandas
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            self.frame = geopandas.read_file(path, columns=[name_field])
        self.name_field = name_field
        self._cache = {}

    def units_per_metre(self, working_crs):
        import pyproj
        bounds = self.frame.to_crs("EPSG:4326").total_bounds
        lon, lat = (bounds[0] + bounds[2]) / 2, (bounds[1] + bounds[3]) / 2
        factors = pyproj.Proj(pyproj.CRS.from_user_input(working_crs)).get_factors(lon, lat)
        return float(np.sqrt(factors.areal_scale))

    def parts(self, working_crs, step):
        key = (str(working_crs), step)
        if key not in self._cache:
            import shapely
            frame = self.frame.to_crs(working_crs) if self.frame.crs != working_crs else self.frame
            names = [lq.clean_name(v) for v in frame[self.name_field]]
            keep = [i for i, n in enumerate(names) if n is not None]
            geoms = shapely.get_parts(frame.geometry.values[keep], return_index=True)
            pieces, piece_feature = geoms
            coords, index = shapely.get_coordinates(pieces, return_index=True)
            mid, length, owner = lq.line_parts(coords, index, step)
            part_names = np.array([names[keep[i]] for i in piece_feature], dtype=object)
            self._cache[key] = (mid, length, part_names[owner] if len(owner) else
                                np.zeros(0, dtype=object))
        return self._cache[key]


def measure(glyphs, labels, roads, working_crs, args):
    n = len(labels["index"])
    drawn = glyphs["has_mesh"]
    label_of = glyphs["label"][drawn]
    heading = lq.headings_deg(glyphs["direction"][drawn])
    turns = lq.label_turns(label_of, heading, n)
    west = lq.labels_with(label_of, lq.is_westward(heading), n)
    west_any = lq.labels_with(label_of, lq.is_westward(heading, lq.WEST_ANY_DEG), n)
    centre, axes, half = lq.glyph_boxes(glyphs["origin"][drawn], glyphs["direction"][drawn],
                                        glyphs["advance"][drawn], glyphs["font_size"][drawn])
    i, j = lq.overlapping_pairs(label_of, centre, axes, half)
    label_pairs = len({(min(a, b), max(a, b)) for a, b in zip(label_of[i], label_of[j])})

    scale = roads.units_per_metre(working_crs)
    mid, length, part_names = roads.parts(working_crs, args.step_m * scale)
    texts = [lq.clean_name(t) for t in labels["text"]]
    vocabulary = {name: k for k, name in enumerate(sorted(set(texts) - {None}))}
    part_ids = np.array([vocabulary.get(name, -1) for name in part_names], dtype=np.int64)
    anchor_ids = np.array([vocabulary.get(t, -1) if t else -1 for t in texts], dtype=np.int64)
    hit = lq.covered(mid, part_ids, labels["anchor"], anchor_ids, args.radius_m * scale)
    total = float(length.sum())
    share = lambda flags: float(np.mean(flags)) if n else 0.0  # noqa: E731
    return {
        "labels": n,
        "turn": {limit: share(turns > limit) for limit in lq.TURN_LIMITS_DEG},
        "west": share(west),
        "west_any": share(west_any),
        "overlaps": len(i),
        "overlap_labels": label_pairs,
        "covered": float(length[hit].sum()) / total if total > 0 else 0.0,
        "named_km": total / scale / 1000.0,
    }


def print_row(network, style, m, seconds, baseline_seconds):
    turns = "  ".join(f">{limit:g}: {100 * m['turn'][limit]:5.1f} %" for limit in lq.TURN_LIMITS_DEG)
    print(f"{network:10s} {style:12s} labels {m['labels']:6d}  turn {turns}  "
          f"west>100 {100 * m['west']:5.1f} %  >90 {100 * m['west_any']:5.1f} %  overlaps {m['overlaps']:5d} glyph pairs "
          f"({m['overlap_labels']} label pairs)  covered {100 * m['covered']:5.1f} % "
          f"of {m['named_km']:.0f} km  time csv {seconds['csv']:6.2f} s  "
          f"obj {seconds['obj']:6.2f} s", flush=True)
    if style == "cartographic":
        ratio = seconds["csv"] / baseline_seconds["csv"] if baseline_seconds else float("nan")
        checks = [("turn>30 0 %", m["turn"][30.0] == 0), ("west 0 %", m["west"] == 0),
                  ("overlaps 0", m["overlaps"] == 0),
                  (f"covered >= {100 * TARGET_COVERED:.0f} %", m["covered"] >= TARGET_COVERED),
                  (f"time {ratio:.2f} x <= {TARGET_TIME_RATIO:g} x", ratio <= TARGET_TIME_RATIO)]
        print(" " * 24 + "targets: " + ", ".join(f"{name} {'ok' if ok else 'MISSED'}"
                                                 for name, ok in checks), flush=True)
        if baseline_seconds:
            obj_ratio = seconds["obj"] / baseline_seconds["obj"]
            per_label = (seconds["obj"] / max(m["labels"], 1)) / (
                baseline_seconds["obj"] / max(baseline_seconds["labels"], 1))
            print(" " * 24 + f"obj export: {obj_ratio:.2f} x the interval style's, "
                  f"{per_label:.2f} x per label", flush=True)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--style", nargs="+", default=list(STYLES), choices=STYLES)
    parser.add_argument("--network", nargs="+", default=None,
                        help="networks to run (default all): "
                             + ", ".join([n for n, _, _ in NETWORKS] + ["sample"]))
    parser.add_argument("--data", type=Path, default=DATA)
    parser.add_argument("--font", default=FONT if os.path.exists(FONT) else None)
    parser.add_argument("--no-utm", action="store_true",
                        help="work in EPSG:3857, the package's default, instead of UTM")
    parser.add_argument("--density", default=None)
    parser.add_argument("--radius-m", type=float, default=1000.0)
    parser.add_argument("--step-m", type=float, default=25.0)
    parser.add_argument("--repeat", type=int, default=2, help="runs per style; the fastest counts")
    args = parser.parse_args(argv)

    networks = [(name, args.data / rel, field) for name, rel, field in NETWORKS]
    networks.append(("sample", Path(glyphway_maker.sample_data_path()), "name"))
    if args.network:
        networks = [n for n in networks if n[0] in args.network]
    print(f"font {args.font or '(searched)'}; use_utm {not args.no_utm}; "
          f"density {args.density or 'moderate'}; coverage radius {args.radius_m:g} m, "
          f"parts of {args.step_m:g} m", flush=True)
    out_dir = tempfile.mkdtemp(prefix="glyphway_quality_")
    try:
        for name, path, field in networks:
            run_network(name, path, field, args, out_dir)
    finally:
        shutil.rmtree(out_dir, ignore_errors=True)


def run_network(name, path, field, args, out_dir):
    if not path.exists():
        print(f"{name:10s} skipped: {path} not found", flush=True)
        return
    roads = Roads(path, field)
    baseline = None
    for style in args.style:
        glyphs, labels, working_crs, seconds = run_style(str(path), field, style, args, out_dir)
        if working_crs is None:
            print(f"{name:10s} {style:12s} no labels (no column {field!r})", flush=True)
            continue
        if style == "interval":
            baseline = dict(seconds, labels=len(labels["index"]))
        print_row(name, style, measure(glyphs, labels, roads, working_crs, args), seconds,
                  baseline)


if __name__ == "__main__":
    main()
