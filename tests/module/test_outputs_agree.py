"""Every output of one run reads the same drawn labels: the label table, the
glyph frames, the GLB's label table and the billboard CSV of an engine name
the same labels, in the same order, at the same anchors, in both placement
styles."""
import csv
import io
import sys
from pathlib import Path

import numpy as np
import pytest
from shapely.geometry import LineString

import glyphway_accel_avx2 as gw

TESTS = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(TESTS / "export"))
from road_tables import write_roads  # noqa: E402
from glb_reading import label_table, load  # noqa: E402


@pytest.fixture(scope="module")
def roads(tmp_path_factory):
    lines = [
        LineString([(0, 0), (900, 0)]),
        LineString([(900, 120), (450, 160), (0, 120)]),
        LineString([(100, 400), (300, 420), (420, 520), (440, 700)]),
        LineString([(0, 900), (70, 905)]),
        LineString([(600, 600), (600, 800)]),
    ]
    return write_roads(tmp_path_factory.mktemp("agree") / "roads.shp", lines,
                       name=["中一 oxe", "中一中一", "ice 中", "中一中一中一", "Ixo"],
                       weight=[1, 2, 3, 1, 4])


def _engine(roads, font, options):
    return gw._new_engine({"shp_path": roads, "text_count": 2, "density": "very_dense",
                           **options}, font)


def _outputs(engine, style, out_dir):
    """(label table, glyph frame labels, GLB label table, CSV rows) of one engine."""
    if style == "cartographic":
        table, _ = gw._cartographic_label_table(engine)
        _, frames, _ = gw._cartographic_glyph_frames(engine)
    else:
        table, _ = gw._prepared_label_table(engine)
        _, frames, _ = gw._glyph_frames(engine)
    glb, out_csv = out_dir / f"{style}.glb", out_dir / f"{style}.csv"
    engine.export_glb(str(glb), instancing=False, style=style)
    engine.export_csv(str(out_csv), None, True, False, "degree", 6, style=style)
    gltf, blob = load(glb)
    rows = list(csv.reader(io.StringIO(out_csv.read_text(encoding="utf-8-sig"))))[1:]
    return table, frames, label_table(gltf, blob), rows


@pytest.mark.parametrize("style, options", [
    ("interval", {}), ("interval", {"curved_text": False}), ("interval", {"posture": "upright"}),
    ("cartographic", {}), ("cartographic", {"posture": "upright"}),
])
def test_the_outputs_of_one_run_show_the_same_labels(roads, ttf_font, tmp_path, capsys, style,
                                                     options):
    table, frames, glb, rows = _outputs(_engine(roads, ttf_font, options), style, tmp_path)
    capsys.readouterr()
    n = len(table["index"])
    assert n > 3
    assert glb["id"].tolist() == table["index"].tolist()
    assert glb["text"] == table["text"] == [r[-1] for r in rows]
    assert glb["effective_text"] == table["effective_text"]
    assert glb["group_id"] == [g or "" for g in table["group_id"]]
    np.testing.assert_array_equal(glb["weight"], table["weight"])
    np.testing.assert_array_equal(glb["anchor"][:, 0], table["x"])
    np.testing.assert_array_equal(glb["anchor"][:, 1], table["y"])
    assert [r[1:4] for r in rows] == [[f"{v:.3f}" for v in a] for a in glb["anchor"]]
    assert frames["index"].tolist() == table["index"].tolist()
    np.testing.assert_array_equal(frames["anchor"], glb["anchor"])
    np.testing.assert_array_equal(frames["font_size"], glb["font_size"])
    assert frames["text"] == table["text"] and frames["group_id"] == table["group_id"]
