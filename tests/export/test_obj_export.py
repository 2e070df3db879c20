"""export_obj: visible labels as extruded 3D text in one OBJ file."""
import re

import numpy as np
import pytest
from shapely.geometry import LineString

import glyphway_accel_avx2 as gw
from writer_reference import reference_obj

HEADER = "# 3D Tessara Engine Export\n"


def _export(engine, path):
    engine.export_obj(str(path))
    return path.read_text(encoding="utf-8")


def _vertices(text):
    return np.array([[float(c) for c in line.split()[1:]] for line in text.splitlines()
                     if line.startswith("v ")])


def _faces(text):
    return [[int(c) for c in line.split()[1:]] for line in text.splitlines() if line.startswith("f ")]


@pytest.fixture
def east_line():
    return LineString([(0.0, 0.0), (100.0, 0.0)])


def _glyph(engine, char, fs=None, ls=None):
    fs = engine.font_size if fs is None else fs
    ls = engine.letter_spacing if ls is None else ls
    return engine.get_mesh_engine(fs, ls).generate_glyph_meshes(char)[0]


def test_without_separate_objects_only_header_vertices_and_faces(make_engine, prepared, resolved,
                                                                 east_line, tmp_path):
    eng = make_engine(separate_objects=False, curved_text=False)
    prepared(eng, [resolved(eng, "中", east_line), resolved(eng, "o", east_line, 20.0)])
    text = _export(eng, tmp_path / "o.obj")
    assert text.startswith(HEADER)
    assert all(line[:2] in ("v ", "f ") for line in text.splitlines()[1:])


def test_separate_objects_start_with_blank_line_and_name_with_list_index(make_engine, prepared, resolved,
                                                                         east_line, tmp_path):
    eng = make_engine(separate_objects=True, curved_text=False)
    labels = [resolved(eng, "中", east_line), resolved(eng, "x", east_line, hidden=True),
              resolved(eng, "o", east_line, 20.0)]
    prepared(eng, labels)
    text = _export(eng, tmp_path / "o.obj")
    assert text.startswith(HEADER + "\no 中_0\nv ")
    assert "\no o_2\nv " in text and "x_1" not in text
    assert [line for line in text.splitlines() if line.startswith("o ")] == ["o 中_0", "o o_2"]


def test_line_breaks_in_object_names_become_spaces(make_engine, prepared, resolved, east_line, tmp_path):
    eng = make_engine(curved_text=False)
    prepared(eng, [resolved(eng, "中\r\n一\no", east_line)])
    text = _export(eng, tmp_path / "o.obj")
    assert text.startswith(HEADER + "\no 中  一 o_0\nv ")
    assert all(line[:2] in ("v ", "f ", "o ") or line == "" for line in text.splitlines()[1:])


@pytest.mark.parametrize("breaker", ["\v", "\f", "\x85", "\u2028", "\u2029", "\x1c", "\x1d",
                                     "\x1e", "\x00", "\t", "\x1b", "\x7f", "\x9f"])
def test_control_characters_in_object_names_become_spaces(make_engine, prepared, resolved,
                                                          east_line, tmp_path, breaker):
    eng = make_engine(curved_text=False)
    prepared(eng, [resolved(eng, "中" + breaker + "o", east_line)])
    text = _export(eng, tmp_path / "o.obj")
    assert text.startswith(HEADER + "\no 中 o_0\nv ")
    # str.splitlines() breaks on every one of them, as line-oriented readers do.
    assert all(line[:2] in ("v ", "f ", "o ") or line == "" for line in text.splitlines()[1:])


def test_other_characters_in_object_names_are_kept(make_engine, prepared, resolved, east_line,
                                                   tmp_path):
    eng = make_engine(curved_text=False)
    name = "中\u00a0\u2027\u202a\u00e9o"  # near the replaced ranges, but no line breaks
    prepared(eng, [resolved(eng, name, east_line)])
    assert _export(eng, tmp_path / "o.obj").startswith(HEADER + "\no " + name + "_0\nv ")


def test_second_mesh_faces_start_after_first_mesh_vertices(make_engine, prepared, resolved, east_line,
                                                           tmp_path):
    eng = make_engine(curved_text=False, separate_objects=False)
    prepared(eng, [resolved(eng, "中", east_line), resolved(eng, "o", east_line, 20.0)])
    text = _export(eng, tmp_path / "o.obj")
    first, _ = eng.mesh_engine.generate_mesh("中")
    second, second_faces = eng.mesh_engine.generate_mesh("o")
    faces = _faces(text)
    assert len(_vertices(text)) == len(first) + len(second)
    tail = faces[-len(second_faces):]
    assert min(min(f) for f in tail) == 1 + len(first)
    assert min(min(f) for f in faces) == 1
    assert max(max(f) for f in faces) == len(first) + len(second)


def test_straight_text_is_centred_on_the_anchor(make_engine, prepared, resolved, east_line, tmp_path):
    eng = make_engine(curved_text=False, separate_objects=False)
    prepared(eng, [resolved(eng, "oxI", east_line, 40.0)])
    v = _vertices(_export(eng, tmp_path / "o.obj"))
    assert (v[:, 0].min() + v[:, 0].max()) / 2 == pytest.approx(40.0, abs=1e-3)
    raw, _ = eng.mesh_engine.generate_mesh("oxI")
    assert v[:, 1].min() == pytest.approx(raw[:, 1].min() - eng.font_size / 2, abs=1e-3)


def test_coordinates_have_four_decimals(make_engine, prepared, resolved, east_line, tmp_path):
    eng = make_engine(curved_text=False, separate_objects=False)
    label = resolved(eng, "I", east_line)
    raw, _ = eng.mesh_engine.generate_mesh("I")
    centred_x0 = raw[0, 0] - (raw[:, 0].min() + raw[:, 0].max()) / 2.0
    matrix = np.eye(4)
    matrix[0, 3] = -1.23456 - centred_x0  # lands the first vertex at x = -1.23456
    label["matrix"] = matrix
    prepared(eng, [label])
    text = _export(eng, tmp_path / "o.obj")
    lines = [line for line in text.splitlines() if line.startswith("v ")]
    assert all(re.fullmatch(r"v -?\d+\.\d{4} -?\d+\.\d{4} -?\d+\.\d{4}", line) for line in lines)
    assert lines[0].split()[1] == "-1.2346"
    assert any(line.split()[3] == "0.0000" for line in lines)


def test_empty_straight_mesh_writes_nothing_and_keeps_offset(make_engine, prepared, resolved, east_line,
                                                            tmp_path):
    eng = make_engine(curved_text=False)
    prepared(eng, [resolved(eng, "e ", east_line), resolved(eng, "I", east_line)])
    text = _export(eng, tmp_path / "o.obj")
    assert text.startswith(HEADER + "\no e _0\n\no I_1\nv ")
    assert min(min(f) for f in _faces(text)) == 1


def _glyph_centres(text, counts):
    v = _vertices(text)
    centres, at = [], 0
    for n in counts:
        block = v[at:at + n]
        centres.append(((block[:, 0].min() + block[:, 0].max()) / 2, block))
        at += n
    assert at == len(v)
    return centres


def test_curved_glyphs_follow_the_line(make_engine, prepared, resolved, east_line, tmp_path):
    eng = make_engine(separate_objects=False)
    prepared(eng, [resolved(eng, "中一", east_line, 50.0)])
    text = _export(eng, tmp_path / "o.obj")
    g0, g1 = _glyph(eng, "中"), _glyph(eng, "一")
    total = g0["advance"] + g1["advance"]
    (c0, _), (c1, _) = _glyph_centres(text, [len(g0["verts"]), len(g1["verts"])])
    assert c0 == pytest.approx(50.0 - total / 2 + g0["advance"] / 2, abs=1e-3)
    assert c1 == pytest.approx(50.0 - total / 2 + g0["advance"] + g1["advance"] / 2, abs=1e-3)


def test_curved_label_longer_than_its_line_is_shifted_back(make_engine, prepared, resolved, tmp_path):
    eng = make_engine(separate_objects=False)
    g = _glyph(eng, "I")
    line = LineString([(0.0, 0.0), (2.5 * g["advance"], 0.0)])
    prepared(eng, [resolved(eng, "III", line, line.length * 0.9)])
    text = _export(eng, tmp_path / "o.obj")
    centres = [c for c, _ in _glyph_centres(text, [len(g["verts"])] * 3)]
    # Clamped to start at 0: glyph centres at 0.5, 1.5 and (past the end) the line's end.
    assert centres == pytest.approx([0.5 * g["advance"], 1.5 * g["advance"], line.length], abs=1e-3)


def test_curved_label_past_the_end_ends_at_the_line_end(make_engine, prepared, resolved, east_line,
                                                       tmp_path):
    eng = make_engine(separate_objects=False)
    g = _glyph(eng, "I")
    prepared(eng, [resolved(eng, "II", east_line, 99.0)])
    centres = [c for c, _ in _glyph_centres(_export(eng, tmp_path / "o.obj"), [len(g["verts"])] * 2)]
    assert centres == pytest.approx([100.0 - 1.5 * g["advance"], 100.0 - 0.5 * g["advance"]], abs=1e-3)


@pytest.mark.parametrize("posture", ["flat", "upright"])
def test_leftward_line_flips_glyphs_and_starts_at_the_far_end(make_engine, prepared, resolved, tmp_path,
                                                              posture):
    eng = make_engine(separate_objects=False, posture=posture)
    west = LineString([(100.0, 0.0), (0.0, 0.0)])
    prepared(eng, [resolved(eng, "中一", west, 50.0)])
    text = _export(eng, tmp_path / "o.obj")
    g0, g1 = _glyph(eng, "中"), _glyph(eng, "一")
    (c0, b0), (c1, b1) = _glyph_centres(text, [len(g0["verts"]), len(g1["verts"])])
    # The first glyph sits at the far end of the span along the line, which
    # is the left in x: the text reads left to right.
    assert c0 < c1
    # Turned around: the glyph's local axes map onto +x and the readable side.
    local = g0["verts"]
    if posture == "flat":
        assert np.allclose(b0[:, 0] - c0, local[:, 0], atol=1e-3)
        assert np.allclose(b0[:, 1], local[:, 1], atol=1e-3)
    else:
        assert np.allclose(b0[:, 0] - c0, local[:, 0], atol=1e-3)
        assert np.allclose(b0[:, 2], local[:, 1], atol=1e-3)


def test_spaces_advance_the_cursor_but_write_nothing(make_engine, prepared, resolved, east_line, tmp_path):
    eng = make_engine(separate_objects=False)
    g = _glyph(eng, "I")
    space = eng.font_size * 0.5 + eng.letter_spacing
    prepared(eng, [resolved(eng, "I I", east_line, 50.0)])
    text = _export(eng, tmp_path / "o.obj")
    (c0, _), (c1, _) = _glyph_centres(text, [len(g["verts"])] * 2)
    assert c1 - c0 == pytest.approx(g["advance"] + space, abs=1e-3)


def test_curved_text_uses_fitted_text_and_sizes(make_engine, prepared, resolved, east_line, tmp_path):
    eng = make_engine(separate_objects=False)
    label = resolved(eng, "中一中", east_line, 50.0, effective_text="中一", effective_font_size=7.0,
                     effective_letter_spacing=0.5)
    prepared(eng, [label])
    text = _export(eng, tmp_path / "o.obj")
    assert (7.0, 0.5) in eng._mesh_engine_cache
    g0, g1 = _glyph(eng, "中", 7.0, 0.5), _glyph(eng, "一", 7.0, 0.5)
    assert len(_vertices(text)) == len(g0["verts"]) + len(g1["verts"])


def test_dirty_matrix_is_refreshed_and_stored(make_engine, prepared, resolved, east_line, tmp_path):
    eng = make_engine(curved_text=False, separate_objects=False)
    label = resolved(eng, "I", east_line, 50.0)
    label.update(distance=20.0, matrix_dirty=True)
    prepared(eng, [label])
    v = _vertices(_export(eng, tmp_path / "o.obj"))
    assert (v[:, 0].min() + v[:, 0].max()) / 2 == pytest.approx(20.0, abs=1e-3)
    assert np.array_equal(label["matrix"], eng.build_tbn_matrix(east_line, 20.0))
    assert label["matrix_dirty"] is True


def test_progress_lines(make_engine, prepared, resolved, east_line, tmp_path, capsys):
    eng = make_engine()
    prepared(eng, [resolved(eng, "中", east_line)])
    path = tmp_path / "o.obj"
    eng.export_obj(path)
    assert capsys.readouterr().out.splitlines() == [
        "[glyphway_maker] Generating 3D Mesh and Exporting OBJ...",
        f"[glyphway_maker] Finished! Exported to: {path}",
    ]


@pytest.mark.parametrize("labels", [[], None])
def test_no_labels_writes_nothing(make_engine, prepared, tmp_path, capsys, labels):
    eng = make_engine()
    prepared(eng, labels)
    eng.export_obj(str(tmp_path / "o.obj"))
    assert not (tmp_path / "o.obj").exists()
    assert capsys.readouterr().out == ""


def test_error_mid_way_leaves_existing_file_untouched(make_engine, prepared, resolved, east_line, tmp_path):
    eng = make_engine(curved_text=False)
    path = tmp_path / "o.obj"
    path.write_text("previous")
    broken = resolved(eng, "o", east_line)
    del broken["line"]
    broken["matrix_dirty"] = True
    prepared(eng, [resolved(eng, "中", east_line), broken])
    with pytest.raises(KeyError, match="line"):
        eng.export_obj(str(path))
    assert path.read_text() == "previous"
    assert [p.name for p in tmp_path.iterdir()] == ["o.obj"]


def test_failure_while_writing_removes_the_temporary(make_engine, prepared, resolved, east_line, tmp_path):
    eng = make_engine(separate_objects=False)
    bad_font = tmp_path / "broken.ttf"
    bad_font.write_bytes(b"not a font")
    broken_engine = gw._TextMeshEngine(str(bad_font), 9.0, 2.0, 0.0)
    eng._mesh_engine_cache[(9.0, 0.0)] = broken_engine
    out = tmp_path / "out"
    out.mkdir()
    path = out / "o.obj"
    path.write_text("previous")
    prepared(eng, [resolved(eng, "中" * 400, LineString([(0, 0), (1e5, 0)])),
                   resolved(eng, "中", east_line, effective_font_size=9.0)])
    with pytest.raises(RuntimeError, match="broken.ttf"):
        eng.export_obj(str(path))
    assert path.read_text() == "previous"
    assert [p.name for p in out.iterdir()] == ["o.obj"]


def test_target_that_is_a_folder_raises(make_engine, prepared, resolved, east_line, tmp_path):
    eng = make_engine()
    prepared(eng, [resolved(eng, "中", east_line)])
    with pytest.raises(IsADirectoryError):
        eng.export_obj(str(tmp_path))
    assert list(tmp_path.iterdir()) == []


def test_symlinked_target_is_written_through_the_link(make_engine, prepared, resolved, east_line,
                                                      tmp_path):
    eng = make_engine()
    prepared(eng, [resolved(eng, "中", east_line)])
    real = tmp_path / "real.obj"
    real.write_text("previous")
    link = tmp_path / "link.obj"
    link.symlink_to(real)
    eng.export_obj(str(link))
    assert link.is_symlink() and real.read_text().startswith(HEADER)


@pytest.mark.parametrize("curved", [False, True])
@pytest.mark.parametrize("posture", ["flat", "upright"])
@pytest.mark.parametrize("separate", [True, False])
def test_bytes_match_host_reference(make_engine, prepared, random_labels, tmp_path, curved, posture,
                                    separate):
    eng = make_engine(curved_text=curved, posture=posture, separate_objects=separate, letter_spacing=0.5)
    labels = random_labels(eng, n=10, seed=3)
    labels[2]["hidden"] = True
    labels[4].update(matrix_dirty=True, distance=labels[4]["line_len"] * 0.8)
    labels.append(dict(labels[0], line=LineString([(440300.0, 4400000.0), (440000.0, 4400010.0)]),
                       distance=150.0, line_len=300.1666, matrix_dirty=True))
    ref_labels = [dict(label) for label in labels]
    want = reference_obj(eng, ref_labels)
    prepared(eng, labels)
    path = tmp_path / "o.obj"
    eng.export_obj(str(path))
    assert path.read_bytes() == want


def test_writers_close_the_method_table():
    names = [n for n in vars(gw._RoadTessaraEngine) if callable(getattr(gw._RoadTessaraEngine, n))]
    assert names[-3:] == ["export_obj", "export_csv", "export_glb"]
