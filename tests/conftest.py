import pytest

from font_factory import build_font


@pytest.fixture(scope="session")
def ttf_font(tmp_path_factory):
    return str(build_font(tmp_path_factory.mktemp("fonts") / "glyphway-test.ttf", "ttf"))


@pytest.fixture(scope="session")
def otf_font(tmp_path_factory):
    return str(build_font(tmp_path_factory.mktemp("fonts") / "glyphway-test.otf", "otf"))


@pytest.fixture(params=["ttf", "otf"])
def any_font(request, ttf_font, otf_font):
    return ttf_font if request.param == "ttf" else otf_font
