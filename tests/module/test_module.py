import importlib
import importlib.util
import subprocess
import sys

import pytest


def test_module_is_one_object_under_every_import_path():
    import glyphway_accel_avx2
    import glyphway_maker
    from glyphway_maker import glyphway_accel_avx2 as via_from
    import glyphway_maker.glyphway_accel_avx2 as via_submodule

    assert via_from is glyphway_accel_avx2
    assert via_submodule is glyphway_accel_avx2
    assert glyphway_maker.__version__ == glyphway_accel_avx2.__version__


def test_second_initialisation_is_refused():
    found = importlib.util.find_spec("glyphway_accel_avx2")
    module = importlib.util.module_from_spec(found)
    with pytest.raises(ImportError, match="already initialised"):
        found.loader.exec_module(module)


def test_module_classes_are_registered():
    import glyphway_accel_avx2 as m

    for name in ("_TextMeshEngine", "_FontManager"):
        assert isinstance(getattr(m, name), type)


def test_command_line_prints_version():
    out = subprocess.run([sys.executable, "-m", "glyphway_maker", "--version"],
                         capture_output=True, text=True, check=True).stdout
    assert out.startswith("glyphway_maker ")
