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




def test_label_centres_average_every_glyph_origin_of_the_label():
    origin = np.array([[0, 0, 5], [2, 0, 5], [4, 3, 5], [10, 10, 0]], dtype=float)
    centres = lq.label_centres(np.array([0, 0, 0, 2]), origin, 3)
    np.testing.assert_allclose(centres[[0, 2]], [[2, 1], [10, 10]])
    assert np.isnan(centres[1]).all()


def test_the_nearest_same_name_label_is_found_across_grid_cells_never_itself():
    # Names 0 and 1 interleave; a NaN centre and name -1 take no part.
    centres = np.array([[0, 0], [9.5, 0], [5, 0], [30, 0], [10.5, 0.5], [np.nan, 0], [0, 1]])
    names = np.array([0, 0, 1, 0, 1, 0, -1])
    d = lq.same_name_distance(centres, names, 10.0)
    np.testing.assert_allclose(d[:5], [9.5, 9.5, np.hypot(5.5, 0.5), np.inf, np.hypot(5.5, 0.5)])
    assert np.isinf(d[5:]).all()
    # Beyond the reach nothing counts, even within the neighbouring cells.
    assert np.isinf(lq.same_name_distance(centres, names, 5.0)[:2]).all()


def test_cjk_code_points_are_han_kana_hangul_punctuation_and_fullwidth_forms():
    cjk, other = "中ひカ한、（Ａ𠀀ー", "Aé \u2e7f"
    assert lq.is_cjk([ord(c) for c in cjk + other]).tolist() == [True] * 9 + [False] * 4


def test_steep_labels_and_glyphs_whose_up_points_north():
    # Label 0 runs north-east at 60 degrees, label 1 at 30, label 2 is one glyph.
    origin = np.array([[0, 0], [1, np.sqrt(3)], [0, 0], [np.sqrt(3), 1], [5, 5]], dtype=float)
    steep = lq.steep_labels(np.array([0, 0, 1, 1, 2]), origin, 3)
    assert steep.tolist() == [True, False, False]
    frames = np.zeros((4, 4, 4))
    for k, deg in enumerate([0.0, 9.0, -11.0, 180.0]):  # the up axis, from north
        frames[k, 0, 1], frames[k, 1, 1] = np.sin(np.radians(deg)), np.cos(np.radians(deg))
    assert lq.up_is_north(frames).tolist() == [True, True, False, False]
