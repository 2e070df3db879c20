"""The collision solver through `_fast_resolve_collisions`: slides and the gap rule,
yield rules, write-back, errors, determinism, chains, re-framing and the final pass.

Unless a test says otherwise labels are 4 characters of 16.5 (66 long, 15 high), so the
slide step is 33, the gap unit 8.25 (two such labels keep 66 apart) and grid cells are
99 wide."""
import copy
import json
import math
import os
import subprocess
import sys

import numpy as np
import pytest
from shapely import LineString

import glyphway_accel_avx2 as gw

FAR = 10_000.0  # a centre that overlaps nothing else


def distances(labels):
    return [lab["distance"] for lab in labels]


def hidden(labels):
    return [lab["hidden"] for lab in labels]


def snapshot(labels):
    return [{k: (v.copy() if isinstance(v, np.ndarray) else v) for k, v in lab.items()}
            for lab in labels]


def same_records(a, b):
    assert len(a) == len(b)
    for x, y in zip(a, b):
        assert list(x) == list(y)
        for key in x:
            if isinstance(x[key], np.ndarray):
                assert np.array_equal(x[key], y[key])
            else:
                assert type(x[key]) is type(y[key]) and (x[key] == y[key] or x[key] is y[key]), key


# --- sliding ----------------------------------------------------------------

def test_chain_slides_keeping_the_gap(label, solve):
    # Y overlaps X and yields (equal weights and lengths: the second of the pair).
    # Its chain follows it only as far as the gap (4 + 4) x 8.25 = 66 needs; the
    # chain's other labels sit far away in the plan, so only Y ever collides.
    labels = [label(0, 0.0, 0.0), label(1, 10.0, 10.0),
              label(1, 50.0, FAR), label(1, 300.0, 2 * FAR)]
    solve(labels)
    # Iteration 1: Y 10 -> 43; Z needs 66 > 50 - 43, so it moves 59 to 109.
    # Iteration 2: Y (centre 43) still overlaps X: 43 -> 76; Z moves 33 to 142.
    # Iteration 3: Y at 76 is clear of X (66 reach). W never needs to move.
    assert distances(labels) == [0.0, 76.0, 142.0, 300.0]
    assert hidden(labels) == [False] * 4
    assert [lab["matrix_dirty"] for lab in labels] == [False, True, True, False]


def test_label_pushed_off_its_road_is_hidden_and_the_shift_carries_on(label, solve):
    labels = [label(0, 0.0, 0.0), label(1, 10.0, 10.0, line_len=40.0),
              label(1, 50.0, FAR), label(1, 60.0, 2 * FAR)]
    solve(labels)
    # Y: 10 + 33 = 43 > 40, hidden; Z takes the same 33 (83); W then needs
    # 66 > 60 - 83 and moves to 83 + 66 = 149.
    assert distances(labels) == [0.0, 43.0, 83.0, 149.0]
    assert hidden(labels) == [False, True, False, False]


def test_records_ahead_of_the_yielding_label_stay(label, solve):
    labels = [label(1, 5.0, 2 * FAR), label(0, 0.0, 0.0), label(1, 40.0, 40.0)]
    solve(labels)
    # The chain is ordered by distance: the label at 5 is behind the one that yields.
    assert distances(labels) == [5.0, 0.0, 73.0]


# --- who yields ---------------------------------------------------------------

@pytest.mark.parametrize("first, second, moved", [
    ({"weight": 2.0}, {"weight": 1.0}, 0),              # greater weight yields
    ({"weight": 1.0}, {"weight": 3.0}, 1),
    ({"text_len": 4}, {"text_len": 3}, 0),              # then the longer text
    ({"text_len": 3}, {"text_len": 4}, 1),
    ({}, {}, 1),                                         # then the second
    ({"weight": float("nan"), "text_len": 4}, {"text_len": 3}, 0),  # NaN weight: text decides
])
def test_yield_rules(label, solve, first, second, moved):
    labels = [label(0, 100.0, 0.0, **first), label(1, 100.0, 20.0, **second)]
    solve(labels)
    assert [d != 100.0 for d in distances(labels)] == [i == moved for i in range(2)]
    assert hidden(labels) == [False, False]


# --- write-back -----------------------------------------------------------------

def test_zero_length_labels_do_not_move_but_are_written(label, solve):
    labels = [label(0, 0.1, 0.0, text_len=0), label(1, 0.5, 0.0, text_len=0),
              label(2, 1 / 3, 0.0, text_len=0, matrix_dirty=True)]
    before = snapshot(labels)
    solve(labels)
    assert distances(labels) == [float(np.float32(0.1)), 0.5, float(np.float32(1 / 3))]
    assert [lab["matrix_dirty"] for lab in labels] == [True, False, True]
    assert hidden(labels) == [False] * 3
    assert all(list(a) == list(b) for a, b in zip(labels, before))


def test_single_precision_write_back_and_dirty_flag(label, solve):
    # Far apart: nothing moves, yet inexact distances come back rounded and dirty.
    labels = [label(0, 12.3, 0.0), label(1, 12.5, FAR), label(2, 7.0, 2 * FAR, matrix_dirty=True),
              label(3, 2 ** 24 + 1, 3 * FAR)]
    solve(labels)
    assert distances(labels) == [float(np.float32(12.3)), 12.5, 7.0, float(2 ** 24)]
    assert all(type(d) is float for d in distances(labels))
    # matrix_dirty is only ever set: the already-dirty label stays dirty.
    assert [lab["matrix_dirty"] for lab in labels] == [True, False, True, True]


def test_written_keys_and_their_order(label, solve):
    lab = label(0, 0.1, 0.0)
    del lab["matrix_dirty"], lab["hidden"]
    solve([lab])
    assert lab["matrix_dirty"] is True and lab["hidden"] is False
    # Keys absent before are added in write order: matrix_dirty, then hidden
    # (distance already existed and keeps its place).
    assert list(lab)[-2:] == ["matrix_dirty", "hidden"]


def test_hidden_on_entry_is_never_read_or_written(label, solve):
    shown = label(0, 0.1, 0.0)
    ghost = {"hidden": True, "distance": 0.1, "id": "not read"}
    labels = [ghost, shown]
    solve(labels)
    assert ghost == {"hidden": True, "distance": 0.1, "id": "not read"}
    assert shown["distance"] == float(np.float32(0.1))


def test_empty_and_all_hidden_lists(solve):
    solve([])
    labels = [{"hidden": True}]
    solve(labels)
    assert labels == [{"hidden": True}]


def test_effective_sizes_set_the_rectangle(label, solve):
    # Fitted to 2 characters of 8 with spacing 1: 17 long, so 20 apart is clear.
    fitted = {"effective_text_len": 2, "effective_char_width_est": 8.0,
              "effective_letter_spacing": 1.0, "effective_font_size": 5.0}
    labels = [label(0, 100.0, 0.0, **fitted), label(1, 100.0, 20.0, **fitted)]
    solve(labels)
    assert distances(labels) == [100.0, 100.0]
    # Unfitted (66 long) they collide: two slides, to 53 and then 86 apart.
    labels = [label(0, 100.0, 0.0), label(1, 100.0, 20.0)]
    solve(labels)
    assert distances(labels) == [100.0, 166.0]


# --- errors -------------------------------------------------------------------

@pytest.mark.parametrize("change, error, message", [
    (lambda r: r.pop("weight"), KeyError, "'weight'"),
    (lambda r: r.pop("matrix"), KeyError, "'matrix'"),
    (lambda r: r.pop("text_len"), KeyError, "'text_len'"),
    (lambda r: r.update(distance="12"), TypeError, None),
    (lambda r: r.update(effective_font_size=None), TypeError, None),
    (lambda r: r.update(text_len=4.0), TypeError, None),
    (lambda r: r.update(id=2 ** 31), OverflowError, "value too large to convert to int"),
    (lambda r: r.update(text_len=-2 ** 31 - 1), OverflowError, "value too large to convert to int"),
])
def test_errors_raise_before_anything_is_written(label, solve, change, error, message):
    labels = [label(0, 0.1, 0.0), label(1, 0.1, 10.0), label(2, 0.1, 20.0)]
    change(labels[2])
    before = snapshot(labels)
    with pytest.raises(error) as info:
        solve(labels)
    if message is not None:
        assert str(info.value) == message
    same_records(labels, before)


def test_bools_and_integer_like_values_are_accepted(label, solve):
    labels = [label(True, np.float32(0.5), 0.0, text_len=np.int64(4), weight=1),
              label(np.int32(7), 2, FAR)]
    solve(labels)
    assert distances(labels) == [0.5, 2.0]


def test_matrix_as_nested_lists(label, solve):
    a, b = label(0, 100.0, 0.0), label(1, 100.0, 20.0)
    b["matrix"] = b["matrix"].tolist()
    a["matrix"] = a["matrix"].astype(np.float32)
    solve([a, b])
    assert [a["distance"], b["distance"]] == [100.0, 166.0]


# --- chains -------------------------------------------------------------------

@pytest.mark.parametrize("uids, expected", [((0, 0), 142.0), ((0, 1), 50.0)])
def test_chain_split_by_line_uid(label, solve, uids, expected):
    # As in the gap-rule test, unless the follower is on another line piece.
    labels = [label(0, 0.0, 0.0), label(1, 10.0, 10.0, line_uid=uids[0]),
              label(1, 50.0, FAR, line_uid=uids[1])]
    solve(labels)
    assert labels[2]["distance"] == expected


# --- re-framing -----------------------------------------------------------------

def on_line(line, distance, id=1, **extra):
    """A label on `line` with the frame the pipeline gives it there."""
    p = line.interpolate(distance)
    a = np.array(line.interpolate(max(distance - 0.5, 0.0)).coords[0])
    b = np.array(line.interpolate(min(distance + 0.5, line.length)).coords[0])
    t = (b - a) / np.linalg.norm(b - a)
    if t[0] < 0:
        t = -t
    return _label_dict(id, distance, p.x, p.y, line.length, tuple(t[:2]), line=line, **extra)


def _label_dict(id, distance, cx, cy, line_len, direction, **extra):
    m = np.eye(4)
    m[0, 3], m[1, 3] = cx, cy
    m[0, 0], m[1, 0] = direction
    record = {"id": id, "text_len": 4, "distance": distance, "line_len": line_len, "weight": 1.0,
              "hidden": False, "matrix_dirty": False, "matrix": m}
    record.update(extra)
    return record


@pytest.mark.parametrize("with_line, expected", [(True, 294.0), (False, 261.0)])
def test_reframing_on_a_line_drawn_right_to_left(label, solve, with_line, expected):
    # The line runs toward -x, so its labels read +x but slide toward -x.
    line = LineString([(300, 0), (0, 0)])
    moving = on_line(line, 195.0)            # centre x = 105, overlapping X at 100
    if not with_line:
        del moving["line"]                   # slides straight along +x instead
    # A long label far away widens the cells to 990, so X and the moving label
    # share a cell throughout.
    labels = [label(0, 0.0, 100.0), moving, label(2, 0.0, FAR, text_len=40)]
    solve(labels)
    # On the line the centre goes 72, 39, 6: three slides (the last clear at 94
    # away). Straight it goes 138, then 171 (71 away, clear): two slides.
    assert labels[1]["distance"] == expected
    assert labels[1]["hidden"] is False


def test_reframing_follows_a_bend(label, solve):
    # A road running +x then turning up at x = 50. The label at 40 overlaps Z at
    # (40, 0); one slide takes it round the bend to (50, 23), standing upright,
    # which still crosses Z; the next to (50, 56), clear of it.
    line = LineString([(0, 0), (50, 0), (50, 300)])
    labels = [label(2, 0.0, 40.0), on_line(line, 40.0)]
    solve(labels)
    assert labels[1]["distance"] == 106.0
    assert labels[1]["hidden"] is False


def test_line_of_another_record_type_is_rejected(label, solve):
    labels = [label(0, 0.0, 0.0, line="not a line")]
    with pytest.raises(TypeError):
        solve(labels)


# --- grid and final pass ---------------------------------------------------------

@pytest.mark.parametrize("weights, expected", [((1.0, 1.0), [False, True]), ((2.0, 1.0), [True, False])])
def test_neighbouring_cells_are_left_to_the_final_pass(label, solve, weights, expected):
    # Centres 98 and 100 fall in cells 0 and 1 (99 wide): the iterations never
    # compare them, the final pass hides one and nothing moves.
    labels = [label(0, 5.0, 98.0, weight=weights[0]), label(1, 5.0, 100.0, weight=weights[1])]
    solve(labels)
    assert distances(labels) == [5.0, 5.0]
    assert hidden(labels) == expected


def test_native_label_records_give_the_same_result(label, solve):
    rng = np.random.default_rng(3)
    labels = random_labels(rng, 400, extent=800.0)
    native = gw._LabelRecords(copy.deepcopy(labels))
    gw._fast_resolve_collisions(native, 16.5, 15.0, 0.0)
    solve(labels)
    out = native.to_dicts()
    for got, want in zip(out, labels):
        for key in ("distance", "hidden", "matrix_dirty"):
            assert got[key] == want[key] and type(got[key]) is type(want[key]), key


def test_native_label_records_errors(label):
    lab = label(0, 0.1, 0.0)
    del lab["line_len"]
    with pytest.raises(KeyError):
        gw._fast_resolve_collisions(gw._LabelRecords([lab]), 16.5, 15.0, 0.0)
    lab = label(2 ** 40, 0.1, 0.0)
    with pytest.raises(OverflowError, match="value too large to convert to int"):
        gw._fast_resolve_collisions(gw._LabelRecords([lab]), 16.5, 15.0, 0.0)


def random_labels(rng, n, extent):
    """Labels on a few hundred random straight roads, crowded enough to collide."""
    out = []
    roads = max(n // 4, 1)
    for i in range(n):
        road = int(rng.integers(roads))
        angle = (road * 0.7) % math.pi - math.pi / 2
        d = float(rng.uniform(0, 300))
        ox, oy = (road * 37.0) % extent, (road * 53.0) % extent
        cx, cy = ox + d * math.cos(angle), oy + d * math.sin(angle)
        out.append(_label_dict(road, d, cx, cy, 300.0, (math.cos(angle), math.sin(angle)),
                               text_len=int(rng.integers(1, 9)), weight=float(rng.integers(1, 3)),
                               line_uid=road % 3))
    return out


THREAD_SCRIPT = r"""
import json, math, sys
import numpy as np
sys.path[:0] = sys.argv[1].split(":")
import glyphway_accel_avx2 as gw
sys.path.insert(0, sys.argv[2])
from test_collision_solver import random_labels
labels = random_labels(np.random.default_rng(11), 6000, extent=1500.0)
gw._fast_resolve_collisions(labels, 16.5, 15.0, 0.0)
print(json.dumps([[l["distance"], l["hidden"], l["matrix_dirty"]] for l in labels]))
"""


def test_same_result_for_any_thread_count():
    here = os.path.dirname(os.path.abspath(__file__))
    path = os.pathsep.join(p for p in sys.path if p)
    results = []
    for threads in ("1", "4"):
        env = dict(os.environ, OMP_NUM_THREADS=threads)
        done = subprocess.run([sys.executable, "-c", THREAD_SCRIPT, path, here], env=env,
                              capture_output=True, text=True, check=True)
        results.append(json.loads(done.stdout))
    assert results[0] == results[1]
    moved = sum(1 for d, h, dirty in results[0] if dirty)
    assert moved > 100 and any(h for d, h, dirty in results[0])


# --- the final pass against the plain quadratic loop ------------------------------

def reference_overlaps(i, cols):
    """Whether record i (first) overlaps each record, in float32 as the solver does it."""
    cx, cy, dx, dy, ln, ht = cols
    f = np.float32
    with np.errstate(all="ignore"):
        ox, oy = cx - cx[i], cy - cy[i]
        adx, ady, alen, ah = dx[i], dy[i], ln[i], ht[i]
        dot_abs = np.abs(adx * dx + ady * dy)
        cross_abs = np.abs(adx * dy - ady * dx)
        ta2 = adx * adx + ady * ady
        tb2 = dx * dx + dy * dy
        pa = np.abs(adx * ox + ady * oy)
        qa = np.abs(adx * oy - ady * ox)
        pb = np.abs(dx * ox + dy * oy)
        qb = np.abs(dx * oy - dy * ox)
        ra = f(0.5) * (ta2 * alen + dot_abs * ln + cross_abs * ht)
        sa = f(0.5) * (ta2 * ah + cross_abs * ln + dot_abs * ht)
        rb = f(0.5) * (tb2 * ln + dot_abs * alen + cross_abs * ah)
        sb = f(0.5) * (tb2 * ht + cross_abs * alen + dot_abs * ah)
        return ~((pa > ra) | (qa > sa) | (pb > rb) | (qb > sb))


def reference_final_pass(cols, weight, text_len):
    n = len(weight)
    hide = np.zeros(n, dtype=bool)
    for i in range(n):
        if hide[i]:
            continue
        over = reference_overlaps(i, cols)
        for j in np.nonzero(over)[0]:
            if j <= i or hide[j]:
                continue
            if weight[i] > weight[j] or (weight[i] == weight[j] and text_len[i] > text_len[j]):
                hide[i] = True
                break
            hide[j] = True
    return hide


@pytest.mark.parametrize("seed", [0, 1, 2])
def test_final_pass_matches_the_exhaustive_loop(seed):
    rng = np.random.default_rng(seed)
    n = 3000
    f = np.float32
    cx = rng.uniform(0, 2000, n).astype(f)
    cy = rng.uniform(0, 2000, n).astype(f)
    angle = rng.uniform(-math.pi, math.pi, n)
    dx, dy = np.cos(angle).astype(f), np.sin(angle).astype(f)
    ln = (rng.integers(0, 9, n) * 16.5).astype(f)
    ht = rng.choice([15.0, 9.0, 0.0], n).astype(f)
    weight = rng.integers(1, 4, n).astype(f)
    text_len = rng.integers(0, 9, n).astype(np.int32)
    # Oddities: non-finite and huge centres, non-unit and NaN directions, a few
    # huge labels, NaN weights, and exact duplicates.
    odd = rng.choice(n, 60, replace=False)
    cx[odd[0:5]] = np.nan
    cy[odd[5:10]] = np.inf
    cx[odd[10:14]] = -np.inf
    cx[odd[14:18]] = f(3e38)
    dx[odd[18:24]] *= f(3.0)
    dy[odd[24:30]] *= f(0.1)
    dx[odd[30:33]] = np.nan
    ln[odd[33:36]] = f(1500.0)
    weight[odd[36:40]] = np.nan
    ht[odd[40:42]] = np.inf
    cx[odd[42:50]] = cx[odd[50:58]]
    cy[odd[42:50]] = cy[odd[50:58]]
    dx[odd[58:60]] = 0.0
    dy[odd[58:60]] = 0.0
    cols = (cx, cy, dx, dy, ln, ht)
    got = gw._solver_final_pass(cx, cy, dx, dy, ln, ht, weight, text_len)
    want = reference_final_pass(cols, weight, text_len)
    assert got.dtype == bool
    assert np.array_equal(got, want)
    assert 100 < want.sum() < n - 100


def test_final_pass_hides_the_later_of_equal_labels():
    f = np.float32
    one = lambda *v: np.array(v, dtype=f)
    got = gw._solver_final_pass(one(0, 10, 500), one(0, 0, 0), one(1, 1, 1), one(0, 0, 0),
                                one(66, 66, 66), one(15, 15, 15), one(1, 1, 1),
                                np.array([4, 4, 4], dtype=np.int32))
    assert got.tolist() == [False, True, False]
