"""Upright CJK lettering (cjk_orientation upright / auto) on hand-built
roads: every glyph stands upright, a steep road is read from its northern
end, a flat one from the west, the glyphs evenly spaced and clear of each
other and of other labels, and the road under them still straight enough."""
import math

import pytest

from test_cartographic_placement import FS, overlapping_pairs

NAME = "深南大道"  # four ideographs: FS wide each in the probe


def upright(label):
    return all(g.dx == 1.0 and g.dy == 0.0 for g in label.glyphs)


def steps(label):
    return [math.hypot(b.x - a.x, b.y - a.y) for a, b in zip(label.glyphs, label.glyphs[1:])]


def boxes_clear(a, b):
    """Axis-aligned boxes of two upright glyphs are apart (touching counts as apart)."""
    return (abs(a.x - b.x) >= (a.width + b.width) / 2 - 1e-9
            or abs(a.y - b.y) >= (a.height + b.height) / 2 - 1e-9)


@pytest.mark.parametrize("points", [
    [(0, 0), (0, 400)],           # due north, drawn from the south
    [(0, 400), (0, 0)],           # the same road drawn from the north
    [(0, 0), (150, 400)],         # 69 degrees from east
    [(150, 400), (0, 0)],
])
def test_a_steep_road_reads_from_its_northern_end_down(place, points):
    result = place([(NAME, 1, points)], cjk_orientation="upright", max_labels_per_road=1)
    (label,) = result.labels
    assert upright(label)
    ys = [g.y for g in label.glyphs]
    assert ys == sorted(ys, reverse=True)  # glyph 0 northmost
    # Evenly spaced, each box just below the one before it.
    assert max(steps(label)) - min(steps(label)) < 1e-6
    for a, b in zip(label.glyphs, label.glyphs[1:]):
        assert boxes_clear(a, b)
        assert a.y - b.y < 1.2 * FS  # not spread further than the gap needs
    assert label.length == pytest.approx(4 * steps(label)[0])


@pytest.mark.parametrize("points", [[(0, 0), (400, 100)], [(400, 100), (0, 0)],
                                    [(0, 100), (400, 0)]])
def test_a_flat_road_reads_west_to_east(place, points):
    (label,) = place([(NAME, 1, points)], cjk_orientation="upright",
                     max_labels_per_road=1).labels
    assert upright(label)
    xs = [g.x for g in label.glyphs]
    assert xs == sorted(xs)
    assert max(steps(label)) - min(steps(label)) < 1e-6
    assert all(boxes_clear(a, b) for a, b in zip(label.glyphs, label.glyphs[1:]))


def test_the_diagonal_step_clears_both_ways_and_the_slot_holds_it(place):
    # At 45 degrees neither the east nor the north separation alone is
    # reached early: the slot is sized for this, the widest step.
    (label,) = place([(NAME, 1, [(0, 0), (300, 300.000001)])], cjk_orientation="upright",
                     max_labels_per_road=1).labels
    ys = [g.y for g in label.glyphs]
    assert ys == sorted(ys, reverse=True)  # just steeper than 45: a column
    for a, b in zip(label.glyphs, label.glyphs[1:]):
        assert abs(a.x - b.x) >= FS - 1e-6 and abs(a.y - b.y) >= FS - 1e-6


def test_labels_of_crossing_and_parallel_roads_never_overlap(place):
    roads = [(NAME, 1, [(0, -300), (0, 300)]), ("中山路", 1, [(-300, 0), (300, 0)]),
             ("北环路", 1, [(12, -300), (40, 300)]), ("滨海路", 1, [(-300, 8), (300, 30)])]
    result = place(roads, cjk_orientation="upright", spacing=60, max_labels_per_road=0)
    assert len(result.labels) >= 8
    assert all(upright(label) for label in result.labels)
    assert overlapping_pairs(result.labels) == 0


def test_an_upright_label_keeps_off_a_sharp_bend(place):
    # North 100, then a 60 degree turn: no label spans the vertex, and every
    # run's centre-to-centre directions turn by at most the limit.
    turn = (100 * math.cos(math.radians(30)), 100 + 100 * math.sin(math.radians(30)))
    result = place([(NAME, 1, [(0, 0), (0, 100), turn])], cjk_orientation="upright",
                   spacing=20, max_labels_per_road=0)
    assert result.labels
    for label in result.labels:
        assert not label.start < 100 < label.start + label.length
        assert upright(label)


def test_auto_stands_cjk_names_only(place):
    roads = [(NAME, 1, [(0, 0), (150, 400)]), ("Avenida_da_Liberdade", 1, [(500, 0), (650, 400)]),
             ("G107国道", 1, [(1000, 0), (1150, 400)]), ("Rua_中", 1, [(1500, 0), (1650, 400)])]
    by_text = {label.text: label for label in place(roads, cjk_orientation="auto",
                                                    max_labels_per_road=1).labels}
    assert upright(by_text[NAME])
    assert not upright(by_text["Avenida_da_Liberdade"])
    assert not upright(by_text["G107国道"])  # 2 of 6 characters are CJK
    assert not upright(by_text["Rua_中"])
    mostly = place([("中山G1路", 1, [(0, 0), (150, 400)])], cjk_orientation="auto").labels
    assert mostly and upright(mostly[0])  # 3 of 5: digits and Latin stand up with it
    along = place([(NAME, 1, [(0, 0), (150, 400)])]).labels
    assert along and not upright(along[0])  # the default turns with the road
