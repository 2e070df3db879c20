"""Every writer reads the one drawn-label view: a straight, a curved and a
placed label, made by hand in tests/native/drawn_label_probe.cpp, written
as OBJ, plain and instanced GLB and billboard CSV, and measured as the label
table, the placed glyph boxes and the glyph frames, must all show the same
labels in the same places."""
import csv
import io
import json
import os
import subprocess
from pathlib import Path

import numpy as np
import pytest

from glb_reading import expand, farthest_gap, label_table, load, obj_labels

_BIN_DIR = os.environ.get("GLYPHWAY_NATIVE_BIN")
if not _BIN_DIR or not (Path(_BIN_DIR) / "drawn_label_probe").exists():
    pytest.skip("native test programs not built (set GLYPHWAY_NATIVE_BIN)", allow_module_level=True)
PROBE = str(Path(_BIN_DIR) / "drawn_label_probe")


@pytest.fixture(scope="module")
def written(tmp_path_factory, ttf_font):
    out = tmp_path_factory.mktemp("view")
    run = subprocess.run([PROBE, ttf_font, str(out)], capture_output=True, check=True)
    return out, json.loads(run.stdout)


def test_the_obj_and_both_glbs_draw_the_same_meshes(written):
    out, view = written
    obj = obj_labels(out / "view.obj")
    indices = [label["index"] for label in view["labels"]]
    assert sorted(obj) == indices
    for name in ("plain.glb", "instanced.glb"):
        gltf, blob = load(out / name)
        rows = expand(gltf, blob)
        assert sorted(rows) == [0, 1, 2], name
        for row, index in enumerate(indices):
            vertices = np.concatenate([v for v, _ in rows[row]])
            faces = sum(n for _, n in rows[row])
            assert faces == obj[index][1] > 0, (name, index)
            assert farthest_gap(vertices, obj[index][0]) < 2e-3, (name, index)


def test_object_and_node_names_are_the_labels_names_and_indices(written):
    out, view = written
    objects = [line[2:].rstrip("\n") for line in open(out / "view.obj", encoding="utf-8")
               if line.startswith("o ")]
    assert objects == ["oxI_0", "中一o_2", "ox_3"]
    gltf, _ = load(out / "plain.glb")
    assert [gltf.nodes[c].name for c in gltf.nodes[0].children] == objects


@pytest.mark.parametrize("name", ["plain.glb", "instanced.glb"])
def test_the_glb_label_table_holds_each_labels_row(written, name):
    out, view = written
    gltf, blob = load(out / name)
    table = label_table(gltf, blob)
    labels = view["labels"]
    assert table["id"].tolist() == [label["index"] for label in labels]
    assert table["text"] == [label["text"] for label in labels]
    assert table["effective_text"] == [label["effective_text"] for label in labels]
    assert table["group_id"] == [label["group_id"] or "" for label in labels]
    assert table["weight"].tolist() == [label["weight"] for label in labels]
    # the size drawn: the straight label's fitted size is not what it is drawn at
    assert table["font_size"].tolist() == [10.0, 10.0, 5.0]
    np.testing.assert_array_equal(table["anchor"], [label["anchor"] for label in labels])


def test_the_csv_puts_one_row_at_each_anchor(written):
    out, view = written
    rows = list(csv.reader(io.StringIO((out / "view.csv").read_text(encoding="utf-8-sig"))))
    assert rows[0][:4] == ["id", "x", "y", "z"] and rows[0][-1] == "name"
    body = rows[1:]
    assert [r[0] for r in body] == ["0", "1", "2"]
    assert [r[-1] for r in body] == [label["text"] for label in view["labels"]]
    for row, label in zip(body, view["labels"]):
        assert [float(v) for v in row[1:4]] == pytest.approx(label["anchor"], abs=5e-4)


def test_the_label_table_measures_each_label_at_its_anchor(written):
    _, view = written
    table, labels = view["table"], view["labels"]
    assert table["visible"] == [1, 0, 1, 1]
    assert table["index"] == [label["index"] for label in labels]
    assert table["x"] == [label["anchor"][0] for label in labels]
    assert table["y"] == [label["anchor"][1] for label in labels]
    assert table["length"] == [label["footprint_length"] for label in labels]
    # footprints are as high as the fitted size, the straight label's too
    assert table["height"] == table["effective_font_size"] == [8.0, 10.0, 5.0]
    assert table["weight"] == [2.0, 1.0, 3.0]
    assert table["rotation_deg"][0] == pytest.approx(30.0)


def test_placed_glyphs_keep_the_cells_placement_gave(written):
    out, view = written
    placed = view["labels"][2]
    boxes = view["boxes"]
    assert boxes["label"] == [2, 2] and boxes["char"] == [ord("o"), ord("x")]
    assert [[x, y] for x, y in zip(boxes["x"], boxes["y"])] == [c[:2] for c in placed["cells"]]
    assert boxes["length"] == [6.0, 6.0] and boxes["height"] == [5.0, 5.0]
    glyphs = view["glyphs"]
    mine = [k for k, row in enumerate(glyphs["label"]) if row == 2]
    assert [glyphs["origin"][k] for k in mine] == placed["cells"]
    # Each glyph mesh is drawn around its cell, at half the engine's size.
    gltf, blob = load(out / "instanced.glb")
    drawn = expand(gltf, blob)[2]
    assert len(drawn) == 2
    for (vertices, _), cell in zip(sorted(drawn, key=lambda d: d[0][:, 0].mean()),
                                   placed["cells"]):
        assert np.abs(vertices[:, :2].mean(axis=0) - cell[:2]).max() < 3.0
        assert np.ptp(vertices[:, 1]) < 0.6 * 10.0


def test_glyph_frames_follow_each_labels_layout(written):
    out, view = written
    glyphs, labels = view["glyphs"], view["labels"]
    rows = np.array(glyphs["label"])
    assert sorted(set(rows.tolist())) == [0, 1, 2]
    assert all(size == labels[row]["font_size"] for row, size in zip(rows, glyphs["font_size"]))
    # the straight label: its glyphs share the frame's direction, centred on the anchor
    straight = np.nonzero(rows == 0)[0]
    assert [chr(glyphs["char"][k]) for k in straight] == list("oxI")
    origins = np.array(glyphs["origin"])[straight]
    anchor = np.array(labels[0]["anchor"])
    direction = np.array([np.cos(np.radians(30.0)), np.sin(np.radians(30.0)), 0.0])
    offsets = (origins - anchor) @ direction
    half = 0.5 * np.array(glyphs["advance"])[straight]
    assert offsets[0] - half[0] == pytest.approx(-(offsets[-1] + half[-1]))
    np.testing.assert_allclose(origins, anchor + offsets[:, None] * direction, atol=1e-9)
    # the curved label: one frame per glyph of its fitted text, on its road, and
    # exactly as many glyph instances as frames with a mesh
    curved = np.nonzero(rows == 1)[0]
    assert [chr(glyphs["char"][k]) for k in curved] == list(labels[1]["effective_text"])
    gltf, blob = load(out / "instanced.glb")
    with_mesh = sum(glyphs["has_mesh"][k] for k in curved)
    assert len(expand(gltf, blob)[1]) == with_mesh == len(curved)
