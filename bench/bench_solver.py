"""Times `_fast_resolve_collisions` on a synthetic street network.

Streets of 50-2000 m (log-uniform) in a 50 km square, four labels per
street on average (spread in proportion to the street's length), Chinese names of 2-8 characters at font size 15 (character width
16.5). Labels sit on their street with the frame the pipeline gives them.

    PYTHONPATH=build/dev:python python bench/bench_solver.py [counts...]

With `memory` first it measures peak memory instead, each case in a fresh
process (ru_maxrss is a high-water mark, so cases must not share one):

    python bench/bench_solver.py memory [--limit-gib G] [case ...]

Cases: `cell:N`, N identical labels on N roads in one grid cell, which the
first label pushes off their roads' ends; `final:N`, the final pass alone on
N identical records. The default runs cell:10000 cell:20000 cell:100000
final:1000000. Each child runs under an address-space limit (default 12
GiB) so that a run which would exhaust the machine ends in MemoryError
instead. The digest is a hash of the results, for comparing two builds.
"""
import copy
import hashlib
import json
import math
import os
import resource
import subprocess
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


def one_cell_labels(n):
    """n identical labels, each on its own road, all in one cell. The first
    of every pair stays, so the first label pushes every other one off the
    end of its road (line_len is its distance): one hides all the rest."""
    labels = []
    for i in range(n):
        m = np.eye(4)
        m[0, 3], m[1, 3] = 100.0, 100.0
        labels.append({"id": i, "text_len": 4, "distance": 0.0, "line_len": 0.0, "weight": 1.0,
                       "hidden": False, "matrix_dirty": False, "matrix": m})
    return labels


def run_case(case):
    """Runs one case in this process and prints its measurements as JSON."""
    kind, n = case.split(":")
    n = int(n)
    if kind == "cell":
        labels = one_cell_labels(n)
        call = lambda: gw._fast_resolve_collisions(labels, CHAR_W, FONT, SPACING)
        digest = lambda: [[lab["distance"], lab["hidden"], lab["matrix_dirty"]] for lab in labels]
    elif kind == "final":
        f = np.float32
        cols = [np.full(n, v, dtype=f) for v in (100.0, 100.0, 1.0, 0.0, 66.0, 15.0, 1.0)]
        cols.append(np.full(n, 4, dtype=np.int32))
        out = {}
        call = lambda: out.update(hidden=gw._solver_final_pass(*cols))
        digest = lambda: out["hidden"].tolist()
    else:
        raise SystemExit(f"unknown case {case!r}")
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    t0 = time.perf_counter()
    try:
        call()
        outcome = "ok"
    except MemoryError as e:
        outcome = f"MemoryError {e}".strip()
    seconds = time.perf_counter() - t0
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    result = {"case": case, "outcome": outcome, "seconds": seconds,
              "rss_before_mib": before / 1024, "rss_peak_mib": peak / 1024}
    if outcome == "ok":
        result["digest"] = hashlib.sha256(json.dumps(digest()).encode()).hexdigest()[:12]
    print(json.dumps(result))


def memory_main(args):
    limit_gib = 12.0
    if args[:1] == ["--limit-gib"]:
        limit_gib, args = float(args[1]), args[2:]
    cases = args or ["cell:10000", "cell:20000", "cell:100000", "final:1000000"]
    limit = int(limit_gib * 2 ** 30)
    set_limit = lambda: resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    print(f"{'case':>14} {'outcome':>8} {'seconds':>8} {'start MiB':>10} {'peak MiB':>9} {'digest':>12}")
    for case in cases:
        done = subprocess.run([sys.executable, __file__, "--one-case", case], env=os.environ,
                              capture_output=True, text=True, preexec_fn=set_limit)
        if done.returncode != 0:
            print(f"{case:>14} failed (exit {done.returncode}): {done.stderr.strip()[-200:]}")
            continue
        r = json.loads(done.stdout.strip().splitlines()[-1])
        print(f"{case:>14} {r['outcome'][:8]:>8} {r['seconds']:>8.2f} {r['rss_before_mib']:>10.0f} "
              f"{r['rss_peak_mib']:>9.0f} {r.get('digest', '-'):>12}")


if __name__ == "__main__":
    if sys.argv[1:2] == ["--one-case"]:
        run_case(sys.argv[2])
    elif sys.argv[1:2] == ["memory"]:
        memory_main(sys.argv[2:])
    else:
        main([int(a) for a in sys.argv[1:]] or [50_000, 100_000, 200_000, 400_000])
