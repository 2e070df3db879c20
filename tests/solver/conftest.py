"""Label records shaped the way the collision solver reads them."""
import numpy as np
import pytest

import glyphway_accel_avx2 as gw

CHAR_W = 16.5   # 4 characters: a rectangle 66 long
FONT = 15.0     # and 15 high
SPACING = 0.0


def _label(id, distance, cx, cy=0.0, line_len=1000.0, text_len=4, weight=1.0, direction=(1.0, 0.0),
           **extra):
    """A visible label whose matrix puts its centre at (cx, cy) facing `direction`."""
    m = np.eye(4)
    m[0, 3], m[1, 3] = cx, cy
    m[0, 0], m[1, 0] = direction
    record = {"id": id, "text_len": text_len, "distance": distance, "line_len": line_len,
              "weight": weight, "hidden": False, "matrix_dirty": False, "matrix": m}
    record.update(extra)
    return record


@pytest.fixture(scope="session")
def label():
    return _label


def _solve(labels, char_width_est=CHAR_W, font_size=FONT, letter_spacing=SPACING):
    gw._fast_resolve_collisions(labels, char_width_est, font_size, letter_spacing)
    return labels


@pytest.fixture(scope="session")
def solve():
    return _solve
