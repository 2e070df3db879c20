"""auto_place_labels: anchors, farthest-point passes with the solver, caps and separations."""
import copy
import random

import numpy as np
import pytest
from shapely import LineString

import glyphway_accel_avx2 as gw


def reference_place(engine, labels):
    """The placement steps written out plainly, with the engine's own helpers."""
    if not engine.curved_text:
        return labels
    sizes = [float(l.get("effective_font_size", engine.font_size)) for l in labels
             if not l.get("hidden")]
    fs_med = float(np.median(sizes)) if sizes else float(engine.font_size)
    prof = engine._density_profile(fs_med)
    global_min_sep = float(prof["global_min_sep"])
    repeat_min_interval = float(prof["repeat_min_interval"])
    max_labels_per_group = int(prof["max_labels_per_group"])
    iterations = int(prof["iterations"])
    engine._build_groups(labels)

    anchors = {}
    for idx, l in enumerate(labels):
        l["_cand_idx"] = idx
        fid = l.get("feature_id", l.get("id"))
        line_len = float(l.get("line_len", 0.0))
        text_len_est = float(l.get("effective_text_len", l.get("text_len", 0)))
        char_w = float(l.get("effective_char_width_est", engine.char_width_est))
        ls = float(l.get("effective_letter_spacing", engine.letter_spacing))
        span = char_w * text_len_est + ls * max(0, text_len_est - 1)
        if line_len <= 0 or span <= 0 or line_len < 0.5 * span:
            continue
        d = float(l["distance"])
        score = abs(d - 0.5 * line_len) - 0.001 * line_len
        best = anchors.get(fid)
        if best is None or score < best[0]:
            anchors[fid] = (score, idx)
    selected_idx = {idx for _, idx in anchors.values()}
    remaining = [i for i in range(len(labels)) if i not in selected_idx]

    # Nothing moves while one pass scans the candidates, so each centre is
    # taken once per pass; the tests themselves are the plain ones.
    for _ in range(iterations):
        selected = [labels[i] for i in sorted(selected_idx)]
        for l in selected:
            l["matrix"] = engine.build_tbn_matrix(l["line"], l["distance"])
        gw._fast_resolve_collisions(selected, engine.char_width_est, engine.font_size,
                                    engine.letter_spacing)
        new_sel = {int(l.get("_cand_idx")) for l in selected if not l.get("hidden")}
        if new_sel:
            selected_idx = new_sel
        cnt = {}
        for j in selected_idx:
            gid = labels[j].get("group_id")
            cnt[gid] = cnt.get(gid, 0) + 1
        centres = {j: engine._label_center_xy(labels[j]) for j in selected_idx}
        best_candidate, best_score = None, -1.0
        for idx in remaining:
            gid = labels[idx].get("group_id")
            if gid is not None and cnt.get(gid, 0) >= max_labels_per_group:
                continue
            x, y = engine._label_center_xy(labels[idx])
            if gid is not None and any(
                    labels[j].get("group_id") == gid
                    and (x - x2) ** 2 + (y - y2) ** 2 < repeat_min_interval ** 2
                    for j, (x2, y2) in centres.items()):
                continue
            if any((x - x2) ** 2 + (y - y2) ** 2 < global_min_sep ** 2
                   for x2, y2 in centres.values()):
                continue
            score = 1e18 if not selected_idx else min(
                (x - x2) ** 2 + (y - y2) ** 2 for x2, y2 in centres.values())
            if score > best_score:
                best_score, best_candidate = score, idx
        if best_candidate is None:
            break
        selected_idx.add(best_candidate)
        remaining.remove(best_candidate)

    keep = []
    for i, l in enumerate(labels):
        if i in selected_idx:
            l["hidden"] = False
            keep.append(l)
        else:
            l["hidden"] = True
    return keep


def assert_same_records(a, b):
    assert len(a) == len(b)
    for x, y in zip(a, b):
        assert list(x) == list(y)
        for key in x:
            if isinstance(x[key], np.ndarray):
                np.testing.assert_array_equal(x[key], y[key])
            else:
                assert x[key] == y[key] or (x[key] is y[key]), key


def road(candidate, text, coords, feature, line_uid=None, step=None, distances=None, **extra):
    """Candidates along one line, every `step` or at `distances`."""
    line = LineString(coords)
    if distances is None:
        distances = list(np.arange(0.0, line.length, step))
    uid = feature if line_uid is None else line_uid
    return [candidate(text, line, feature=feature, line_uid=uid, distance=float(d), **extra)
            for d in distances]


def kept_indices(kept):
    return [l["_cand_idx"] for l in kept]


def test_curved_text_off_returns_the_same_list_untouched(make_engine, candidate):
    engine = make_engine(curved_text=False)
    labels = road(candidate, "中山路", [(0, 0), (1000, 0)], 0, step=100)
    before = [dict(l) for l in labels]
    assert engine.auto_place_labels(labels) is labels
    assert [list(l) for l in labels] == [list(b) for b in before]


def test_empty_list(engine):
    assert engine.auto_place_labels([]) == []


def test_method_order_places_it_after_the_label_centre(engine):
    names = [n for n in type(engine).__dict__ if not n.startswith("__")]
    assert names.index("auto_place_labels") == names.index("_label_center_xy") + 1
    assert names.index("get_mesh_engine") == names.index("auto_place_labels") + 1


def test_no_passes_keep_exactly_the_anchors(make_engine, candidate):
    engine = make_engine(max_global_iterations=0)
    labels = (road(candidate, "中山路", [(0, 0), (1000, 0)], 0, step=100)
              + road(candidate, "人民路", [(0, 500), (800, 500)], 1, step=100))
    for l in labels:
        del l["matrix_dirty"]
    kept = engine.auto_place_labels(labels)
    assert kept_indices(kept) == [5, 14]
    assert [l["hidden"] for l in labels] == [i not in (5, 14) for i in range(len(labels))]
    # The solver never ran: nothing framed, moved or marked dirty.
    assert all("matrix" not in l and "matrix_dirty" not in l for l in labels)
    assert [l["distance"] for l in labels[:10]] == [float(d) for d in range(0, 1000, 100)]
    assert [l["_cand_idx"] for l in labels] == list(range(len(labels)))
    assert list(labels[0])[-3:] == ["hidden", "group_id", "_cand_idx"]


def test_passes_add_the_farthest_candidate(make_engine, candidate):
    engine = make_engine(max_global_iterations=2)
    labels = road(candidate, "中山路", [(0, 0), (1000, 0)], 0, step=100)
    kept = engine.auto_place_labels(labels)
    # The anchor at 500, then 0 (500 away), then 900 (400 away from both).
    assert kept_indices(kept) == [0, 5, 9]
    assert all(not l["hidden"] for l in kept)
    # The last addition has not been through a pass.
    assert all(isinstance(l["matrix"], np.ndarray) for l in kept[:2])
    assert "matrix" not in kept[2]


def test_equal_farthest_distances_pick_the_lower_index(make_engine, candidate):
    engine = make_engine(max_global_iterations=1)
    labels = road(candidate, "中山路", [(0, 0), (1000, 0)], 0, distances=[900.0, 100.0, 500.0])
    assert kept_indices(engine.auto_place_labels(labels)) == [0, 2]
    labels = road(candidate, "中山路", [(0, 0), (1000, 0)], 0, distances=[100.0, 900.0, 500.0])
    assert kept_indices(engine.auto_place_labels(labels)) == [0, 2]


def test_without_anchors_the_first_admissible_candidate_is_added(make_engine, candidate):
    engine = make_engine(max_global_iterations=1)
    # Empty names span nothing, so no record can anchor its feature.
    labels = (road(candidate, "", [(0, 0), (1000, 0)], 0, step=250)
              + road(candidate, "", [(0, 800), (1000, 800)], 1, step=250))
    kept = engine.auto_place_labels(labels)
    assert kept_indices(kept) == [0]
    assert [l["hidden"] for l in labels] == [False] + [True] * 7


def test_anchor_needs_a_line_of_half_its_span(make_engine, candidate):
    # 4 characters of 16.5 span 66: a 30 m line is too short to anchor,
    # a 33 m line is just long enough.
    for length, anchored in ((30.0, False), (33.0, True)):
        labels = (road(candidate, "解放大道", [(0, 0), (length, 0)], 0, distances=[length / 2])
                  + road(candidate, "人民路", [(0, 2000), (1000, 2000)], 1, distances=[500.0]))
        kept = make_engine(max_global_iterations=0).auto_place_labels(copy.deepcopy(labels))
        assert kept_indices(kept) == ([0, 1] if anchored else [1])
        # Not an anchor, but still a candidate for the passes.
        kept = make_engine(max_global_iterations=1).auto_place_labels(copy.deepcopy(labels))
        assert kept_indices(kept) == [0, 1]


def test_group_cap_limits_additions_but_not_anchors(make_engine, candidate):
    # sparse at font size 15: at most 2 labels per group.
    engine = make_engine(density="sparse", repeat_mode="name", max_global_iterations=5)
    labels = (road(candidate, "中山路", [(0, 0), (1000, 0)], 0, step=250)
              + road(candidate, "中山路", [(0, 3000), (1000, 3000)], 1, step=250)
              + road(candidate, "人民路", [(0, 6000), (1000, 6000)], 2, step=250)
              + road(candidate, "和平街", [(0, 9000), (1000, 9000)], 3, step=250)
              + road(candidate, "和平街", [(0, 9400), (1000, 9400)], 4, step=250)
              + road(candidate, "和平街", [(0, 9800), (1000, 9800)], 5, step=250))
    kept = engine.auto_place_labels(labels)
    groups = [l["group_id"] for l in kept]
    # Three features of one name keep their three anchors; the name with two
    # anchors gains nothing; the one with a single anchor gains one label.
    assert groups.count("name:和平街") == 3
    assert groups.count("name:中山路") == 2
    assert groups.count("name:人民路") == 2
    assert kept_indices(kept) == [2, 6, 8, 10, 14, 18, 22]


def test_repeat_interval_within_a_group(make_engine, candidate):
    # moderate at font size 15: repeat interval 270, global separation 150.
    engine = make_engine(max_global_iterations=3, repeat_mode="feature")
    labels = road(candidate, "中山路", [(0, 0), (600, 0)], 0, distances=[300.0, 100.0, 20.0, 560.0])
    labels += road(candidate, "人民路", [(0, 200), (600, 200)], 1, distances=[300.0, 20.0])
    kept = engine.auto_place_labels(labels)
    # 100 and 560 are within 270 of the anchor at 300 on their own road,
    # though far enough from every other label; both 20s are 280 away.
    assert kept_indices(kept) == [0, 2, 4, 5]


def test_solver_hiding_every_selected_label_keeps_the_selection(make_engine, candidate):
    # Tiny font sizes make the spacings tiny, while the labels stay 66 long:
    # the anchor (heavier, so it yields) and the label added next to it
    # overlap, and sliding pushes both past the end of their 60 m road.
    engine = make_engine(max_global_iterations=3)
    labels = road(candidate, "解放大道", [(0, 0), (60, 0)], 0, distances=[30.0, 45.0],
                  effective_font_size=0.5)
    labels[0]["weight"] = 2
    kept = engine.auto_place_labels(labels)
    assert kept_indices(kept) == [0, 1]
    assert [l["hidden"] for l in labels] == [False, False]
    assert all(l["distance"] > 60.0 for l in labels)
    assert all(l["matrix_dirty"] for l in labels)


def test_errors_of_records_that_cannot_be_measured(make_engine, candidate):
    engine = make_engine(max_global_iterations=2)
    labels = road(candidate, "中山路", [(0, 0), (1000, 0)], 0, step=250)
    del labels[1]["distance"]
    before = [dict(l) for l in labels]
    with pytest.raises(KeyError, match="distance"):
        engine.auto_place_labels(labels)
    # Nothing was written.
    assert [list(l) for l in labels] == [list(b) for b in before]
    labels = road(candidate, "中山路", [(0, 0), (1000, 0)], 0, step=250)
    labels[3]["line"] = LineString()
    with pytest.raises(IndexError):
        engine.auto_place_labels(labels)
    # A record that is never measured (no pass runs) may lack its line.
    del labels[3]["line"]
    assert kept_indices(make_engine(max_global_iterations=0).auto_place_labels(labels)) == [2]


def test_a_capped_candidate_is_never_measured(make_engine, candidate):
    # very_sparse: one label per group, which the feature's anchor fills.
    engine = make_engine(density="very_sparse", repeat_mode="feature", max_global_iterations=2)
    labels = road(candidate, "中山路", [(0, 0), (1000, 0)], 0, distances=[500.0, 100.0])
    labels[1]["line"] = LineString()
    assert kept_indices(engine.auto_place_labels(labels)) == [0]
    labels[1]["feature_id"] = 7
    with pytest.raises(IndexError):
        engine.auto_place_labels(labels)


def test_native_records_are_left_as_they_were_on_failure(make_engine, candidate):
    engine = make_engine(max_global_iterations=2)
    labels = road(candidate, "中山路", [(0, 0), (1000, 0)], 0, step=250)
    labels[3]["line"] = LineString()
    native = gw._LabelRecords(labels)
    before = native.to_dicts()
    with pytest.raises(IndexError):
        engine.auto_place_labels(native)
    assert_same_records(native.to_dicts(), before)
    del labels[3]
    native = gw._LabelRecords(labels)
    kept = engine.auto_place_labels(native)
    # The anchor at 500 and 0; 250 is within the repeat interval of 500.
    assert len(kept) == 2 and len(native) == 3
    assert [l["_cand_idx"] for l in kept.to_dicts()] == [0, 2]
    assert [l["hidden"] for l in native.to_dicts()] == [False, True, False]


def test_hidden_records_take_part_but_not_in_the_median(make_engine, candidate):
    engine = make_engine(max_global_iterations=4)
    labels = road(candidate, "中山路", [(0, 0), (2000, 0)], 0, step=200)
    for l in labels[::2]:
        l["hidden"] = True
        l["effective_font_size"] = 1000.0
    got = copy.deepcopy(labels)
    assert kept_indices(engine.auto_place_labels(got)) == kept_indices(
        reference_place(engine, labels))
    assert_same_records(got, labels)


NAMES = ["中山路", "人民路", "解放大道", "建设路", "和平街", "长江中路东段", "滨河北路一巷二号"]


def random_network(rng, lines, square, step, fitted=0.1):
    """Random roads: multi-part features, names shared across features, roads
    split into touching pieces, and a few hidden records. A share `fitted`
    of the records carries fitted sizes: small fonts (so small spacings)
    with wide characters, so that labels added next to others collide."""
    labels, uid = [], 0
    for feature in range(lines):
        text = rng.choice(NAMES)
        start = (rng.uniform(0, square), rng.uniform(0, square))
        parts = rng.choice([1, 1, 2, 3])
        weight = rng.choice([1, 1, 2, 3])
        for _ in range(parts):
            coords = [start]
            for _ in range(rng.randint(1, 3)):
                x, y = coords[-1]
                coords.append((x + rng.uniform(-200, 200), y + rng.uniform(-200, 200)))
            line = LineString(coords)
            ends = [np.append(np.asarray(c, dtype=float), 0.0) for c in (coords[0], coords[-1])]
            for d in np.arange(rng.uniform(0, step), line.length, step):
                record = {
                    "id": feature, "feature_id": feature, "line_uid": uid,
                    "line_key": f"{feature}:{uid}", "line_start": ends[0].copy(),
                    "line_end": ends[1].copy(), "text": text, "text_len": len(text),
                    "distance": float(d), "line": line, "line_len": line.length,
                    "weight": weight, "hidden": rng.random() < 0.03, "matrix_dirty": False,
                }
                if rng.random() < fitted:
                    record["effective_text_len"] = max(1, len(text) - rng.randint(0, 1))
                    record["effective_font_size"] = rng.choice([1.0, 2.0])
                    record["effective_char_width_est"] = 11.0
                    record["effective_letter_spacing"] = 0.5
                labels.append(record)
            uid += 1
            # The next piece of a split road starts where this one ended.
            start = coords[-1] if rng.random() < 0.7 else (rng.uniform(0, square),
                                                           rng.uniform(0, square))
    return labels


@pytest.mark.parametrize("seed", range(16))
def test_matches_the_plain_definition_on_random_networks(make_engine, seed):
    rng = random.Random(seed)
    density = ["very_dense", "dense", "moderate", "sparse", "very_sparse"][seed % 5]
    mode = ["name_connected", "feature", "name"][seed % 3]
    iterations = [None, 3, 25, 80][seed % 4]
    engine = make_engine(density=density, repeat_mode=mode, max_global_iterations=iterations,
                         font_size=rng.choice([3.0, 6.0, 12.0]),
                         letter_spacing=rng.choice([0.0, 1.0]))
    labels = random_network(rng, lines=rng.randint(10, 25), square=rng.choice([600, 1500]),
                            step=rng.choice([25.0, 50.0]), fitted=[0.1, 0.9][seed // 8])
    assert 50 < len(labels) < 1500
    ours = copy.deepcopy(labels)
    native = gw._LabelRecords(copy.deepcopy(labels))
    expected = reference_place(engine, labels)
    kept = engine.auto_place_labels(ours)
    assert kept_indices(kept) == kept_indices(expected)
    assert all(a is b for a, b in zip(kept, (ours[i] for i in kept_indices(kept))))
    assert_same_records(ours, labels)
    # The native records give the same records and keep the same ones.
    kept_native = engine.auto_place_labels(native)
    assert isinstance(kept_native, gw._LabelRecords)
    assert_same_records(native.to_dicts(), labels)
    assert_same_records(kept_native.to_dicts(), expected)
