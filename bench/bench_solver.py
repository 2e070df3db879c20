"""Times `_fast_resolve_collisions` on a synthetic street network.

Streets of 50-2000 m (log-uniform) in a 50 km square, four labels per
street on average (spread in proportion to the street's length), Chinese names of 2-8 characters at font size 15 (character width
16.5). Labels sit on their street with the frame the pipeline gives them.

    PYTHONPATH=build/dev:python python bench/bench_solver.py [counts...]
"""
import copy
import math
import sys
import time

import numpy as np
import shapely

import glyphway_accel_avx2 as gw

SQUARE = 50_000.0
FONT = 15.0
CHAR_W = 16.5
SPACING = 0.0


def network(n_labels, seed=0):
    rng = np.random.default_rng(seed)
    n_lines = max(n_labels // 4, 1)
    length = np.exp(rng.uniform(math.log(50.0), math.log(2000.0), n_lines))
    angle = rng.uniform(-math.pi, math.pi, n_lines)
    start = rng.uniform(0.0, SQUARE, (n_lines, 2))
    end = start + np.column_stack([np.cos(angle), np.sin(angle)]) * length[:, None]
    lines = shapely.linestrings(np.stack([start, end], axis=1))
    unit = (end - start) / length[:, None]
    reading = np.where(unit[:, :1] < 0, -unit, unit)  # text reads toward +x

    # Labels spread along each street in proportion to its length, as the
    # placement leaves them: evenly spaced, at least one per street.
    share = np.maximum(np.round(length / length.sum() * n_labels), 1).astype(int)
    while share.sum() > n_labels:
        share[rng.choice(np.nonzero(share > 1)[0])] -= 1
    while share.sum() < n_labels:
        share[rng.integers(n_lines)] += 1
    owner = np.repeat(np.arange(n_lines), share)
    slot = np.arange(n_labels) - np.repeat(np.cumsum(share) - share, share)
    distance = (slot + rng.uniform(0.3, 0.7, n_labels)) * (length / share)[owner]
    text_len = rng.integers(2, 9, n_labels)
    centre = start[owner] + unit[owner] * distance[:, None]
    labels = []
    for i in range(n_labels):
        line = owner[i]
        m = np.eye(4)
        m[0, 0], m[1, 0] = reading[line]
        m[1, 1], m[0, 1] = reading[line][0], -reading[line][1]
        m[0, 3], m[1, 3] = centre[i]
        labels.append({
            "id": int(line), "feature_id": int(line), "line_uid": int(line),
            "text_len": int(text_len[i]), "distance": float(distance[i]),
            "line": lines[line], "line_len": float(length[line]), "weight": 1,
            "hidden": False, "matrix_dirty": False, "matrix": m,
        })
    return labels


def main(counts):
    print(f"{'labels':>8} {'seconds':>8} {'moved':>8} {'hidden':>8}")
    for n in counts:
        base = network(n)
        best = math.inf
        for _ in range(3):
            labels = copy.copy(base)
            labels = [dict(lab) for lab in labels]
            t0 = time.perf_counter()
            gw._fast_resolve_collisions(labels, CHAR_W, FONT, SPACING)
            best = min(best, time.perf_counter() - t0)
        moved = sum(1 for a, b in zip(labels, base)
                    if a["distance"] != float(np.float32(b["distance"])))
        hidden = sum(1 for lab in labels if lab["hidden"])
        print(f"{n:>8} {best:>8.3f} {moved:>8} {hidden:>8}")


if __name__ == "__main__":
    main([int(a) for a in sys.argv[1:]] or [50_000, 100_000, 200_000, 400_000])
