"""The type stubs of glyphway_accel_avx2: they agree with the built module
(mypy.stubtest) and type-check typical use, rejecting wrong calls.

Works against the installed package (the stubs come with it) and against a
development build on PYTHONPATH (the stubs are rendered from the source tree's
template and option table, as the build renders them)."""
import importlib.util
import os
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

pytest.importorskip("mypy", reason="mypy is not installed (pip install mypy, or the 'test' extra)")

REPO = Path(__file__).resolve().parents[2]
STUB_RENDERER = REPO / "tools" / "render_stubs.py"
STUB_INPUTS = [REPO / "src" / "pipeline" / "options.def",
               REPO / "python" / "glyphway_accel_avx2.pyi.in"]
ALLOWLIST = Path(__file__).resolve().parent / "typing_stubs_allowlist.txt"


def _mypy_env(scratch):
    """Environment for mypy: MYPYPATH points at stubs rendered from the
    source tree into `scratch` unless the module in use is an installed one
    that carries its own."""
    found = importlib.util.find_spec("glyphway_accel_avx2")
    assert found is not None and found.origin, "glyphway_accel_avx2 is not importable"
    module_dir = Path(found.origin).parent
    package = importlib.util.find_spec("glyphway_maker")
    assert package is not None and package.origin, "glyphway_maker is not importable"
    env = dict(os.environ)
    # mypy runs in another folder: the modules this test process sees come
    # first on its path, whatever relative entries PYTHONPATH holds.
    paths = [str(module_dir), str(Path(package.origin).parent.parent)]
    env["PYTHONPATH"] = os.pathsep.join(paths + [p for p in [env.get("PYTHONPATH")] if p])
    env.pop("MYPYPATH", None)
    if not (module_dir / "glyphway_accel_avx2-stubs" / "__init__.pyi").is_file():
        stubs = scratch / "stubs"
        subprocess.run([sys.executable, str(STUB_RENDERER), *map(str, STUB_INPUTS),
                        str(stubs / "glyphway_accel_avx2.pyi")], check=True)
        env["MYPYPATH"] = str(stubs)
    return env


def _run(args, cwd):
    # Run from a scratch folder so mypy's cache lands there, not in the tree.
    return subprocess.run([sys.executable, *args], cwd=cwd, env=_mypy_env(cwd),
                          capture_output=True, text=True)


def test_installed_package_carries_stubs():
    found = importlib.util.find_spec("glyphway_accel_avx2")
    module_dir = Path(found.origin).parent
    if module_dir.resolve() == (REPO / "build").resolve() or REPO / "build" in module_dir.parents:
        pytest.skip("glyphway_accel_avx2 comes from a development build, not an installed package")
    assert (module_dir / "glyphway_accel_avx2.pyi").is_file()
    assert (module_dir / "glyphway_accel_avx2-stubs" / "__init__.pyi").is_file()
    package = importlib.util.find_spec("glyphway_maker")
    assert (Path(package.origin).parent / "py.typed").is_file()


def test_stubs_match_the_module(tmp_path):
    result = _run(["-m", "mypy.stubtest", "glyphway_accel_avx2",
                   "--allowlist", str(ALLOWLIST)], tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr


# Lines that must be rejected carry "type: ignore[code]": with
# --warn-unused-ignores an ignore that is not needed is itself an error, so a
# stub that stopped catching the mistake fails the check.
USAGE = textwrap.dedent('''
    import os
    from pathlib import Path
    from typing import Any

    import numpy as np
    from numpy.typing import NDArray

    import glyphway_accel_avx2 as gw
    import glyphway_maker
    from glyphway_maker import generate, generate_csv


    def entry_points(shp: str, out: str) -> None:
        gw.generate(shp, out, density="dense", connect_eps=2, text_count=3.7,
                    max_global_iterations=np.int64(4), font_size=np.float32(12.0),
                    font_path=Path("font.otf"))
        gw.generate_csv(shp, out, "EPSG:4326", angle_precision=4.0, use_utm=True)
        generate(shp, out, separate_objects=False)
        generate_csv(shp, out, letter_spacing=1)
        glyphway_maker.generate(shp, out)
        gw.generate(Path(shp), out)  # type: ignore[arg-type]
        gw.generate(shp, out, name_field=None)  # type: ignore[arg-type]
        gw.generate(shp, out, colour="red")  # type: ignore[call-arg]
        gw.generate_csv(shp, out, extrusion_depth=1.0)  # type: ignore[call-arg]
        gw.generate(shp, out, False, font_path="f.ttf")  # type: ignore[arg-type]
        gw.generate(shp)  # type: ignore[call-arg]


    def engine_stages(shp: str, font: str) -> None:
        engine: gw._RoadTessaraEngine = gw._new_engine({"shp_path": shp}, font)
        engine = gw._RoadTessaraEngine(shp, font_size=12.0, density="sparse")
        labels, working_crs = engine._prepare_data()
        crs: str | None = working_crs
        first: dict[str, Any] = labels[0]
        profile = engine._density_profile(engine.font_size)
        iterations: int = profile["iterations"]
        spacing: float = profile["global_min_sep"]
        frame: NDArray[np.float64] = engine.build_tbn_matrix(first["line"], 10.0, auto_flip=False)
        start, end = engine._line_endpoints_3d(first["line"])
        x, y = engine._label_center_xy(first)
        zone: str = engine.calculate_utm_crs(lon=116.4, lat=39.9)
        engine.apply_autofit(labels)
        engine._build_groups(labels)
        kept: list[dict[str, Any]] = engine.auto_place_labels(labels)
        native = gw._LabelRecords(labels)
        kept_native: gw._LabelRecords = engine.auto_place_labels(native)
        count: int = len(kept_native)
        gw._fast_resolve_collisions(native, engine.char_width_est, engine.font_size, 0.0)
        gw._fast_resolve_collisions(kept, 16.5, 15.0, letter_spacing=0.0)  # type: ignore[call-arg]
        again: list[dict[str, Any]] = native.to_dicts()
        table = gw._label_table(engine, labels)
        xs: NDArray[np.float64] = table["x"]
        texts: list[str] = table["text"]
        glyphs, frame_labels, frames_crs = gw._glyph_frames(engine)
        origins: NDArray[np.float64] = glyphs["origin"]
        anchors: NDArray[np.float64] = frame_labels["anchor"]
        frames_crs_text: str | None = frames_crs
        gw._glyph_frames()  # type: ignore[call-arg]
        col = np.zeros(3, np.float32)
        hidden: NDArray[np.bool_] = gw._solver_final_pass(col, col, col, col, [1.0, 2.0, 3.0],
                                                          col, col, np.zeros(3, np.int32))
        engine.export_obj(Path("out.obj"))
        engine.export_csv("out.csv", "EPSG:4326", True, False, "degree", 6)
        engine.export_obj()  # type: ignore[call-arg]
        table["missing"]  # type: ignore[typeddict-item]


    def text_meshes(font: str) -> None:
        path: str = gw._FontManager.get_chinese_font_path()
        mesh_engine = gw._TextMeshEngine(Path(font), 15.0, 2.0, letter_spacing=0.5)
        verts, faces = mesh_engine.generate_mesh("中山路")
        v: NDArray[np.float64] = verts
        f: NDArray[np.uint32] = faces
        for glyph in mesh_engine.generate_glyph_meshes("中 山"):
            c: str = glyph["char"]
            advance: float = glyph["advance"]
            gv = glyph["verts"]
            if gv is not None:
                n: int = gv.shape[0]
        size: float = mesh_engine.font_size + mesh_engine.depth + mesh_engine.letter_spacing
        name = mesh_engine.font_prop.get_name()
        cached = gw._RoadTessaraEngine(font).get_mesh_engine(12.0, 0.0)
        same: gw._TextMeshEngine = cached
        mesh_engine.generate_mesh(3)  # type: ignore[arg-type]
        mesh_engine.font_size = 3.0  # type: ignore[misc]
        version: str = gw.__version__
''')


def test_typed_usage_checks(tmp_path):
    snippet = tmp_path / "usage.py"
    snippet.write_text(USAGE, encoding="utf-8")
    result = _run(["-m", "mypy", "--strict", "--warn-unused-ignores",
                   "--no-error-summary", "--cache-dir", str(tmp_path / "cache"),
                   str(snippet)], tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr
