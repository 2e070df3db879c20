"""Upright CJK lettering of the cartographic style against lettering along
the road, on real road networks.

    python bench/bench_upright.py [--data DIR] [--font PATH] [--orientation along upright auto]

Networks (each skipped when its file is absent): Shenzhen
(shenzhen_szmap/road.shp, name column ``dlmc``) and Taipei
(taipei_broken_names/roads.shp, ``name``), both with use_utm. The glyphs are
measured where every output draws them (``_cartographic_glyph_frames``).

Per network and cjk_orientation the script prints:

- labels: placed labels, and glyphs;
- steep: labels whose chord (first glyph's centre to the last's) is steeper
  than 45 degrees from east-west, and their CJK glyphs;
- north-up: share of those CJK glyphs whose up direction (the glyph
  frame's y axis in plan) is within 10 degrees of north (target >= 99 % for
  upright), and the same share of all their drawn glyphs (Taipei's names
  are all "?": it has no CJK glyph to measure);
- overlaps between labels: pairs of overlapping glyph boxes of different
  labels (target 0), and within a label: pairs of one label's boxes that
  overlap (target 0 for upright; glyphs laid along a bend overlap a little
  on its inner side);
- time: the placement and frame building, in seconds (one run).

Glyph box: bench/label_quality.py's, the rectangle centred on the glyph's
origin, its advance long along its reading direction and its font size
across (axis-aligned for an upright glyph).
"""
from __future__ import annotations

import argparse
import contextlib
import io
import sys
import time
from pathlib import Path

import numpy as np

sys.path.insert(0, str(Path(__file__).resolve().parent))
import label_quality as lq  # noqa: E402

import glyphway_accel_avx2 as gw  # noqa: E402
from bench_label_quality import DATA, FONT, NETWORKS as ALL_NETWORKS  # noqa: E402
from glyphway_maker import labels as label_options  # noqa: E402

# The networks with CJK names (Taipei's are all "?", so it checks the rest).
NETWORKS = [n for n in ALL_NETWORKS if n[0] in ("shenzhen", "taipei")]
NORTH_LIMIT_DEG = 10.0
TARGET_NORTH_UP = 0.99


def is_cjk(code_point):
    c = int(code_point)
    return (0x1100 <= c <= 0x11FF or 0x2E80 <= c <= 0x9FFF or 0xA960 <= c <= 0xA97F
            or 0xAC00 <= c <= 0xD7FF or 0xF900 <= c <= 0xFAFF or 0xFE30 <= c <= 0xFE4F
            or 0xFF00 <= c <= 0xFFEF or 0x20000 <= c <= 0x3FFFF)


def steep_labels(glyph_label, origin, label_count):
    """Per label: whether the chord from its first glyph to its last is
    steeper than 45 degrees."""
    glyph_label = np.asarray(glyph_label)
    first = np.full(label_count, -1)
    last = np.full(label_count, -1)
    for k in range(len(glyph_label) - 1, -1, -1):
        first[glyph_label[k]] = k
    for k in range(len(glyph_label)):
        last[glyph_label[k]] = k
    chord = origin[last, :2] - origin[first, :2]
    return np.abs(chord[:, 1]) > np.abs(chord[:, 0])


def pairs_within_labels(glyph_label):
    """(i, j), i < j, of every two glyphs of one label."""
    glyph_label = np.asarray(glyph_label)
    bounds = np.flatnonzero(np.diff(glyph_label)) + 1
    pi, pj = [], []
    for chunk in np.split(np.arange(len(glyph_label)), bounds):
        if len(chunk) > 1:
            i, j = np.triu_indices(len(chunk), 1)
            pi.append(chunk[i])
            pj.append(chunk[j])
    if not pi:
        return np.zeros(0, np.int64), np.zeros(0, np.int64)
    return np.concatenate(pi), np.concatenate(pj)


def measure(glyphs, labels):
    label_count = len(labels["index"])
    origin = np.asarray(glyphs["origin"], dtype=np.float64)
    frame = np.asarray(glyphs["frame"], dtype=np.float64)
    glyph_label = np.asarray(glyphs["label"])
    steep = steep_labels(glyph_label, origin, label_count) if label_count else np.zeros(0, bool)
    cjk = np.array([is_cjk(c) for c in glyphs["char"]], dtype=bool)
    drawn_steep = np.asarray(glyphs["has_mesh"], bool) & steep[glyph_label]
    measured = cjk & drawn_steep
    up = frame[:, :2, 1]
    up_deg = np.degrees(np.arctan2(up[:, 0], up[:, 1]))  # 0: north
    north = np.abs(up_deg) <= NORTH_LIMIT_DEG
    centre, axes, half = lq.glyph_boxes(origin, glyphs["direction"], glyphs["advance"],
                                        glyphs["font_size"])
    i, j = lq.overlapping_pairs(glyph_label, centre, axes, half)
    wi, wj = pairs_within_labels(glyph_label)
    within = lq.boxes_overlap(centre, axes, half, wi, wj) if len(wi) else np.zeros(0, bool)
    return {
        "labels": label_count, "glyphs": len(glyph_label), "steep": int(steep.sum()),
        "steep_cjk": int(measured.sum()),
        "north_up": float(north[measured].mean()) if measured.any() else float("nan"),
        "north_up_all": float(north[drawn_steep].mean()) if drawn_steep.any() else float("nan"),
        "overlaps": len(i), "within": int(within.sum()),
    }


def run(path, name_field, orientation, font):
    options = {"name_field": name_field, "use_utm": True}
    engine = gw._new_engine(label_options.engine_keywords(str(path), options), font)
    start = time.perf_counter()
    with contextlib.redirect_stdout(io.StringIO()):
        glyphs, labels, _ = gw._cartographic_glyph_frames(engine, 30.0, orientation)
    seconds = time.perf_counter() - start
    return measure(glyphs, labels), seconds


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", type=Path, default=DATA)
    parser.add_argument("--font", default=FONT)
    parser.add_argument("--orientation", nargs="+", default=["along", "upright", "auto"])
    args = parser.parse_args(argv)
    print("| network | cjk_orientation | labels | glyphs | steep labels | steep CJK glyphs "
          "| north-up (CJK) | north-up (all) | overlaps between | overlaps within | time s |")
    print("|---|---|---|---|---|---|---|---|---|---|---|")
    for name, relative, field in NETWORKS:
        path = args.data / relative
        if not path.exists():
            print(f"| {name} | (absent: {path}) |")
            continue
        for orientation in args.orientation:
            m, seconds = run(path, field, orientation, args.font)
            mark = ""
            if orientation == "upright" and m["steep_cjk"]:
                mark = " ok" if m["north_up"] >= TARGET_NORTH_UP else " BELOW TARGET"
            print(f"| {name} | {orientation} | {m['labels']} | {m['glyphs']} | {m['steep']} "
                  f"| {m['steep_cjk']} | {100 * m['north_up']:.2f} %{mark} "
                  f"| {100 * m['north_up_all']:.2f} % | {m['overlaps']} "
                  f"| {m['within']} | {seconds:.2f} |", flush=True)


if __name__ == "__main__":
    main()
