"""Cartographic placement on hand-built roads: labels follow merged roads,
avoid sharp turns, read upright and never overlap."""
import math
import subprocess

import pytest
from shapely.geometry import Polygon

FS = 15.0  # the probe's default font size; Latin glyphs are 0.6 * FS wide


def box_polygon(g):
    nx, ny = -g.dy, g.dx
    corners = []
    for a, b in ((-1, -1), (1, -1), (1, 1), (-1, 1)):
        corners.append((g.x + a * g.dx * g.width / 2 + b * nx * g.height / 2,
                        g.y + a * g.dy * g.width / 2 + b * ny * g.height / 2))
    return Polygon(corners)


def overlapping_pairs(labels):
    boxes = [(i, box_polygon(g)) for i, label in enumerate(labels) for g in label.glyphs]
    return sum(1 for k, (i, p) in enumerate(boxes) for j, q in boxes[k + 1:]
               if i != j and p.intersection(q).area > 1e-9)


def turns(label):
    out = []
    for a, b in zip(label.glyphs, label.glyphs[1:]):
        out.append(abs(math.degrees(math.atan2(a.dx * b.dy - a.dy * b.dx,
                                               a.dx * b.dx + a.dy * b.dy))))
    return out


def test_no_label_straddles_a_hairpin(place):
    # Out 400 east, then sharply back west 30 above: the vertex turns ~176 degrees.
    road = [("Hairpin", 1, [(0, 0), (400, 0), (0, 30)])]
    result = place(road, spacing=120, max_labels_per_road=0)
    assert result.labels
    for label in result.labels:
        assert not label.start < 400 < label.start + label.length
        assert max(turns(label)) <= 30


def test_glyphs_on_a_tight_curve_turn_at_most_the_limit(place):
    # A circle of radius 40 made of 2-degree segments: Latin glyphs 9 wide
    # turn about 13 degrees each, within 30; at a limit of 10 none fits.
    circle = [(40 * math.cos(math.radians(a)), 40 * math.sin(math.radians(a)))
              for a in range(0, 181, 2)]
    roads = [("Crescent", 1, circle)]
    loose = place(roads, spacing=60, max_labels_per_road=0)
    assert loose.labels
    assert all(max(turns(label)) <= 30 for label in loose.labels)
    assert any(max(turns(label)) > 10 for label in loose.labels)
    assert not place(roads, spacing=60, max_labels_per_road=0, max_char_angle=10).labels


def test_a_road_of_many_short_pieces_is_labelled_across_the_joints(place):
    # 20 touching pieces of 100, every other one digitised backwards; the
    # name is 180 long, wider than any piece.
    name = "Rua_Augusta_da_Silva"
    pieces = []
    for i in range(20):
        a, b = (100.0 * i, 5.0), (100.0 * (i + 1), 5.0)
        pieces.append((name, 1, [a, b] if i % 2 == 0 else [b, a]))
    result = place(pieces, density="moderate")
    assert result.roads == [(0, 20, 2000.0)]
    assert len(result.labels) == 3
    for label in result.labels:
        assert label.length == 20 * 0.6 * FS
        joints = [j for j in range(100, 2000, 100) if label.start < j < label.start + label.length]
        assert joints


def test_a_road_runs_on_straight_through_a_fork_of_its_own_name(place):
    # The branch to (1000, 400) turns 39 degrees; the other runs straight on.
    fork = [("Fork", 1, [(0, 0), (500, 0)]), ("Fork", 1, [(500, 0), (1000, 400)]),
            ("Fork", 1, [(1000, 0), (500, 0)])]
    assert place(fork).roads == [(0, 2, 1000.0), (1, 1, math.hypot(500, 400))]
    assert len(place(fork, run_through_junctions=0).roads) == 3
    # Two branches both turning more than the limit: the junction stays a break.
    split = [("Split", 1, [(0, 0), (500, 0)]), ("Split", 1, [(500, 0), (1000, 400)]),
             ("Split", 1, [(500, 0), (1000, -400)])]
    assert len(place(split).roads) == 3


def test_same_named_pieces_join_across_a_small_gap(place):
    gap = [("Gap", 1, [(0, 0), (500, 0)]), ("Gap", 1, [(502, 0), (1000, 0)])]
    assert [r[1] for r in place(gap).roads] == [2]
    assert [r[1] for r in place(gap, connect_eps=1).roads] == [1, 1]


def test_a_chain_of_pieces_shorter_than_the_tolerance_is_one_line(place):
    # 3 km as 500 touching pieces of 6 m, shorter than connect_eps (half the
    # font size, 7.5), labels as the same road drawn as 100 pieces of 30 m.
    def drawn_as(count):
        step = 3000.0 / count
        pieces = []
        for i in range(count):
            a, b = (step * i, 0.0), (step * (i + 1), 0.0)
            pieces.append(("Long_Road", 1, [a, b] if i % 3 else [b, a]))
        return place(pieces, density="moderate")

    short, long_ = drawn_as(500), drawn_as(100)
    assert short.roads == [(0, 500, pytest.approx(3000.0))]
    assert long_.roads == [(0, 100, pytest.approx(3000.0))]
    assert len(short.labels) == len(long_.labels) == 3
    assert [label.text for label in short.labels] == [label.text for label in long_.labels]
    for a, b in zip(short.labels, long_.labels):
        assert a.start == pytest.approx(b.start, abs=1e-6)
        assert [v for g in a.glyphs for v in (g.x, g.y)] == pytest.approx(
            [v for g in b.glyphs for v in (g.x, g.y)])


def test_gap_ends_join_the_nearest_node_without_chaining(place):
    # A 3 m piece between two 1 m gaps: each lone end joins the nearest end
    # of another piece, so the three pieces make one line; before, all four
    # ends fell into one node and no piece ran on through it.
    gaps = [("Gappy", 1, [(0, 0), (500, 0)]), ("Gappy", 1, [(501, 0), (504, 0)]),
            ("Gappy", 1, [(505, 0), (1000, 0)])]
    assert place(gaps).roads == [(0, 3, pytest.approx(1000.0))]
    # Two junctions 5 apart stay two nodes: the through road runs on past
    # both, and the branch north of one and the branch south of the other
    # are not joined as if they crossed.
    dual = [("Dual", 1, [(0, 0), (500, 0)]), ("Dual", 1, [(500, 0), (505, 0)]),
            ("Dual", 1, [(505, 0), (1000, 0)]), ("Dual", 1, [(500, 0), (500, 400)]),
            ("Dual", 1, [(505, 0), (505, -400)])]
    assert sorted(r[1] for r in place(dual).roads) == [1, 1, 3]


def test_copies_and_many_ended_junctions(place):
    # Ten exact copies of a road of three pieces: ten lines of three pieces
    # (copies are placement's business), each as long as the road.
    road = [[(0, 0), (400, 0)], [(400, 0), (800, 30)], [(800, 30), (1200, 30)]]
    copies = [("Copy", 1, piece) for _ in range(10) for piece in road]
    length = 800 + math.hypot(400, 30)
    assert place(copies).roads == [(3 * k, 3, pytest.approx(length)) for k in range(10)]
    # Six straight roads of one name crossing at one point, 30 degrees apart
    # (a node of 12 ends): each runs straight on through it.
    star = []
    for k in range(6):
        c, s = math.cos(math.radians(30 * k)), math.sin(math.radians(30 * k))
        star += [("Star", 1, [(0, 0), (500 * c, 500 * s)]),
                 ("Star", 1, [(0, 0), (-500 * c, -500 * s)])]
    assert place(star).roads == [(2 * k, 2, pytest.approx(1000.0)) for k in range(6)]
    # Twenty such roads, 9 degrees apart: 40 ends, past the 32 a junction
    # may have, so every end stops there.
    crowd = [("Crowd", 1, [(0, 0), (500 * math.cos(a), 500 * math.sin(a))])
             for a in (math.radians(9 * k) for k in range(40))]
    assert place(crowd).roads == [(k, 1, pytest.approx(500.0)) for k in range(40)]


def test_tiny_font_sizes_place_the_labels_of_the_default_size(place):
    # Two curving 2 km roads at a UTM northing of 4,400 km: at font size
    # 0.001 the glyph-box grid's cells (two font sizes) number past 2^31
    # there, where a 32-bit cell range once wrapped round and filled memory.
    x0, y0 = 500_000.0, 4_400_000.0
    roads = [(name, 1, [(x0 + 4.0 * i, y0 + 300.0 * k + 30.0 * math.sin(i / 40.0 + k))
                        for i in range(501)])
             for k, name in enumerate(["Curve", "Bend"])]
    default = place(roads, density="moderate")
    assert len(default.labels) == 6
    for size in (1e-3, 1e-9):
        tiny = place(roads, density="moderate", font_size=size)
        assert sorted(label.text for label in tiny.labels) == sorted(
            label.text for label in default.labels)
        assert all(g.height == size for label in tiny.labels for g in label.glyphs)


def test_a_west_running_road_is_read_upright(place):
    roads = [("Westward", 1, [(1000, 0), (0, 0)]),
             ("Northwest", 1, [(1000, 1000), (300, 1600)]),
             ("Eastward", 1, [(0, -500), (1000, -500)])]
    result = place(roads, spacing=300, max_labels_per_road=0)
    by_text = {}
    for label in result.labels:
        by_text.setdefault(label.text, []).append(label)
        assert all(g.dx > 0 for g in label.glyphs)
        # Read in order, glyph after glyph moves east.
        xs = [g.x for g in label.glyphs]
        assert xs == sorted(xs)
    assert all(label.reversed for label in by_text["Westward"] + by_text["Northwest"])
    assert not any(label.reversed for label in by_text["Eastward"])


def test_no_glyph_reads_west_on_a_road_wiggling_about_north(place):
    # North-north-east for 1000, then due north with a wiggle of 1 either
    # side every 20, where glyphs alternate a few degrees east and west.
    steady = [(0.176 * 20 * i, 20.0 * i) for i in range(51)]
    x0, y0 = steady[-1]
    wiggle = [(x0 + (-1) ** i, y0 + 20.0 * i) for i in range(1, 51)]
    result = place([("Wiggle", 1, steady + wiggle)], spacing=150, max_labels_per_road=0)
    assert result.labels
    assert all(label.start + label.length < 1020 for label in result.labels)
    assert all(g.dx >= 0 for label in result.labels for g in label.glyphs)


def test_a_label_on_a_bend_is_reversed_as_a_whole(place):
    # West-running with a gentle bend: a reversed label keeps the line's
    # glyph order reversed throughout, never flipping single glyphs.
    bend = [(600, 0)] + [(600 - 10 * i, 0.4 * i * i) for i in range(1, 61)]
    result = place([("Bend", 1, bend)], spacing=100, max_labels_per_road=0)
    assert result.labels
    for label in result.labels:
        assert label.reversed
        distances = [g.distance for g in label.glyphs]
        assert distances == sorted(distances, reverse=True)


def test_crossing_roads_keep_their_glyphs_apart(place):
    roads = [("First_Avenue", 1, [(-1000, 0), (1000, 0)]),
             ("Second_Avenue", 1, [(0, -1000), (0, 1000)])]
    result = place(roads, spacing=200, max_labels_per_road=0)
    assert overlapping_pairs(result.labels) == 0
    assert {label.text for label in result.labels} == {"First_Avenue", "Second_Avenue"}
    # A letter spacing of 150 font sizes makes the long avenue's glyph boxes
    # too wide for the grid's cells (over 64 of two font sizes); the short
    # cross streets', shrunk to fit, are not. The heavier cross street goes
    # first, the avenue slides off it onto the lighter one, which has no
    # room to slide and is left out.
    crossing = [("First_Avenue", 1, [(-1000, 0), (1000, 0)]),
                ("Second_Avenue", 2, [(0, -10), (0, 10)]),
                ("Third_Avenue", 0.5, [(10, -10), (10, 10)])]
    mixed = place(crossing, spacing=200, max_labels_per_road=1, font_size=0.01,
                  letter_spacing=1.5)
    widths = {label.text: label.glyphs[0].width for label in mixed.labels}
    assert widths["First_Avenue"] > 64 * 0.02 > widths["Second_Avenue"]
    assert overlapping_pairs(mixed.labels) == 0


def test_a_dense_grid_has_no_overlapping_glyph_boxes(place):
    roads = []
    for i in range(8):
        roads.append((f"Street_{i}", 1 + i % 3, [(0, 40.0 * i), (300, 40.0 * i + 5)]))
        roads.append((f"Avenue_{i}", 1, [(40.0 * i, -10), (40.0 * i + 8, 300)]))
    result = place(roads, spacing=60, max_labels_per_road=0)
    assert len(result.labels) > 8
    assert overlapping_pairs(result.labels) == 0


def test_the_heavier_road_keeps_the_middle(place):
    roads = [("Light", 1, [(-500, 0), (500, 0)]), ("Heavy", 3, [(0, -500), (0, 500)])]
    result = place(roads, spacing=2000, max_labels_per_road=1)
    heavy = next(label for label in result.labels if label.text == "Heavy")
    light = next(label for label in result.labels if label.text == "Light")
    assert heavy.start == 500 - heavy.length / 2
    assert light.start != 500 - light.length / 2


def test_a_long_road_carries_a_label_every_spacing_up_to_the_cap(place):
    road = [("Long", 1, [(0, 0), (10000, 0)])]
    uncapped = sorted(label.start for label in place(road, spacing=270, max_labels_per_road=0).labels)
    assert len(uncapped) == (10000 - 36) // 270 + 1
    assert all(abs(b - a - 270) < 1e-9 for a, b in zip(uncapped, uncapped[1:]))
    # Centred: the margins at both ends are equal.
    assert abs(uncapped[0] - (10000 - 36 - uncapped[-1])) < 1e-9

    capped = sorted(label.start for label in place(road, density="moderate").labels)
    assert len(capped) == 3
    assert capped[0] < 10000 / 3 < capped[1] < 2 * 10000 / 3 < capped[2]
    assert len(place(road, density="moderate", cap_length=2000).labels) == 15


def test_a_short_road_gets_one_label_in_the_middle(place):
    result = place([("Short", 1, [(0, 0), (100, 0)])], density="moderate")
    [label] = result.labels
    assert label.start == (100 - 45) / 2


def test_a_cjk_name_is_laid_out_with_full_width_glyphs(place):
    result = place([("深南大道", 1, [(0, 0), (300, 0)])], spacing=1000)
    [label] = result.labels
    assert label.text == "深南大道"
    assert [g.width for g in label.glyphs] == [FS] * 4
    assert [g.height for g in label.glyphs] == [FS] * 4
    assert label.length == 4 * FS
    assert [g.distance for g in label.glyphs] == [label.start + FS * (i + 0.5) for i in range(4)]


def test_a_road_shorter_than_its_name_takes_it_smaller(place):
    # "Boulevard" is 81 wide at full size.
    [label] = place([("Boulevard", 1, [(0, 0), (60, 0)])]).labels
    assert label.font_size < FS
    assert label.length <= 0.6 * 60
    assert label.length == pytest.approx(81 * label.font_size / FS)
    assert all(g.height == label.font_size for g in label.glyphs)
    assert not place([("Boulevard", 1, [(0, 0), (60, 0)])], min_font_scale=0).labels
    assert not place([("Boulevard", 1, [(0, 0), (25, 0)])]).labels  # under 0.35 of it
    [full] = place([("Boulevard", 1, [(0, 0), (60, 0)])], max_road_fill=1).labels
    assert full.length <= 60 < full.length * 1.001


def test_every_road_gets_its_first_label_before_any_gets_a_second(place):
    # Two parallel roads 10 apart compete for room; the heavy one's labels,
    # 45 long every 60, would leave no gap the light one's fits in.
    roads = [("Heavy", 3, [(0, 0), (1000, 0)]), ("Light", 1, [(400, 10), (600, 10)])]
    result = place(roads, spacing=60, max_labels_per_road=0)
    assert "Light" in {label.text for label in result.labels}
    assert overlapping_pairs(result.labels) == 0


def test_placement_stops_when_the_interrupt_check_throws(place):
    roads = [(f"Street_{i}", 1, [(0, 20.0 * i), (5000, 20.0 * i + 7)]) for i in range(40)]
    with pytest.raises(subprocess.CalledProcessError) as stopped:
        place(roads, spacing=60, max_labels_per_road=0, interrupt_after=3)
    assert stopped.value.returncode == 3
    assert "label" not in stopped.value.stdout.replace("interrupted", "")


def test_the_same_roads_give_the_same_labels(place):
    roads = [(f"Street_{i}", 1 + i % 2, [(0, 15.0 * i), (700, 15.0 * i + 40 * (i % 3))])
             for i in range(12)]
    roads += [("Cross", 2, [(350, -50), (360, 300)])]
    first = place(roads, spacing=90, max_labels_per_road=0)
    assert first == place(roads, spacing=90, max_labels_per_road=0)
    assert overlapping_pairs(first.labels) == 0
