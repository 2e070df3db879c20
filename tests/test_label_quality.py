"""The measures of bench/label_quality.py that the placement styles are judged by."""
import sys
from pathlib import Path

import numpy as np
import pytest

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "bench"))
import label_quality as lq  # noqa: E402


def test_turns_wrap_around_the_west():
    assert lq.turn_deg(170.0, -170.0) == pytest.approx(20.0)
    assert lq.turn_deg(-179.0, 179.0) == pytest.approx(2.0)
    assert lq.turn_deg(10.0, 350.0) == pytest.approx(20.0)
    assert lq.turn_deg(0.0, 180.0) == pytest.approx(180.0)


def test_a_label_turns_by_its_sharpest_glyph_pair_never_across_labels():
    labels = np.array([0, 0, 0, 1, 1, 2])
    headings = np.array([0.0, 10.0, 40.0, 170.0, -175.0, -90.0])
    np.testing.assert_allclose(lq.label_turns(labels, headings, 4), [30.0, 15.0, 0.0, 0.0])


def test_westward_means_more_than_the_limit_from_east():
    headings = lq.headings_deg(np.array([[-1.0, 0.0], [0.0, 1.0], [np.cos(np.radians(101)),
                                                                   np.sin(np.radians(101))],
                                         [np.cos(np.radians(-99)), np.sin(np.radians(-99))]]))
    assert lq.is_westward(headings).tolist() == [True, False, True, False]
    assert lq.is_westward(headings, 90.0).tolist() == [True, False, True, True]
    flagged = lq.labels_with(np.array([0, 0, 2]), np.array([False, True, False]), 3)
    assert flagged.tolist() == [True, False, False]


def _boxes(centres, angles_deg, advance=10.0, size=4.0):
    a = np.radians(angles_deg)
    return lq.glyph_boxes(np.asarray(centres, float), np.column_stack([np.cos(a), np.sin(a)]),
                          np.full(len(a), advance), np.full(len(a), size))


def test_boxes_that_touch_do_not_overlap_and_boxes_that_cross_do():
    centre, axes, half = _boxes([(0, 0), (10, 0), (9, 3.9), (0, 4)], [0, 0, 0, 0])
    i, j = np.array([0, 0, 0]), np.array([1, 2, 3])
    assert lq.boxes_overlap(centre, axes, half, i, j).tolist() == [False, True, False]


def test_turned_boxes_are_separated_on_their_own_axes():
    # bounding squares overlap, the boxes do not: a 45 degree box beside a corner
    centre, axes, half = _boxes([(0, 0), (8.5, 5.1)], [0, 45], advance=10.0, size=2.0)
    assert not lq.boxes_overlap(centre, axes, half, np.array([0]), np.array([1]))[0]
    centre, axes, half = _boxes([(0, 0), (4, 3)], [0, 45], advance=10.0, size=2.0)
    assert lq.boxes_overlap(centre, axes, half, np.array([0]), np.array([1]))[0]


def test_overlaps_are_counted_between_labels_only():
    centre, axes, half = _boxes([(0, 0), (5, 0), (100, 0), (104, 1), (300, 0)], [0, 0, 0, 90, 0])
    labels = np.array([0, 0, 1, 2, 3])
    i, j = lq.overlapping_pairs(labels, centre, axes, half)
    assert list(zip(i.tolist(), j.tolist())) == [(2, 3)]


def test_a_road_part_is_covered_by_a_label_of_its_own_name_within_the_radius():
    points = np.array([[0.0, 0.0], [0.0, 0.0], [1500.0, 0.0], [2500.0, 0.0], [0.0, 0.0]])
    names = np.array([0, 1, 0, 0, -1])
    anchors = np.array([[999.0, 0.0], [5000.0, 0.0]])
    covered = lq.covered(points, names, anchors, np.array([0, 1]), 1000.0)
    assert covered.tolist() == [True, False, True, False, False]


def test_lines_are_cut_into_parts_no_longer_than_the_step():
    coords = np.array([[0, 0], [100, 0], [100, 30], [0, 0], [0, 0], [5, 0]], dtype=float)
    index = np.array([0, 0, 0, 1, 1, 1])
    mid, length, owner = lq.line_parts(coords, index, 25.0)
    assert owner.tolist() == [0] * 6 + [1]
    np.testing.assert_allclose(length, [25.0] * 4 + [15.0, 15.0, 5.0])
    np.testing.assert_allclose(mid[:4, 0], [12.5, 37.5, 62.5, 87.5])
    np.testing.assert_allclose(mid[4:6], [[100, 7.5], [100, 22.5]])


@pytest.mark.parametrize("raw, name", [(" Main St ", "Main St"), ("", None), ("NaN", None),
                                       (None, None), (float("nan"), None), ("none", None),
                                       (12, "12")])
def test_names_are_cleaned_as_the_engine_reads_them(raw, name):
    assert lq.clean_name(raw) == name


