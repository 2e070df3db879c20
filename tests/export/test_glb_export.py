"""The GLB writer: a valid glTF 2.0 binary whose glyph instances, expanded,
are the OBJ of the same run label by label."""
import os
import shutil
import struct
import subprocess
import sys

import numpy as np
import pytest
from shapely.geometry import LineString

import glyphway_maker
from glyphway_maker import cli
from road_tables import write_roads  # noqa: E402
from glb_reading import (accessor_array, expand, farthest_gap, label_table, load,  # noqa: E402
                         obj_labels)


@pytest.fixture(scope="module")
def roads(tmp_path_factory):
    """Straight, bent and leftward roads, and short ones auto-fit must shrink names on."""
    lines = [
        LineString([(0, 0), (900, 0)]),
        LineString([(900, 120), (450, 160), (0, 120)]),            # drawn leftwards
        LineString([(100, 400), (300, 420), (420, 520), (440, 700)]),
        LineString([(0, 900), (70, 905)]),                          # shrinks the name
        LineString([(300, 900), (345, 880)]),                       # shrinks it further
        LineString([(600, 600), (600, 800)]),                       # north-south
        LineString([(700, 950), (722, 952)]),                       # truncates it
    ]
    names = ["中一 oxe", "中一中一", "ice 中", "中一中一中一", "一中一中一中", "Ixo", "中一中一中一中"]
    return write_roads(tmp_path_factory.mktemp("glb") / "roads.shp", lines, name=names,
                       weight=[1, 2, 3, 1, 1, 4, 1])


CASES = {
    "curved": {},
    "curved-upright": {"posture": "upright"},
    "straight": {"curved_text": False},
    "straight-upright": {"curved_text": False, "posture": "upright"},
    "spaced-deep": {"letter_spacing": 1.5, "extrusion_depth": 5.0, "font_size": 12.0},
    "flat-faces": {"extrusion_depth": 0.0},
}
RUN = {"text_count": 1, "density": "very_dense"}


def _run(roads, tmp_path, ttf_font, options, instancing=True):
    obj = tmp_path / "labels.obj"
    glb = tmp_path / "labels.glb"
    glyphway_maker.generate(roads, str(obj), font_path=ttf_font, **RUN, **options)
    glyphway_maker.generate_glb(roads, str(glb), font_path=ttf_font, instancing=instancing,
                                **RUN, **options)
    return obj, glb


def _assert_same_picture(obj, glb, font_size):
    gltf, blob = load(glb)
    table = label_table(gltf, blob)
    expanded = expand(gltf, blob)
    want = obj_labels(obj)
    assert sorted(int(i) for i in table["id"]) == sorted(want)
    for row, index in enumerate(table["id"]):
        vertices, faces = want[int(index)]
        pieces = expanded.get(row, [])
        got = np.concatenate([p for p, _ in pieces]) if pieces else np.zeros((0, 3))
        assert len(got) == len(vertices), index
        assert sum(n for _, n in pieces) == faces, index
        assert farthest_gap(got, vertices) <= 1e-3 * font_size, index


@pytest.mark.parametrize("case", sorted(CASES))
def test_expanded_instances_are_the_obj_label_by_label(roads, tmp_path, ttf_font, case):
    obj, glb = _run(roads, tmp_path, ttf_font, CASES[case])
    _assert_same_picture(obj, glb, CASES[case].get("font_size", 15.0))


@pytest.mark.parametrize("case", ["curved", "straight-upright"])
def test_plain_meshes_are_the_obj_label_by_label(roads, tmp_path, ttf_font, case):
    obj, glb = _run(roads, tmp_path, ttf_font, CASES[case], instancing=False)
    gltf, _ = load(glb)
    assert "EXT_mesh_gpu_instancing" not in gltf.extensionsUsed
    assert not gltf.extensionsRequired
    _assert_same_picture(obj, glb, 15.0)


def test_without_separate_objects_plain_meshes_are_one(roads, tmp_path, ttf_font):
    glb = tmp_path / "one.glb"
    glyphway_maker.generate_glb(roads, str(glb), font_path=ttf_font, instancing=False,
                                separate_objects=False, **RUN)
    gltf, _ = load(glb)
    assert len(gltf.meshes) == 1 and len(gltf.nodes) == 2


def test_auto_fit_sizes_get_meshes_of_their_own(roads, tmp_path, ttf_font):
    _, glb = _run(roads, tmp_path, ttf_font, {})
    gltf, blob = load(glb)
    sizes = set()
    by_name = {}
    for node in gltf.nodes[1:]:
        scale = accessor_array(gltf, blob,
                               node.extensions["EXT_mesh_gpu_instancing"]["attributes"]["SCALE"])
        # One mesh is drawn at the one size it was built at.
        assert len({tuple(s) for s in scale}) == 1
        sizes.add(float(scale[0][0]))
        by_name.setdefault(node.name, set()).add(float(scale[0][0]))
    table = label_table(gltf, blob)
    assert len(sizes) >= 3 and min(sizes) < 15.0
    assert set(np.round(table["font_size"], 4)) == set(np.round(sorted(sizes), 4))
    assert any(len(s) > 1 for s in by_name.values())  # one character at several sizes


@pytest.mark.parametrize("case", ["curved", "straight"])
def test_the_file_is_valid_gltf(roads, tmp_path, ttf_font, case):
    _, glb = _run(roads, tmp_path, ttf_font, CASES[case])
    data = glb.read_bytes()
    magic, version, length = struct.unpack_from("<4sII", data)
    assert (magic, version, length) == (b"glTF", 2, len(data))
    json_length, json_type = struct.unpack_from("<II", data, 12)
    assert json_type == 0x4E4F534A and json_length % 4 == 0
    bin_length, bin_type = struct.unpack_from("<II", data, 20 + json_length)
    assert bin_type == 0x004E4942 and bin_length % 4 == 0
    assert 28 + json_length + bin_length == len(data)

    gltf, blob = load(glb)
    assert gltf.asset.version == "2.0"
    assert gltf.extensionsUsed == ["EXT_mesh_gpu_instancing", "EXT_instance_features",
                                   "EXT_structural_metadata"]
    assert gltf.extensionsRequired == ["EXT_mesh_gpu_instancing"]
    assert gltf.buffers[0].byteLength == len(blob) and gltf.buffers[0].uri is None
    sizes = {5121: 1, 5123: 2, 5125: 4, 5126: 4}
    for view in gltf.bufferViews:
        assert view.byteLength >= 1
        assert (view.byteOffset or 0) % 8 == 0
        assert (view.byteOffset or 0) + view.byteLength <= len(blob)
    users = {}
    for a in gltf.accessors:
        users[a.bufferView] = users.get(a.bufferView, 0) + 1
        view = gltf.bufferViews[a.bufferView]
        element = sizes[a.componentType] * {"SCALAR": 1, "VEC3": 3, "VEC4": 4}[a.type]
        stride = view.byteStride or element
        assert (a.byteOffset or 0) % sizes[a.componentType] == 0
        assert (a.byteOffset or 0) + stride * (a.count - 1) + element <= view.byteLength
        assert a.count > 0
    for index, count in users.items():
        view = gltf.bufferViews[index]
        if view.target == 34963:
            assert view.byteStride is None
        elif count > 1:
            assert view.byteStride is not None and view.byteStride % 4 == 0
    for mesh in gltf.meshes:
        primitive = mesh.primitives[0]
        p = accessor_array(gltf, blob, primitive.attributes.POSITION)
        a = gltf.accessors[primitive.attributes.POSITION]
        assert a.min == p.min(axis=0).tolist() and a.max == p.max(axis=0).tolist()
        indices = accessor_array(gltf, blob, primitive.indices)
        assert len(indices) % 3 == 0 and indices.max() < len(p)
    for node in gltf.nodes[1:]:
        attrs = node.extensions["EXT_mesh_gpu_instancing"]["attributes"]
        counts = {gltf.accessors[i].count for i in attrs.values()}
        assert len(counts) == 1
        q = accessor_array(gltf, blob, attrs["ROTATION"]).astype(np.float64)
        assert np.allclose(np.linalg.norm(q, axis=1), 1.0, atol=1e-6)
        features = node.extensions["EXT_instance_features"]["featureIds"][0]
        assert features["propertyTable"] == 0 and features["attribute"] == 0
        f = accessor_array(gltf, blob, attrs["_FEATURE_ID_0"])
        assert f.min() >= 0 and f.max() < features["featureCount"]


def test_origin_and_crs_bring_the_file_back_to_the_working_system(roads, tmp_path, ttf_font):
    _, glb = _run(roads, tmp_path, ttf_font, {})
    gltf, blob = load(glb)
    root = gltf.nodes[0]
    east, north, up = root.extras["origin"]
    assert root.translation == [east, up, -north]
    assert root.extras["crs"]["epsg"] == 3857 and "PROJCRS" in root.extras["crs"]["wkt"]
    assert root.extras["crs"]["unit"] == "metre"
    table = label_table(gltf, blob)
    anchors = table["anchor"]
    assert abs(east - (anchors[:, 0].min() + anchors[:, 0].max()) / 2) <= 0.5


def test_working_system_in_utm(tmp_path, ttf_font):
    lon_lat = [LineString([(114.05, 22.54), (114.06, 22.541)])]
    shp = write_roads(tmp_path / "geo.shp", lon_lat, crs="EPSG:4326", name=["中一中"])
    glb = tmp_path / "geo.glb"
    glyphway_maker.generate_glb(shp, str(glb), use_utm=True, text_count=1, font_path=ttf_font)
    gltf, _ = load(glb)
    extras = gltf.nodes[0].extras
    assert extras["crs"]["epsg"] == 32650
    assert 2.4e6 < extras["origin"][1] < 2.6e6


def test_label_table(roads, tmp_path, ttf_font):
    _, glb = _run(roads, tmp_path, ttf_font, {})
    gltf, blob = load(glb)
    frame = glyphway_maker.place_labels(roads, font_path=ttf_font, **RUN)
    table = label_table(gltf, blob)
    assert sorted(table["text"]) == sorted(frame["text"])
    assert sorted(table["effective_text"]) == sorted(frame["effective_text"])
    assert sorted(table["group_id"]) == sorted(frame["group_id"])
    assert sorted(table["weight"]) == sorted(frame["weight"].astype(float))
    assert any(t != e for t, e in zip(table["text"], table["effective_text"]))  # truncated
    classes = gltf.extensions["EXT_structural_metadata"]["schema"]["classes"]
    assert set(classes["label"]["properties"]) == set(table)


def test_same_input_same_bytes_at_any_thread_count(roads, tmp_path, ttf_font):
    first = tmp_path / "a.glb"
    glyphway_maker.generate_glb(roads, str(first), font_path=ttf_font, **RUN)
    env = dict(os.environ, OMP_NUM_THREADS="1")
    script = ("import glyphway_maker, sys; glyphway_maker.generate_glb(sys.argv[1], sys.argv[2], "
              "font_path=sys.argv[3], **%r)" % RUN)
    subprocess.run([sys.executable, "-c", script, roads, str(tmp_path / "b.glb"), ttf_font],
                   check=True, env=env, capture_output=True)
    assert first.read_bytes() == (tmp_path / "b.glb").read_bytes()


def test_nothing_placed_writes_nothing(tmp_path, ttf_font):
    shp = write_roads(tmp_path / "r.shp", [LineString([(0, 0), (900, 0)])], road=["x"])
    glb = tmp_path / "none.glb"
    glyphway_maker.generate_glb(shp, str(glb), font_path=ttf_font)
    assert not glb.exists()


def test_a_failed_run_leaves_the_old_file(roads, tmp_path, ttf_font):
    glb = tmp_path / "kept.glb"
    glb.write_bytes(b"old")
    with pytest.raises(Exception):
        glyphway_maker.generate_glb(roads, str(glb), font_path=str(tmp_path / "no-font.ttf"),
                                    **RUN)
    assert glb.read_bytes() == b"old"
    assert os.listdir(tmp_path) == ["kept.glb"]


def test_command_line(roads, tmp_path, ttf_font, capsys):
    out = tmp_path / "cli.glb"
    assert cli.main(["glb", roads, str(out), "--font", ttf_font, "--text-count", "1",
                     "--no-instancing"]) == 0
    gltf, _ = load(out)
    assert "EXT_mesh_gpu_instancing" not in gltf.extensionsUsed
    assert "wrote" in capsys.readouterr().err


def test_the_keyword_only_switch(roads, tmp_path):
    with pytest.raises(TypeError):
        glyphway_maker.generate_glb(roads, str(tmp_path / "x.glb"), *([None] * 21), True)


def _gltfpack(source, target):
    return subprocess.run(["gltfpack", "-i", str(source), "-o", str(target)],
                          capture_output=True, text=True)


# gltfpack 0.18 (Debian 12) reads no instanced input: its glTF reader still
# wants the bufferView member early drafts of EXT_mesh_gpu_instancing had,
# and refuses instancing after that. Later versions read it.
_GLTFPACK_WITHOUT_INSTANCING = ("0.18",)


def _gltfpack_version():
    banner = subprocess.run(["gltfpack"], capture_output=True, text=True)
    words = (banner.stdout + banner.stderr).split()
    return words[1] if len(words) > 1 and words[0] == "gltfpack" else ""


@pytest.mark.skipif(shutil.which("gltfpack") is None, reason="gltfpack is not installed")
@pytest.mark.parametrize("instancing", [False, True])
def test_gltfpack_reads_the_file(roads, tmp_path, ttf_font, instancing):
    _, glb = _run(roads, tmp_path, ttf_font, {}, instancing=instancing)
    result = _gltfpack(glb, tmp_path / "packed.glb")
    if instancing and result.returncode != 0 and _gltfpack_version() in _GLTFPACK_WITHOUT_INSTANCING:
        pytest.skip(f"gltfpack {_gltfpack_version()} reads no instanced file: {result.stderr.strip()}")
    assert result.returncode == 0, result.stderr
    assert (tmp_path / "packed.glb").stat().st_size > 0


def test_an_interrupted_write_leaves_no_file(tmp_path, ttf_font, capsys):
    import glyphway_accel_avx2 as gw
    lines = [LineString([(0.0, 40.0 * i), (3000.0, 40.0 * i + 5.0)]) for i in range(400)]
    shp = write_roads(tmp_path / "many.shp", lines, name=["中一中一中"] * len(lines))
    engine = gw._new_engine({"shp_path": shp, "distance_interval": 100.0}, ttf_font)
    prepared = engine._prepare_data()
    assert len(prepared[0]) < 4096  # no check while the records are read: the writer's own
    engine._prepare_data = lambda: prepared
    out = tmp_path / "labels.glb"

    def interrupt():
        raise KeyboardInterrupt

    gw._set_progress_hook(interrupt)
    try:
        with pytest.raises(KeyboardInterrupt):
            engine.export_glb(str(out))
    finally:
        gw._set_progress_hook(None)
    assert "Exporting GLB" in capsys.readouterr().out
    assert sorted(p.name for p in tmp_path.iterdir() if not p.name.startswith("many.")) == []


@pytest.mark.parametrize("options", [{}, {"curved_text": False, "posture": "upright"}])
def test_record_dicts_and_native_records_give_the_same_file(roads, tmp_path, ttf_font, options):
    import glyphway_accel_avx2 as gw
    keywords = {"shp_path": roads, **RUN, **options}
    native = gw._new_engine(keywords, ttf_font)
    native.export_glb(str(tmp_path / "native.glb"))
    through_dicts = gw._new_engine(keywords, ttf_font)
    prepared = through_dicts._prepare_data()
    through_dicts._prepare_data = lambda: prepared
    through_dicts.export_glb(str(tmp_path / "dicts.glb"))
    assert (tmp_path / "native.glb").read_bytes() == (tmp_path / "dicts.glb").read_bytes()


def test_names_needing_escapes_survive_the_json(tmp_path, ttf_font):
    name = 'o"x\\e\x01中\u2028一'
    shp = write_roads(tmp_path / "odd.shp", [LineString([(0, 0), (900, 0)])], name=[name])
    glb = tmp_path / "odd.glb"
    glyphway_maker.generate_glb(shp, str(glb), font_path=ttf_font, instancing=False, **RUN)
    data = glb.read_bytes()
    (length,) = struct.unpack_from("<I", data, 12)
    import json
    document = json.loads(data[20:20 + length].decode("utf-8"))  # strict JSON
    gltf, blob = load(glb)
    # The control character never reaches a label (the writer's escapes of
    # control characters are held by test_glb_core).
    assert label_table(gltf, blob)["text"] == [name.replace("\x01", "")]
    assert document["nodes"][1]["name"] == 'o"x\\e中 一_0'


def test_a_column_of_empty_strings_still_has_a_view(tmp_path, ttf_font):
    # Straight text has no groups: every group_id is empty.
    shp = write_roads(tmp_path / "blank.shp", [LineString([(0, 0), (900, 0)])], name=["中 x"])
    glb = tmp_path / "blank.glb"
    glyphway_maker.generate_glb(shp, str(glb), font_path=ttf_font, curved_text=False, **RUN)
    gltf, blob = load(glb)
    assert all(view.byteLength >= 1 for view in gltf.bufferViews)
    assert label_table(gltf, blob)["group_id"] == [""]
