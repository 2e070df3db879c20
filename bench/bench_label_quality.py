"""Label quality of each placement style on real road networks.

    python bench/bench_label_quality.py [--style interval cartographic] [--network NAME ...]
                                        [--data DIR] [--font PATH] [--no-utm]
                                        [--density NAME] [--radius-m 1000] [--step-m 25]
                                        [--repeat 2] [--copies N]
                                        [--classes] [--class-field COLUMN]
                                        [--cjk-orientation {along,upright,auto}]

Networks (each skipped when its file is absent): Shenzhen
(shenzhen_szmap/road.shp, name column ``dlmc``), Lisbon
(lisbon_bbbike/roads_lisbon.shp, ``name``), Manhattan
(manhattan_tiger/tl_2021_36061_roads.shp, ``FULLNAME``), Taipei
(taipei_broken_names/roads.shp, ``name``) under --data, and the bundled
sample city (``glyphway_maker.sample_data_path()``, ``name``). With
--copies N, also N copies of Shenzhen side by side on a 1 degree grid
(bench/bench_country.py's copy maker), written to a temporary folder.

--class-field COLUMN reads every network's road classes from COLUMN
(class_field=); --classes does so with each network's own class column:
Shenzhen ``dj``, Lisbon ``type`` (OpenStreetMap highway values), Manhattan
``MTFCC`` (TIGER codes), none for Taipei and the sample city.
--cjk-orientation is handed to the cartographic style only (its
cjk_orientation= option), and only when given.

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
- dup<repeat: share of labels with a label of the same text whose centre
  (the mean of its glyph origins) is closer than the density profile's
  repeat interval at the run's font size (moderate: 18 x font_size; from
  the engine's _density_profile, so --density changes it); dup<4fs: the
  same closer than 4 x font_size;
- small: share of labels drawn below 0.7 of their class size, the run's
  font_size times _class_font_scale(weight) of the label's road weight (a
  scale of 1 where the binding has no such function); the drawn size is the
  label table's effective_font_size, the weight its weight;
- upright: of the CJK glyphs (Han, kana, Hangul, CJK punctuation,
  fullwidth forms) drawn in steep labels (chord from the first to the last
  glyph origin more than 45 degrees from east-west), the share whose up
  direction (the frame's y axis on the ground, flat posture) lies within
  10 degrees of north;
- time: ``generate_csv`` writing the billboard CSV in that style (read,
  placement and one row per label: the run), and ``generate`` writing the
  OBJ (the same with every glyph's mesh, so it grows with the number of
  labels), in seconds, each the fastest of --repeat runs.

Glyph box: the oriented rectangle centred on the glyph frame's origin, the
glyph's advance long along its reading direction and its font size wide.
The other definitions are in bench/label_quality.py. Metres are turned into
working units with the working system's scale at the network's centre (true
metres in UTM; EPSG:3857 units are 1/cos(latitude) per metre).

Targets of the cartographic style, printed beside its numbers: dup<repeat
<= 1 %, dup<4fs 0, covered >= 85 % (Shenzhen, Manhattan and their copies) or
>= 80 % (Lisbon), small 0 %, turns > 30 degrees 0 %, westward 0 %, overlaps
0, upright >= 99 % (with --cjk-orientation upright or auto), CSV time <= 1.5
x the interval style's (the OBJ time is printed beside it).
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
# Each network's road class column, for --classes.
CLASS_FIELDS = {"shenzhen": "dj", "lisbon": "type", "manhattan": "MTFCC"}
# The covered share each network should reach (none for Taipei's broken
# names and the sample city).
TARGET_COVERED = {"shenzhen": 0.85, "manhattan": 0.85, "lisbon": 0.80}
TARGET_TIME_RATIO = 1.5
TARGET_DUP_REPEAT = 0.01
TARGET_UPRIGHT = 0.99
CJK_ORIENTATIONS = ("along", "upright", "auto")


def engine_options(name_field, args):
    options = {"name_field": name_field, "use_utm": not args.no_utm}
    if args.density:
        options["density"] = args.density
    return options


def style_keywords(style, class_field, args):
    """The keyword-only options of one style's runs: the reading options
    (class_field) and, for the cartographic style, --cjk-orientation."""
    keywords = {}
    if class_field is not None:
        keywords["class_field"] = class_field
    if style == "cartographic" and args.cjk_orientation is not None:
        keywords["cjk_orientation"] = args.cjk_orientation
    return keywords


def takes_keyword(function, name):
    """Whether a native function's signature (its docstring's first line)
    names the keyword `name`."""
    return name in (function.__doc__ or "").split("\n", 1)[0]


def cartographic_call(function, engine, keywords):
    """`function(engine)` for one of the cartographic measuring functions,
    given those of `keywords` its signature names (the engine holds them
    all as attributes too)."""
    taken = {k: v for k, v in keywords.items() if takes_keyword(function, k)}
    return function(engine, **taken)


def fastest(repeat, run):
    best = float("inf")
    for _ in range(max(1, repeat)):
        start = time.perf_counter()
        run()
        best = min(best, time.perf_counter() - start)
    return best


def run_style(path, name_field, style, class_field, args, out_dir):
    """(glyphs, labels, table, working CRS, engine, {"csv": seconds, "obj":
    seconds}) of one placement; table is the label table of the same labels
    (its weight and effective_font_size). Each time is the fastest of
    --repeat exports, so the first run's font loading and file cache misses
    do not count against whichever style comes first."""
    options = engine_options(name_field, args)
    keywords = style_keywords(style, class_field, args)
    seconds = {}
    with contextlib.redirect_stdout(io.StringIO()):
        for kind, function in (("csv", gw.generate_csv), ("obj", gw.generate)):
            target = os.path.join(out_dir, f"{style}.{kind}")
            seconds[kind] = fastest(args.repeat, lambda: function(
                path, target, font_path=args.font, style=style, **options, **keywords))
        engine = gw._new_engine(label_options.engine_keywords(path, options), args.font)
        # The reading options, and what a measuring function does not take
        # as a keyword, are the engine's attributes (as the label table
        # sets them).
        for name, value in keywords.items():
            setattr(engine, name, value)
        if style == "cartographic":
            glyphs, labels, working_crs = cartographic_call(gw._cartographic_glyph_frames,
                                                            engine, keywords)
            table, _ = cartographic_call(gw._cartographic_label_table, engine, keywords)
        else:
            glyphs, labels, working_crs = gw._glyph_frames(engine)
            table, _ = gw._prepared_label_table(engine)
    return glyphs, labels, table, working_crs, engine, seconds


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


def class_scales(weights):
    """_class_font_scale of each weight (1.0 where the binding has none)."""
    scale_of = getattr(gw, "_class_font_scale", None)
    weights = np.asarray(weights, dtype=np.float64)
    if scale_of is None or len(weights) == 0:
        return np.ones(len(weights))
    unique, back = np.unique(weights, return_inverse=True)
    return np.array([float(scale_of(w)) for w in unique])[back]


def duplicate_shares(glyphs, labels, texts, vocabulary, engine, n):
    """(dup<repeat, dup<4fs) of the labels: the shares with a same-text
    label's centre closer than the repeat interval, and than 4 font sizes."""
    font_size = float(engine.font_size)
    repeat = float(engine._density_profile(font_size)["repeat_min_interval"])
    centres = lq.label_centres(glyphs["label"], glyphs["origin"], n)
    ids = np.array([vocabulary.get(t, -1) if t else -1 for t in texts], dtype=np.int64)
    distance = lq.same_name_distance(centres, ids, max(repeat, 4.0 * font_size))
    share = lambda flags: float(np.mean(flags)) if n else 0.0  # noqa: E731
    return share(distance < repeat), share(distance < 4.0 * font_size), repeat / font_size


def upright_share(glyphs, n):
    """(share, count) of the CJK glyphs drawn in steep labels whose up
    direction lies within 10 degrees of north."""
    steep = lq.steep_labels(glyphs["label"], glyphs["origin"], n)
    cjk = glyphs["has_mesh"] & lq.is_cjk(glyphs["char"]) & steep[glyphs["label"]]
    count = int(cjk.sum())
    if count == 0:
        return float("nan"), 0
    return float(np.mean(lq.up_is_north(glyphs["frame"][cjk]))), count


def measure(glyphs, labels, table, roads, working_crs, engine, args):
    n = len(labels["index"])
    if len(table["index"]) != n or not np.array_equal(table["index"], labels["index"]):
        raise RuntimeError("the label table and the glyph frames list different labels")
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
    dup_repeat, dup_4fs, repeat_factor = duplicate_shares(glyphs, labels, texts, vocabulary,
                                                          engine, n)
    class_size = float(engine.font_size) * class_scales(table["weight"])
    small = np.asarray(table["effective_font_size"]) < lq.SMALL_FLOOR * class_size
    upright, cjk_glyphs = upright_share(glyphs, n)
    return {
        "dup_repeat": dup_repeat,
        "dup_4fs": dup_4fs,
        "repeat_factor": repeat_factor,
        "small": share(small),
        "upright": upright,
        "cjk_glyphs": cjk_glyphs,
        "labels": n,
        "turn": {limit: share(turns > limit) for limit in lq.TURN_LIMITS_DEG},
        "west": share(west),
        "west_any": share(west_any),
        "overlaps": len(i),
        "overlap_labels": label_pairs,
        "covered": float(length[hit].sum()) / total if total > 0 else 0.0,
        "named_km": total / scale / 1000.0,
    }


def covered_target(network):
    return TARGET_COVERED.get(network.split("_x")[0])


def print_row(network, style, m, seconds, baseline_seconds, args):
    turns = "  ".join(f">{limit:g}: {100 * m['turn'][limit]:5.1f} %" for limit in lq.TURN_LIMITS_DEG)
    upright = (f"{100 * m['upright']:5.1f} % of {m['cjk_glyphs']} glyphs" if m["cjk_glyphs"]
               else "  n/a (no CJK glyph in a steep label)")
    print(f"{network:12s} {style:12s} labels {m['labels']:6d}  turn {turns}  "
          f"west>100 {100 * m['west']:5.1f} %  >90 {100 * m['west_any']:5.1f} %  overlaps {m['overlaps']:5d} glyph pairs "
          f"({m['overlap_labels']} label pairs)  covered {100 * m['covered']:5.1f} % "
          f"of {m['named_km']:.0f} km  dup<repeat ({m['repeat_factor']:g} fs) "
          f"{100 * m['dup_repeat']:5.2f} %  dup<4fs {100 * m['dup_4fs']:5.2f} %  "
          f"small {100 * m['small']:5.1f} %  upright {upright}  time csv {seconds['csv']:6.2f} s  "
          f"obj {seconds['obj']:6.2f} s", flush=True)
    if style == "cartographic":
        ratio = seconds["csv"] / baseline_seconds["csv"] if baseline_seconds else float("nan")
        covered = covered_target(network)
        checks = [(f"dup<repeat <= {100 * TARGET_DUP_REPEAT:g} %",
                   m["dup_repeat"] <= TARGET_DUP_REPEAT),
                  ("dup<4fs 0", m["dup_4fs"] == 0)]
        if covered is not None:
            checks.append((f"covered >= {100 * covered:.0f} %", m["covered"] >= covered))
        checks += [("small 0 %", m["small"] == 0),
                  ("turn>30 0 %", m["turn"][30.0] == 0), ("west 0 %", m["west"] == 0),
                  ("overlaps 0", m["overlaps"] == 0)]
        if args.cjk_orientation in ("upright", "auto"):
            checks.append((f"upright >= {100 * TARGET_UPRIGHT:.0f} %",
                           m["cjk_glyphs"] == 0 or m["upright"] >= TARGET_UPRIGHT))
        checks.append((f"time {ratio:.2f} x <= {TARGET_TIME_RATIO:g} x",
                       ratio <= TARGET_TIME_RATIO))
        print(" " * 26 + "targets: " + ", ".join(f"{name} {'ok' if ok else 'MISSED'}"
                                                 for name, ok in checks), flush=True)
        if baseline_seconds:
            obj_ratio = seconds["obj"] / baseline_seconds["obj"]
            per_label = (seconds["obj"] / max(m["labels"], 1)) / (
                baseline_seconds["obj"] / max(baseline_seconds["labels"], 1))
            print(" " * 26 + f"obj export: {obj_ratio:.2f} x the interval style's, "
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
    parser.add_argument("--copies", type=int, default=0, metavar="N",
                        help="also run on N copies of Shenzhen side by side")
    parser.add_argument("--classes", action="store_true",
                        help="read each network's road classes from its own class column: "
                             + ", ".join(f"{n} {c!r}" for n, c in CLASS_FIELDS.items()))
    parser.add_argument("--class-field", default=None, metavar="COLUMN",
                        help="read every network's road classes from COLUMN")
    parser.add_argument("--cjk-orientation", default=None, choices=CJK_ORIENTATIONS,
                        help="the cartographic style's cjk_orientation= option")
    args = parser.parse_args(argv)
    if args.cjk_orientation is not None and not any(
            row["name"] == "cjk_orientation" for row in gw._option_table):
        parser.error("--cjk-orientation: this build of glyphway_accel_avx2 has no "
                     "cjk_orientation option")
    if args.copies < 0:
        parser.error("--copies must be 0 or more")

    networks = [(name, args.data / rel, field) for name, rel, field in NETWORKS]
    networks.append(("sample", Path(glyphway_maker.sample_data_path()), "name"))
    if args.network:
        networks = [n for n in networks if n[0] in args.network]
    print(f"font {args.font or '(searched)'}; use_utm {not args.no_utm}; "
          f"density {args.density or 'moderate'}; coverage radius {args.radius_m:g} m, "
          f"parts of {args.step_m:g} m; cjk_orientation {args.cjk_orientation or '(default)'}",
          flush=True)
    out_dir = tempfile.mkdtemp(prefix="glyphway_quality_")
    try:
        for name, path, field in networks:
            run_network(name, path, field, args, out_dir)
            if name == "shenzhen" and args.copies > 0 and path.exists():
                copies = copied_network(path, args.copies, out_dir)
                run_network(f"shenzhen_x{args.copies}", copies, field, args, out_dir)
    finally:
        shutil.rmtree(out_dir, ignore_errors=True)


def copied_network(path, copies, out_dir):
    """`copies` copies of the network at `path` on bench_country's 1 degree
    grid, as a shapefile in `out_dir`."""
    import bench_country
    out = Path(out_dir) / f"copies_{copies}" / "roads.shp"
    out.parent.mkdir(parents=True, exist_ok=True)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        bench_country.work_generate(str(path), copies, str(out))
    return out


def class_field_of(name, args):
    if args.class_field is not None:
        return args.class_field
    return CLASS_FIELDS.get(name.split("_x")[0]) if args.classes else None


def run_network(name, path, field, args, out_dir):
    if not path.exists():
        print(f"{name:12s} skipped: {path} not found", flush=True)
        return
    roads = Roads(path, field)
    class_field = class_field_of(name, args)
    if class_field is not None:
        print(f"{name:12s} road classes from {class_field!r}", flush=True)
    baseline = None
    for style in args.style:
        glyphs, labels, table, working_crs, engine, seconds = run_style(
            str(path), field, style, class_field, args, out_dir)
        if working_crs is None:
            print(f"{name:12s} {style:12s} no labels (no column {field!r})", flush=True)
            continue
        if style == "interval":
            baseline = dict(seconds, labels=len(labels["index"]))
        print_row(name, style, measure(glyphs, labels, table, roads, working_crs, engine, args),
                  seconds, baseline, args)


if __name__ == "__main__":
    main()
