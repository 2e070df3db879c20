"""The pipeline's writers run against a scripted label source and host
(tests/native/output_probe.cpp): which questions each output asks, in what
order, and what it says, and the billboard CSV's rules for the system and
the precision of what it writes."""
import csv
import os
import subprocess
from pathlib import Path

import pytest

_BIN_DIR = os.environ.get("GLYPHWAY_NATIVE_BIN")
if not _BIN_DIR or not (Path(_BIN_DIR) / "output_probe").exists():
    pytest.skip("native test programs not built (set GLYPHWAY_NATIVE_BIN)", allow_module_level=True)
PROBE = str(Path(_BIN_DIR) / "output_probe")

FINISHED = "progress [glyphway_maker] Finished! Exported to: shown.out"


def run(output, path, **keys):
    args = [PROBE, output, str(path)] + [f"{k}={v}" for k, v in keys.items()]
    return subprocess.run(args, capture_output=True, text=True, check=True).stdout.splitlines()


def rows(path):
    with open(path, encoding="utf-8-sig", newline="") as f:
        return list(csv.DictReader(f))


@pytest.mark.parametrize("output", ["obj", "glb", "csv"])
def test_nothing_prepared_writes_and_says_nothing(tmp_path, output):
    path = tmp_path / ("out." + output)
    assert run(output, path, prepared=0) == ["prepare", "done"]
    assert not path.exists()


def test_the_obj_names_its_objects_only_when_they_are_separate(tmp_path):
    for separate, names in (("1", "names"), ("0", "no_names")):
        assert run("obj", tmp_path / "a.obj", separate=separate) == [
            "prepare",
            "progress [glyphway_maker] Generating 3D Mesh and Exporting OBJ...",
            "output_path",
            "start_meshes",
            "draw_meshes obj " + names,
            "engines_drawn",
            "output_shown",
            FINISHED,
            "done",
        ]


@pytest.mark.parametrize("separate, instancing, names", [
    ("1", "1", "no_names"), ("1", "0", "names"), ("0", "0", "no_names"), ("0", "1", "no_names"),
])
def test_the_glb_names_nodes_only_in_plain_separate_meshes(tmp_path, separate, instancing,
                                                           names):
    # The working system is described after the labels are drawn, and the
    # path is asked for only then.
    assert run("glb", tmp_path / "a.glb", separate=separate, instancing=instancing) == [
        "prepare",
        "progress [glyphway_maker] Generating 3D Mesh and Exporting GLB...",
        "start_meshes",
        "draw_meshes glb " + names,
        "describe_working_crs",
        "output_path",
        "engines_drawn",
        "output_shown",
        FINISHED,
        "done",
    ]


def test_a_failed_mesh_write_still_reports_the_glyphs(tmp_path):
    lines = run("obj", tmp_path / "missing" / "a.obj")
    assert lines[-2:] == ["engines_drawn", "error FileError"]
    assert FINISHED not in lines


CALCULATING = "progress [glyphway_maker] Calculating Rotations and Projections for Billboard CSV..."
GENERATING = "progress [glyphway_maker] Generating Billboard Data and Exporting CSV..."


def test_another_target_is_set_up_before_drawing_and_applied_to_every_anchor(tmp_path):
    path = tmp_path / "a.csv"
    assert run("csv", path, target="EPSG:4326", labels=2) == [
        "prepare", CALCULATING, "target_differs_from_working", "start_reprojection",
        "is_geographic target", "posture", "draw_points", "reproject_to_target 2",
        GENERATING, "output_path", "output_shown", FINISHED, "done",
    ]
    assert [(r["x"], r["y"]) for r in rows(path)] == [("1001.500", "2.250"), ("1002.500", "2.250")]


def test_a_target_that_is_the_working_system_is_not_reprojected(tmp_path):
    lines = run("csv", tmp_path / "a.csv", target="EPSG:3857", differs=0)
    assert lines[:4] == ["prepare", CALCULATING, "target_differs_from_working",
                         "is_geographic target"]
    assert not any(line.startswith(("start_reprojection", "reproject_to_target"))
                   for line in lines)


def test_an_empty_target_keeps_the_working_system(tmp_path):
    path = tmp_path / "a.csv"
    lines = run("csv", path, target="")
    assert lines[:3] == ["prepare", CALCULATING, "is_geographic working"]
    assert "target_differs_from_working" not in lines
    assert rows(path)[0]["x"] == "1.500"


def test_degrees_get_seven_decimals_and_metres_three(tmp_path):
    run("csv", tmp_path / "deg.csv", target="", geographic=1)
    run("csv", tmp_path / "m.csv", target="", geographic=0)
    assert (rows(tmp_path / "deg.csv")[0]["x"], rows(tmp_path / "m.csv")[0]["x"]) == (
        "1.5000000", "1.500")


def test_a_precision_that_is_no_count_is_refused_only_with_rows_to_format(tmp_path):
    lines = run("csv", tmp_path / "a.csv", target="", precision=-1)
    assert lines[-2:] == ["draw_points", "error UnusableAnglePrecision"]
    assert not (tmp_path / "a.csv").exists()
    # No visible label: the header alone, whatever the precision.
    lines = run("csv", tmp_path / "b.csv", target="", precision=-1, labels=0)
    assert lines[-1] == "done"
    assert rows(tmp_path / "b.csv") == []
