"""What the shaping binding does not show, through the native probe
(tests/native/shaping_probe.cpp): clusters, per-character advances, and
one shaper used from several threads at once."""
from __future__ import annotations

import json
import os
import subprocess
from pathlib import Path

import pytest

from test_text_shaping import SIZE, build_shaping_font, units

_BIN_DIR = os.environ.get("GLYPHWAY_NATIVE_BIN")
PROBE = Path(_BIN_DIR) / "shaping_probe" if _BIN_DIR else None
if PROBE is None or not PROBE.is_file():
    pytest.skip("native test programs not built (set GLYPHWAY_NATIVE_BIN)", allow_module_level=True)


@pytest.fixture(scope="module")
def font(tmp_path_factory):
    return build_shaping_font(tmp_path_factory.mktemp("shaping") / "shaping.ttf")


def probe(font, text, spacing=0.0, threads=0):
    done = subprocess.run([str(PROBE), str(font), repr(SIZE), repr(spacing), str(threads),
                           *(str(ord(c)) for c in text)], capture_output=True, text=True, check=True)
    return json.loads(done.stdout)


def test_clusters_name_the_characters_in_reading_order(font):
    shaped = probe(font, "BA V\u4e2d")
    assert [g[0] for g in shaped["glyphs"]] == [0, 1, 2, 3, 4]
    assert shaped["advances"] == pytest.approx([g[2] for g in shaped["glyphs"]])


def test_a_composed_glyph_gives_its_advance_to_its_first_character(font):
    shaped = probe(font, "BIIB", spacing=2.0)
    assert [g[0] for g in shaped["glyphs"]] == [0, 1, 3]
    assert shaped["advances"] == pytest.approx([units("B") + 2.0, units("II") + 2.0, 0.0, units("B")])
    assert sum(shaped["advances"]) == pytest.approx(shaped["width"])


def test_one_shaper_gives_the_same_answer_on_several_threads(font):
    assert probe(font, "AV B\u4e2dfi", spacing=1.5, threads=8)["threads_agree"]

