"""Measures of a label placement, computed from its glyph frames
(``glyphway_accel_avx2._glyph_frames``) and the road network.

Definitions (angles in degrees, lengths in working-system units unless said):

- A glyph's heading is the angle of its reading direction (the frame's x
  axis, projected on the ground) counter-clockwise from east, in (-180, 180].
- Turn: between two drawn glyphs (glyphs with a mesh) that follow each other
  in one label, the absolute difference of their headings wrapped into
  [0, 180]. Blanks are skipped: the glyphs either side of a space are
  adjacent as drawn. A label's turn is the largest of its glyph pairs; a
  label with fewer than two drawn glyphs turns by 0.
- Westward: a drawn glyph whose heading is more than 100 degrees from east,
  i.e. it reads right to left, upside down for flat text. 100 rather than
  90 leaves a road running due north or south its small wobbles; the share
  beyond 90 degrees (any westward component) is reported too.
- Glyph box: the oriented rectangle on the ground centred on the glyph
  frame's origin, the glyph's advance long along its heading and its font
  size wide across it. Glyphs of one label sit advance to advance, so their
  boxes touch and never count.
- Overlap: two boxes of different labels whose interiors intersect
  (separating-axis test with a small tolerance, so boxes that only touch do
  not count).
- Coverage: every named road piece is cut into parts of at most `step`
  length; a part is covered when its midpoint lies within `radius` of the
  anchor of a label whose text is the piece's cleaned name. The share is the
  covered length over the named length.
- Label centre: the mean (x, y) of the origins of a label's glyph frames
  (every glyph that takes up room, blanks too), the same for both styles.
- Same-name distance: from a label's centre to the nearest centre of
  another label of the same text; infinite beyond the reach looked at.
  A label is a near duplicate when that distance is below a limit (the
  density profile's repeat interval, or 4 font sizes).
- Small: a label drawn below SMALL_FLOOR of its class size (the size its
  road's weight asks for).
- CJK glyph: a code point of Han (with its radicals, strokes and
  compatibility ideographs), kana, Hangul, Bopomofo, CJK punctuation and
  symbols, or the half- and fullwidth forms.
- Steep label: a label whose chord, from its first to its last glyph
  origin, runs more than 45 degrees from east-west (|dy| > |dx|).
- Upright glyph: a glyph whose up direction (the frame's y axis, on the
  ground plane in flat posture) lies within UPRIGHT_LIMIT_DEG of north.
"""
from __future__ import annotations

import math

import numpy as np

WEST_LIMIT_DEG = 100.0
WEST_ANY_DEG = 90.0
TURN_LIMITS_DEG = (22.5, 30.0, 45.0)
# Boxes must overlap by more than this (working units) to count: the
# layout's own rounding leaves neighbouring glyphs a hair apart or inside.
OVERLAP_TOLERANCE = 1e-6
SMALL_FLOOR = 0.7
UPRIGHT_LIMIT_DEG = 10.0
STEEP_LIMIT_DEG = 45.0
# Inclusive code point ranges of the scripts and forms set upright.
CJK_RANGES = np.array([
    (0x1100, 0x11FF),    # Hangul Jamo
    (0x2E80, 0x2FDF),    # CJK and Kangxi radicals
    (0x2FF0, 0x2FFF),    # ideographic description characters
    (0x3000, 0x303F),    # CJK symbols and punctuation
    (0x3040, 0x30FF),    # Hiragana, Katakana
    (0x3100, 0x312F),    # Bopomofo
    (0x3130, 0x318F),    # Hangul compatibility Jamo
    (0x3190, 0x31FF),    # Kanbun, Bopomofo extended, CJK strokes, Katakana extensions
    (0x3200, 0x33FF),    # enclosed CJK letters, CJK compatibility
    (0x3400, 0x4DBF),    # CJK unified ideographs extension A
    (0x4E00, 0x9FFF),    # CJK unified ideographs
    (0xA960, 0xA97F),    # Hangul Jamo extended A
    (0xAC00, 0xD7FF),    # Hangul syllables, Jamo extended B
    (0xF900, 0xFAFF),    # CJK compatibility ideographs
    (0xFE10, 0xFE1F),    # vertical forms
    (0xFE30, 0xFE4F),    # CJK compatibility forms
    (0xFF00, 0xFFEF),    # half- and fullwidth forms
    (0x20000, 0x3FFFF),  # the supplementary ideographic planes
], dtype=np.int64)


def headings_deg(direction):
    """Heading of each reading direction (n x 2 or n x 3), degrees from east."""
    direction = np.asarray(direction, dtype=np.float64)
    return np.degrees(np.arctan2(direction[:, 1], direction[:, 0]))


def turn_deg(a, b):
    """|b - a| wrapped into [0, 180]: 179 and -179 are 2 degrees apart."""
    d = np.mod(np.asarray(b, dtype=np.float64) - np.asarray(a, dtype=np.float64), 360.0)
    return np.minimum(d, 360.0 - d)


def label_turns(glyph_label, heading, label_count):
    """Largest turn between consecutive glyphs of each label (rows in label order)."""
    glyph_label = np.asarray(glyph_label)
    out = np.zeros(label_count, dtype=np.float64)
    if len(glyph_label) < 2:
        return out
    same = glyph_label[1:] == glyph_label[:-1]
    turns = turn_deg(heading[:-1], heading[1:])[same]
    np.maximum.at(out, glyph_label[1:][same], turns)
    return out


def is_westward(heading, limit=WEST_LIMIT_DEG):
    """Whether each heading reads more than `limit` degrees away from east."""
    return np.abs(np.asarray(heading, dtype=np.float64)) > limit


def labels_with(glyph_label, flags, label_count):
    """Per label: whether any of its glyphs is flagged."""
    out = np.zeros(label_count, dtype=bool)
    out[np.asarray(glyph_label)[np.asarray(flags, dtype=bool)]] = True
    return out


def glyph_boxes(origin, direction, advance, font_size):
    """(centre n x 2, unit axes n x 2 x 2, half extents n x 2) of the glyph boxes."""
    origin = np.asarray(origin, dtype=np.float64)
    direction = np.asarray(direction, dtype=np.float64)[:, :2]
    length = np.hypot(direction[:, 0], direction[:, 1])
    u = np.where(length[:, None] > 0, direction / np.where(length > 0, length, 1)[:, None],
                 np.array([1.0, 0.0]))
    v = np.column_stack([-u[:, 1], u[:, 0]])
    half = np.column_stack([0.5 * np.asarray(advance, dtype=np.float64),
                            0.5 * np.asarray(font_size, dtype=np.float64)])
    return origin[:, :2].copy(), np.stack([u, v], axis=1), half


def boxes_overlap(centre, axes, half, i, j, tolerance=OVERLAP_TOLERANCE):
    """Whether boxes i and j (index arrays) overlap, by the separating-axis test."""
    d = centre[j] - centre[i]
    overlap = np.ones(len(i), dtype=bool)
    for owner in (i, j):
        for k in range(2):
            axis = axes[owner, k]
            reach = np.zeros(len(i))
            for box in (i, j):
                for m in range(2):
                    reach += half[box, m] * np.abs(np.einsum("ij,ij->i", axes[box, m], axis))
            gap = np.abs(np.einsum("ij,ij->i", d, axis))
            overlap &= gap < reach - tolerance
    return overlap


def _cell_pairs(cells, max_pairs=None):
    """Pairs (i, j), i < j, of points in the same or a neighbouring grid cell
    (cells: n x 2 integer cell coordinates)."""
    n = len(cells)
    if n < 2:
        return np.zeros(0, np.int64), np.zeros(0, np.int64)
    low = cells.min(axis=0) - 1
    span = cells.max(axis=0) - low + 2
    c = cells - low
    key = c[:, 1].astype(np.int64) * span[0] + c[:, 0]
    order = np.argsort(key, kind="stable")
    sorted_key = key[order]
    pairs_i, pairs_j = [], []
    for dy in (-1, 0, 1):
        for dx in (-1, 0, 1):
            target = (c[:, 1] + dy).astype(np.int64) * span[0] + (c[:, 0] + dx)
            lo = np.searchsorted(sorted_key, target, "left")
            hi = np.searchsorted(sorted_key, target, "right")
            count = hi - lo
            for k in range(int(count.max(initial=0))):
                has = np.nonzero(count > k)[0]
                other = order[lo[has] + k]
                keep = has < other
                pairs_i.append(has[keep])
                pairs_j.append(other[keep])
    if not pairs_i:
        return np.zeros(0, np.int64), np.zeros(0, np.int64)
    return np.concatenate(pairs_i), np.concatenate(pairs_j)


def overlapping_pairs(glyph_label, centre, axes, half):
    """(i, j) of the overlapping boxes of different labels, i < j."""
    glyph_label = np.asarray(glyph_label)
    if len(glyph_label) < 2:
        return np.zeros(0, np.int64), np.zeros(0, np.int64)
    radius = np.hypot(half[:, 0], half[:, 1])
    cell = 2.0 * float(radius.max())
    if not cell > 0:
        return np.zeros(0, np.int64), np.zeros(0, np.int64)
    cells = np.floor(centre / cell).astype(np.int64)
    i, j = _cell_pairs(cells)
    keep = glyph_label[i] != glyph_label[j]
    i, j = i[keep], j[keep]
    near = np.hypot(*(centre[j] - centre[i]).T) < radius[i] + radius[j]
    i, j = i[near], j[near]
    hit = boxes_overlap(centre, axes, half, i, j)
    return i[hit], j[hit]


def clean_name(value):
    """A road name as the engine reads it, or None for a road it skips."""
    if value is None:
        return None
    if isinstance(value, float) and math.isnan(value):
        return None
    text = str(value).strip()
    if not text or text.lower() in ("none", "nan"):
        return None
    return text


def line_parts(coords, line_index, step):
    """Midpoints (n x 2), lengths and line of the parts of at most `step`
    length that each segment of the lines is cut into. `coords` and
    `line_index` are shapely.get_coordinates(lines, return_index=True)."""
    coords = np.asarray(coords, dtype=np.float64)[:, :2]
    line_index = np.asarray(line_index)
    same = line_index[1:] == line_index[:-1]
    a, b = coords[:-1][same], coords[1:][same]
    owner = line_index[1:][same]
    seg = np.hypot(*(b - a).T)
    count = np.maximum(1, np.ceil(seg / step)).astype(np.int64)
    count[~(seg > 0)] = 0
    which = np.repeat(np.arange(len(seg)), count)
    start = np.repeat(np.cumsum(count) - count, count)
    t = (np.arange(len(which)) - start + 0.5) / np.maximum(count[which], 1)
    mid = a[which] + (b[which] - a[which]) * t[:, None]
    return mid, seg[which] / count[which], owner[which]


def covered(points, point_name, anchors, anchor_name, radius):
    """Whether each point lies within `radius` of an anchor of the same name
    id (integer arrays; -1 never matches)."""
    points = np.asarray(points, dtype=np.float64)[:, :2]
    anchors = np.asarray(anchors, dtype=np.float64)[:, :2]
    point_name = np.asarray(point_name, dtype=np.int64)
    anchor_name = np.asarray(anchor_name, dtype=np.int64)
    out = np.zeros(len(points), dtype=bool)
    if len(points) == 0 or len(anchors) == 0:
        return out
    origin = np.minimum(points.min(axis=0), anchors.min(axis=0)) - radius
    pc = np.floor((points - origin) / radius).astype(np.int64)
    ac = np.floor((anchors - origin) / radius).astype(np.int64)
    span = np.maximum(pc.max(axis=0), ac.max(axis=0)) + 3

    def key(name, cx, cy):
        return (name * span[1] + cy) * span[0] + cx

    akey = key(anchor_name, ac[:, 0], ac[:, 1])
    order = np.argsort(akey, kind="stable")
    sorted_key = akey[order]
    live = point_name >= 0
    r2 = radius * radius
    for dy in (-1, 0, 1):
        for dx in (-1, 0, 1):
            target = key(point_name, pc[:, 0] + dx, pc[:, 1] + dy)
            lo = np.searchsorted(sorted_key, target, "left")
            hi = np.searchsorted(sorted_key, target, "right")
            count = np.where(live, hi - lo, 0)
            for k in range(int(count.max(initial=0))):
                has = np.nonzero((count > k) & ~out)[0]
                if len(has) == 0:
                    break
                near = anchors[order[lo[has] + k]] - points[has]
                out[has[np.einsum("ij,ij->i", near, near) <= r2]] = True
    return out


def label_centres(glyph_label, origin, label_count):
    """Mean (x, y) of each label's glyph origins (label_count x 2; NaN for a
    label without glyphs)."""
    glyph_label = np.asarray(glyph_label, dtype=np.int64)
    origin = np.asarray(origin, dtype=np.float64)[:, :2]
    count = np.bincount(glyph_label, minlength=label_count).astype(np.float64)
    out = np.column_stack([np.bincount(glyph_label, origin[:, k], minlength=label_count)
                           for k in range(2)])
    with np.errstate(invalid="ignore", divide="ignore"):
        return out / count[:, None]


def same_name_distance(centres, name_ids, reach):
    """Per label, the distance from its centre to the nearest centre of
    another label with the same name id (integers; -1 never matches),
    infinite where none lies within `reach`. A grid of `reach` cells keyed
    by name: only the nine cells around a label are looked at."""
    centres = np.asarray(centres, dtype=np.float64)[:, :2]
    name_ids = np.asarray(name_ids, dtype=np.int64)
    out = np.full(len(centres), np.inf)
    live = (name_ids >= 0) & np.isfinite(centres).all(axis=1)
    if live.sum() < 2 or not reach > 0:
        return out
    index = np.flatnonzero(live)
    points, names = centres[index], name_ids[index]
    cells = np.floor((points - points.min(axis=0)) / reach).astype(np.int64) + 1
    span = cells.max(axis=0) + 2

    def key(name, cx, cy):
        return (name * span[1] + cy) * span[0] + cx

    keys = key(names, cells[:, 0], cells[:, 1])
    order = np.argsort(keys, kind="stable")
    sorted_key = keys[order]
    best = np.full(len(index), np.inf)
    for dy in (-1, 0, 1):
        for dx in (-1, 0, 1):
            target = key(names, cells[:, 0] + dx, cells[:, 1] + dy)
            lo = np.searchsorted(sorted_key, target, "left")
            count = np.searchsorted(sorted_key, target, "right") - lo
            for k in range(int(count.max(initial=0))):
                has = np.nonzero(count > k)[0]
                other = order[lo[has] + k]
                keep = other != has
                has, other = has[keep], other[keep]
                d = np.hypot(*(points[other] - points[has]).T)
                np.minimum.at(best, has, d)
    best[best >= reach] = np.inf
    out[index] = best
    return out


def is_cjk(code_points):
    """Whether each code point is a CJK one (CJK_RANGES)."""
    code_points = np.asarray(code_points, dtype=np.int64)
    starts, ends = CJK_RANGES[:, 0], CJK_RANGES[:, 1]
    at = np.searchsorted(starts, code_points, "right") - 1
    return (at >= 0) & (code_points <= ends[np.maximum(at, 0)])


def steep_labels(glyph_label, origin, label_count, limit_deg=STEEP_LIMIT_DEG):
    """Per label: whether the chord from its first to its last glyph origin
    (rows in label order) runs more than `limit_deg` from east-west. A label
    of one glyph has no chord and is not steep."""
    glyph_label = np.asarray(glyph_label, dtype=np.int64)
    origin = np.asarray(origin, dtype=np.float64)[:, :2]
    out = np.zeros(label_count, dtype=bool)
    if len(glyph_label) == 0:
        return out
    starts = np.flatnonzero(np.r_[True, glyph_label[1:] != glyph_label[:-1]])
    ends = np.r_[starts[1:], len(glyph_label)] - 1
    chord = origin[ends] - origin[starts]
    angle = np.degrees(np.arctan2(np.abs(chord[:, 1]), np.abs(chord[:, 0])))
    out[glyph_label[starts]] = (angle > limit_deg) & (np.hypot(*chord.T) > 0)
    return out


def up_is_north(frames, limit_deg=UPRIGHT_LIMIT_DEG):
    """Whether each frame's up direction (its y axis, n x 4 x 4 row-major
    frames, on the ground plane) lies within `limit_deg` of north."""
    frames = np.asarray(frames, dtype=np.float64)
    up = frames[:, :2, 1]
    off_north = np.degrees(np.arctan2(np.abs(up[:, 0]), up[:, 1]))
    return (np.hypot(up[:, 0], up[:, 1]) > 0) & (off_north <= limit_deg)
