"""Crowded grid cells: the solver against a plain re-statement of its rules, and
crowds far larger than the number of pairs it could ever list at once.

The reference below lists every overlapping pair of each iteration, sorts them and
resolves them one by one, in single precision like the solver; labels without a
`line` slide straight along their direction, which is what it models."""
import json
import math
import os
import subprocess
import sys

import numpy as np
import pytest

import glyphway_accel_avx2 as gw

from test_collision_solver import _label_dict, random_labels, reference_final_pass

f32 = np.float32
CHAR_W, FONT, SPACING = 16.5, 15.0, 0.0


def overlaps_after(p, members, cols):
    """Whether record members[p] (first) overlaps each of members[p + 1:]."""
    cx, cy, dx, dy, ln, ht = (c[members] for c in cols)
    i = p
    b = slice(p + 1, None)
    with np.errstate(all="ignore"):
        ox, oy = cx[b] - cx[i], cy[b] - cy[i]
        adx, ady, alen, ah = dx[i], dy[i], ln[i], ht[i]
        bdx, bdy, blen, bh = dx[b], dy[b], ln[b], ht[b]
        dot_abs = np.abs(adx * bdx + ady * bdy)
        cross_abs = np.abs(adx * bdy - ady * bdx)
        ta2 = adx * adx + ady * ady
        tb2 = bdx * bdx + bdy * bdy
        pa = np.abs(adx * ox + ady * oy)
        qa = np.abs(adx * oy - ady * ox)
        pb = np.abs(bdx * ox + bdy * oy)
        qb = np.abs(bdx * oy - bdy * ox)
        ra = f32(0.5) * (ta2 * alen + dot_abs * blen + cross_abs * bh)
        sa = f32(0.5) * (ta2 * ah + cross_abs * blen + dot_abs * bh)
        rb = f32(0.5) * (tb2 * blen + dot_abs * alen + cross_abs * ah)
        sb = f32(0.5) * (tb2 * bh + cross_abs * alen + dot_abs * ah)
        return ~((pa > ra) | (qa > sa) | (pb > rb) | (qb > sb))


def cell_coordinates(v):
    with np.errstate(all="ignore"):
        c = np.floor(v).astype(np.float64)
    c[np.isnan(c)] = 0.0
    return np.clip(c, -2.0 ** 31, 2.0 ** 31 - 1).astype(np.int64)


def reference_solve(labels):
    """The solver's rules, pair by pair, on labels without lines."""
    rows = [i for i, lab in enumerate(labels) if not lab.get("hidden")]
    if not rows:
        return
    pick = lambda key: [labels[i][key] for i in rows]
    dist = np.array(pick("distance"), dtype=f32)
    line_len = np.array(pick("line_len"), dtype=f32)
    weight = np.array(pick("weight"), dtype=f32)
    text_len = np.array(pick("text_len"), dtype=np.int64)
    mats = [labels[i]["matrix"] for i in rows]
    cx = np.array([m[0][3] for m in mats], dtype=f32)
    cy = np.array([m[1][3] for m in mats], dtype=f32)
    dx = np.array([m[0][0] for m in mats], dtype=f32)
    dy = np.array([m[1][0] for m in mats], dtype=f32)
    length = np.array([t * CHAR_W + max(t - 1, 0) * SPACING for t in text_len]).astype(f32)
    height = np.full(len(rows), FONT, dtype=f32)
    hidden = np.zeros(len(rows), dtype=bool)
    n = len(rows)

    chains = {}
    for r, i in enumerate(rows):
        lab = labels[i]
        uid = lab.get("line_uid")
        chains.setdefault((lab["id"], uid is not None, uid if uid is not None else 0), []).append(r)
    chain_of = {r: members for members in chains.values() for r in members}

    max_len = length.max()
    if max_len > 0:
        step, gap = f32(2.0) * f32(CHAR_W), f32(0.5) * f32(CHAR_W)
        k = f32(0.6666667) / max_len
        for _ in range(3):
            vis = np.nonzero(~hidden)[0]
            kx, ky = cell_coordinates(cx[vis] * k), cell_coordinates(cy[vis] * k)
            cells = {}
            for r, key in zip(vis, zip(kx.tolist(), ky.tolist())):
                cells.setdefault(key, []).append(r)
            snapshot = tuple(c.copy() for c in (cx, cy, dx, dy, length, height))
            pairs = []
            for members in cells.values():
                members = np.array(members)
                for p in range(len(members) - 1):
                    for q in np.nonzero(overlaps_after(p, members, snapshot))[0]:
                        pairs.append((int(members[p]), int(members[p + 1 + q])))
            if not pairs:
                break
            pairs.sort()
            for a, b in pairs:
                if hidden[a] or hidden[b]:
                    continue
                if weight[a] > weight[b]:
                    y = a
                elif weight[b] > weight[a]:
                    y = b
                else:
                    y = a if text_len[a] > text_len[b] else b
                order = sorted(chain_of[y], key=lambda r: (math.isnan(dist[r]), dist[r]
                                                           if not math.isnan(dist[r]) else 0.0))
                chain = [r for r in order if not hidden[r]]
                shift = step
                for pos in range(chain.index(y), len(chain)):
                    r = chain[pos]
                    dist[r] = dist[r] + shift
                    if dist[r] > line_len[r]:
                        hidden[r] = True
                        continue
                    cx[r] = cx[r] + shift * dx[r]
                    cy[r] = cy[r] + shift * dy[r]
                    if pos + 1 == len(chain):
                        break
                    nxt = chain[pos + 1]
                    need = f32(text_len[nxt] + text_len[r]) * gap
                    if not need > dist[nxt] - dist[r]:
                        break
                    shift = (dist[r] - dist[nxt]) + need

    vis = np.nonzero(~hidden)[0]
    cols = tuple(c[vis] for c in (cx, cy, dx, dy, length, height))
    hidden[vis] = reference_final_pass(cols, weight[vis], text_len[vis])
    for r, i in enumerate(rows):
        labels[i]["distance"] = float(dist[r])
        labels[i]["hidden"] = bool(hidden[r])


def crowd(rng, n, side, line_len):
    """n labels of n // 8 roads scattered over a `side` square, and one long label
    far away that widens the cells so the whole crowd shares one."""
    out = []
    for _ in range(n):
        road = int(rng.integers(max(n // 8, 1)))
        a = float(rng.uniform(-math.pi, math.pi))
        out.append(_label_dict(road, float(rng.uniform(0, 50)), float(rng.uniform(0, side)),
                               float(rng.uniform(0, side)), line_len, (math.cos(a), math.sin(a)),
                               text_len=int(rng.integers(1, 9)), weight=float(rng.integers(1, 3)),
                               line_uid=road % 3))
    out.append(_label_dict(-1, 0.0, 1e6, 1e6, 10.0, (1.0, 0.0), text_len=400))
    return out


def solved(labels):
    gw._fast_resolve_collisions(labels, CHAR_W, FONT, SPACING)
    return [(lab["distance"], lab["hidden"]) for lab in labels]


def referenced(labels):
    reference_solve(labels)
    return [(lab["distance"], lab["hidden"]) for lab in labels]


@pytest.mark.parametrize("seed", range(4))
def test_solver_matches_the_pair_by_pair_rules(seed):
    rng = np.random.default_rng(seed)
    labels = random_labels(rng, 400, extent=150.0)
    got = solved([dict(lab) for lab in labels])
    want = referenced([dict(lab) for lab in labels])
    assert got == want
    assert sum(h for _, h in want) > 10 and sum(not h for _, h in want) > 10


def test_one_crowded_cell_matches_the_pair_by_pair_rules():
    # Rows longer than one thread's share and more candidates than one batch holds.
    labels = crowd(np.random.default_rng(9), 5000, 900.0, line_len=120.0)
    got = solved([dict(lab) for lab in labels])
    want = referenced([dict(lab) for lab in labels])
    assert got == want
    moved = sum(d != f32(lab["distance"]) for (d, _), lab in zip(want, labels))
    assert moved > 500 and sum(h for _, h in want) > 500


def test_final_pass_on_one_crowded_cell_matches_the_exhaustive_loop():
    # Mostly zero-size records, which overlap little, and two long labels that
    # widen the cells past the whole square: nearly every record stays visible
    # and is tested against all later ones, more than one batch holds.
    rng = np.random.default_rng(4)
    n = 4500
    cx, cy = (rng.uniform(0, 1500, n).astype(f32) for _ in range(2))
    angle = rng.uniform(-math.pi, math.pi, n)
    dx, dy = np.cos(angle).astype(f32), np.sin(angle).astype(f32)
    sized = rng.random(n) < 0.15
    ln = np.where(sized, rng.integers(1, 9, n) * 16.5, 0.0).astype(f32)
    ht = np.where(sized, 15.0, 0.0).astype(f32)
    ln[[10, 3000]] = 1000.0
    weight = rng.integers(1, 4, n).astype(f32)
    text_len = rng.integers(0, 9, n).astype(np.int32)
    # Records tested against all others amid the gridded ones: NaN and infinite
    # centres, stretched directions, a label far larger than the rest.
    odd = rng.choice(n, 40, replace=False)
    cx[odd[0:8]] = np.nan
    cy[odd[8:12]] = np.inf
    dx[odd[12:20]] *= f32(3.0)
    ln[odd[20:22]] = f32(1e5)
    cx[odd[22:40]] = cx[(odd[0:18] + 1) % n]
    got = gw._solver_final_pass(cx, cy, dx, dy, ln, ht, weight, text_len)
    want = reference_final_pass((cx, cy, dx, dy, ln, ht), weight, text_len)
    assert np.array_equal(got, want)
    assert 100 < want.sum() < n // 4


def test_a_hundred_thousand_labels_in_one_cell():
    # All on one spot, each on its own road that ends where the label sits: the
    # first label stays and pushes every other one off its road.
    n = 100_000
    m = np.eye(4)
    m[0, 3] = m[1, 3] = 100.0
    labels = [{"id": i, "text_len": 4, "distance": 0.0, "line_len": 0.0, "weight": 1.0,
               "hidden": False, "matrix_dirty": False, "matrix": m} for i in range(n)]
    gw._fast_resolve_collisions(labels, CHAR_W, FONT, SPACING)
    assert labels[0]["hidden"] is False and labels[0]["distance"] == 0.0
    assert all(lab["hidden"] and lab["distance"] == 33.0 for lab in labels[1:])


def test_a_hundred_thousand_labels_on_one_road():
    # One chain: the first slide pushes the whole crowd behind the first label off
    # the road at once.
    n = 100_000
    m = np.eye(4)
    labels = [{"id": 7, "text_len": 4, "distance": 5.0, "line_len": 20.0, "weight": 1.0,
               "hidden": False, "matrix_dirty": False, "matrix": m} for _ in range(n)]
    gw._fast_resolve_collisions(labels, CHAR_W, FONT, SPACING)
    assert [lab["hidden"] for lab in labels[:2]] == [False, True]
    assert all(lab["hidden"] for lab in labels[1:])


def test_final_pass_on_a_million_identical_records():
    n = 1_000_000
    cols = [np.full(n, v, dtype=f32) for v in (100.0, 100.0, 1.0, 0.0, 66.0, 15.0, 1.0)]
    hidden = gw._solver_final_pass(*cols, np.full(n, 4, dtype=np.int32))
    assert not hidden[0] and hidden[1:].all()


CROWD_SCRIPT = r"""
import json, sys
import numpy as np
sys.path[:0] = sys.argv[1].split(":")
import glyphway_accel_avx2 as gw
sys.path.insert(0, sys.argv[2])
from test_crowded_cells import crowd, solved
print(json.dumps(solved(crowd(np.random.default_rng(9), 5000, 900.0, line_len=120.0))))
"""


def test_one_crowded_cell_gives_the_same_result_for_any_thread_count():
    # Long rows are shared out over the team in pieces; the result must not notice.
    here = os.path.dirname(os.path.abspath(__file__))
    path = os.pathsep.join(p for p in sys.path if p)
    results = []
    for threads in ("1", "3"):
        env = dict(os.environ, OMP_NUM_THREADS=threads)
        done = subprocess.run([sys.executable, "-c", CROWD_SCRIPT, path, here], env=env,
                              capture_output=True, text=True, check=True)
        results.append(json.loads(done.stdout))
    assert results[0] == results[1]
