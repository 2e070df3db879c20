"""_build_groups in its three modes: feature, name and connected pieces of one name."""
import numpy as np
import pytest
from hypothesis import given, settings, strategies as st
from shapely import LineString


def piece(text, key, a, b, **extra):
    """A record on line piece `key` with end points a and b."""
    ends = {"line_start": None if a is None else np.array(a, dtype=float),
            "line_end": None if b is None else np.array(b, dtype=float)}
    return {"text": text, "line_key": key, **ends, **extra}


def group_ids(engine, labels):
    engine._build_groups(labels)
    return [label["group_id"] for label in labels]


def reference_groups(labels, font_size, connect_eps):
    """The documented connected grouping, step by step."""
    nodes, key_to_node = [], {}
    for l in labels:
        lk = l.get("line_key")
        if lk is not None and lk not in key_to_node:
            key_to_node[lk] = len(nodes)
            nodes.append((l.get("text", ""), l.get("line_start"), l.get("line_end")))
    parent, rank = list(range(len(nodes))), [0] * len(nodes)

    def find(x):
        while parent[x] != x:
            parent[x] = parent[parent[x]]
            x = parent[x]
        return x

    def union(x, y):
        rx, ry = find(x), find(y)
        if rx != ry:
            if rank[rx] < rank[ry]:
                rx, ry = ry, rx
            parent[ry] = rx
            rank[rx] += rank[rx] == rank[ry]

    sizes = [float(l.get("effective_font_size", font_size)) for l in labels if not l.get("hidden")]
    eps = float(connect_eps) if connect_eps is not None else (
        float(np.median(sizes)) if sizes else float(font_size)) * 0.5
    buckets = {}
    for i, (text, _, _) in enumerate(nodes):
        buckets.setdefault(text, []).append(i)
    for idxs in buckets.values():
        for ii, i in enumerate(idxs):
            for j in idxs[ii + 1:]:
                (ai, bi), (aj, bj) = nodes[i][1:], nodes[j][1:]
                if any(p is None for p in (ai, bi, aj, bj)):
                    continue
                d = min(np.linalg.norm(ai - aj), np.linalg.norm(ai - bj),
                        np.linalg.norm(bi - aj), np.linalg.norm(bi - bj))
                if d <= eps:
                    union(i, j)
    comp = {}
    for node in key_to_node.values():
        root = find(node)
        cid = comp.get(root)
        if cid is None:
            cid = len(comp)
            comp[root] = cid
        comp[node] = cid
    out = []
    for l in labels:
        nd = key_to_node.get(l.get("line_key"))
        suffix = "solo" if nd is None else str(comp[nd])
        out.append(f"name_connected:{l.get('text', '')}:{suffix}")
    return out


# --- feature and name modes -----------------------------------------------

@pytest.mark.parametrize("record, expected", [
    ({"feature_id": 7, "id": 3}, "feature:7"),
    ({"id": 3}, "feature:3"),
    ({}, "feature:None"),
    ({"feature_id": "a"}, "feature:a"),
    ({"feature_id": np.int64(12)}, "feature:12"),
    ({"feature_id": 2.5}, "feature:2.5"),
    ({"feature_id": True}, "feature:True"),
    ({"feature_id": 2**70}, f"feature:{2**70}"),
])
def test_feature_mode(make_engine, record, expected):
    assert group_ids(make_engine(repeat_mode="feature"), [record]) == [expected]


def test_name_mode_shares_one_id_per_text(make_engine):
    far_apart = [piece("Main", "0:0", (0, 0, 0), (1, 0, 0)),
                 piece("Main", "9:9", (500, 0, 0), (501, 0, 0)), piece("Side", "1:1", None, None),
                 {}]
    assert group_ids(make_engine(repeat_mode="name"), far_apart) == [
        "name:Main", "name:Main", "name:Side", "name:"]


# --- connected pieces -----------------------------------------------------

@pytest.mark.parametrize("eps, joined", [(5.0, True), (np.nextafter(5.0, 0), False), (5, True)])
def test_join_at_exactly_the_tolerance(make_engine, eps, joined):
    # nearest ends (3, 4, 0) and (6, 8, 0): exactly 5 apart
    labels = [piece("Main", "0:0", (-9, 0, 0), (3, 4, 0)), piece("Main", "1:1", (6, 8, 0), (20, 20, 0))]
    ids = group_ids(make_engine(connect_eps=eps), labels)
    assert (ids[0] == ids[1]) is joined
    assert ids[0] == "name_connected:Main:0"


def test_chain_joins_transitively_and_only_same_text(make_engine):
    labels = [piece("Main", "0:0", (0, 0, 0), (10, 0, 0)),      # A
              piece("Main", "2:2", (20, 0, 0), (30, 0, 0)),     # C, far from A
              piece("Other", "3:3", (10, 0, 0), (20, 0, 0)),    # touches both, other name
              piece("Main", "1:1", (10, 0, 0), (20, 0, 0))]     # B joins A and C
    ids = group_ids(make_engine(connect_eps=1.0), labels)
    assert ids[0] == ids[1] == ids[3] != ids[2]


def test_records_without_line_key_are_solo(make_engine):
    labels = [{"text": "Main"}, piece("Main", None, (0, 0, 0), (1, 0, 0)),
              piece("Main", "0:0", (0, 0, 0), (1, 0, 0))]
    assert group_ids(make_engine(repeat_mode="anything else"), labels) == [
        "name_connected:Main:solo", "name_connected:Main:solo", "name_connected:Main:0"]


@pytest.mark.parametrize("sizes, hidden, joined", [
    ([6.0, 8.0, 100.0], [False, False, True], False),  # median 7: tolerance 3.5 < 4
    ([8.0, 10.0, 1.0], [False, False, True], True),    # median 9: tolerance 4.5
    ([8.0, None, 1.0], [False, False, False], False),  # None: engine size 3; median 3
    ([1.0, 1.0, 1.0], [True, True, True], True),       # none visible: 10 * 0.5 = 5
])
def test_default_tolerance_from_median_visible_font_size(make_engine, sizes, hidden, joined):
    engine = make_engine(font_size=10.0 if all(hidden) else 3.0)
    labels = [piece("Main", "0:0", (0, 0, 0), (10, 0, 0)), piece("Main", "1:1", (14, 0, 0), (30, 0, 0)),
              piece("Main", "0:0", (0, 0, 0), (10, 0, 0))]
    for label, size, h in zip(labels, sizes, hidden):
        label["hidden"] = h
        if size is not None:
            label["effective_font_size"] = size
    ids = group_ids(engine, labels)
    assert (ids[0] == ids[1]) is joined


def test_unused_font_size_is_not_converted(make_engine):
    engine = make_engine()
    engine.font_size = "not a number"
    labels = [piece("Main", "0:0", (0, 0, 0), (1, 0, 0), effective_font_size=4.0),
              piece("Main", "1:1", None, None, hidden=True)]
    assert group_ids(engine, labels)[0] == "name_connected:Main:0"


def test_component_numbers_count_numbered_pieces_and_roots(make_engine):
    # Pieces of "A" on keys a0, a1, a2, a3 (a0-a3 and a1-a2 touch, then a1-a3:
    # on tied ranks a1's root, node 2, becomes the root of all four); "B" in
    # between is alone. Numbering a0 numbers its root (node 2) too, so when
    # B is met two entries exist and B's number is 2, not 1.
    ends = {"a0": ((0, 0, 0), (1, 0, 0)), "a1": ((50, 0, 0), (51, 0, 0)),
            "a2": ((51, 0, 0), (60, 0, 0)), "a3": ((1, 0, 0), (50, 0, 0))}
    labels = [piece("A", "a0", *ends["a0"]), piece("B", "b", None, None)] + [
        piece("A", key, *ends[key]) for key in ("a1", "a2", "a3")]
    labels.append(piece("C", "c", None, None))
    ids = group_ids(make_engine(connect_eps=0.0), labels)
    assert ids == ["name_connected:A:0", "name_connected:B:2"] + ["name_connected:A:0"] * 3 + [
        "name_connected:C:5"]


def test_regrouping_rewrites_ids(make_engine):
    labels = [piece("Main", "0:0", (0, 0, 0), (1, 0, 0)), piece("Main", "1:1", (1, 0, 0), (2, 0, 0))]
    group_ids(make_engine(repeat_mode="feature"), labels)
    assert group_ids(make_engine(connect_eps=0.0), labels) == ["name_connected:Main:0"] * 2


@pytest.mark.parametrize("labels, error", [
    ([["not", "a", "dict"]], TypeError),
    ([piece(5, "0:0", None, None)], TypeError),
    ([piece("M", "0:0", (0, 0), (1, 0)), piece("M", "1:1", (0, 0, 0), (1, 0, 0))], ValueError),
])
def test_unusable_records_raise(make_engine, labels, error):
    with pytest.raises(error):
        make_engine(connect_eps=1.0)._build_groups(labels)


small = st.integers(0, 3).map(float)


@st.composite
def road_pieces(draw):
    labels = []
    for _ in range(draw(st.integers(0, 12))):
        key = draw(st.sampled_from([None, "0:0", "0:1", "1:2", "2:3", "3:4", "4:5", "5:6"]))
        ends = draw(st.none() | st.tuples(st.tuples(small, small, small), st.tuples(small, small, small)))
        label = piece(draw(st.sampled_from(["A", "B", "中"])), key, *(ends or (None, None)))
        if draw(st.booleans()):
            label["effective_font_size"] = draw(st.sampled_from([1.0, 2.0, 3.5]))
        label["hidden"] = draw(st.booleans())
        labels.append(label)
    return labels


@settings(max_examples=300, deadline=None)
@given(labels=road_pieces(), connect_eps=st.none() | st.sampled_from([0.0, 1.0, 1.5, 3.0]))
def test_connected_grouping_matches_the_documented_steps(make_engine, labels, connect_eps):
    engine = make_engine(font_size=2.0, connect_eps=connect_eps)
    assert group_ids(engine, labels) == reference_groups(labels, 2.0, connect_eps)


@pytest.mark.parametrize("seed, connect_eps", [(0, 1.0), (1, 2.0), (2, 0.5), (3, None), (4, 1e-300)])
def test_many_pieces_of_one_name_join_as_in_the_pairwise_steps(make_engine, seed, connect_eps):
    # A common name has thousands of pieces; they are matched through a grid
    # of end points, which must join exactly the pairs (and in the order)
    # that comparing every pair would. Lattice points make many gaps land
    # exactly on the tolerance; a few pieces lack end points, a few repeat.
    rng = np.random.default_rng(seed)
    labels = []
    for k in range(400):
        a = rng.integers(-15, 15, size=3).astype(float)
        a[2] = 0.0
        b = a + rng.integers(-2, 3, size=3)
        b[2] = rng.integers(0, 2)
        if k % 37 == 0:
            a = b = None
        labels.append(piece(str(rng.choice(["A", "中"])), f"0:{k % 390}", a, b))
    engine = make_engine(font_size=2.0, connect_eps=connect_eps)
    assert group_ids(engine, labels) == reference_groups(labels, 2.0, connect_eps)


def test_many_pieces_with_a_non_finite_end_still_group(make_engine):
    labels = [piece("A", f"0:{k}", (float(k), 0.0, 0.0), (k + 1.0, 0.0, 0.0)) for k in range(100)]
    labels[50]["line_end"] = np.array([np.inf, 0.0, 0.0])
    engine = make_engine(font_size=2.0, connect_eps=0.5)
    assert group_ids(engine, labels) == reference_groups(labels, 2.0, 0.5)
