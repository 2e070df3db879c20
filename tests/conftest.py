import geopandas as gpd
import pytest

import glyphway_accel_avx2 as gw

from font_factory import build_font


# Slow tests (sweeps over a whole installed font) run with --run-slow only.
def pytest_addoption(parser):
    parser.addoption("--run-slow", action="store_true", help="also run the tests marked slow")


def pytest_configure(config):
    config.addinivalue_line("markers", "slow: a long sweep, run with --run-slow")


def pytest_collection_modifyitems(config, items):
    if config.getoption("--run-slow"):
        return
    skip = pytest.mark.skip(reason="slow: run with --run-slow")
    for item in items:
        if "slow" in item.keywords:
            item.add_marker(skip)


@pytest.fixture(autouse=True)
def no_installed_cjk_font(monkeypatch):
    """The search for an installed CJK font, asked when a run's fonts lack
    glyphs its names need, finds none: what a test draws never depends on
    the fonts of the machine it runs on. A test of that search replaces
    this answer."""
    monkeypatch.setattr(gw._FontManager, "get_installed_cjk_font_path", staticmethod(lambda: None))


@pytest.fixture(scope="session")
def ttf_font(tmp_path_factory):
    return str(build_font(tmp_path_factory.mktemp("fonts") / "glyphway-test.ttf", "ttf"))


@pytest.fixture(scope="session")
def otf_font(tmp_path_factory):
    return str(build_font(tmp_path_factory.mktemp("fonts") / "glyphway-test.otf", "otf"))


@pytest.fixture(params=["ttf", "otf"])
def any_font(request, ttf_font, otf_font):
    return ttf_font if request.param == "ttf" else otf_font


@pytest.fixture(scope="session")
def make_engine(ttf_font):
    """make_engine(**params) -> _RoadTessaraEngine; the font lookup answers the test font."""
    def make(shp_path="roads.shp", *args, **params):
        with pytest.MonkeyPatch.context() as mp:
            mp.setattr(gw._FontManager, "get_chinese_font_path", staticmethod(lambda: ttf_font))
            return gw._RoadTessaraEngine(shp_path, *args, **params)
    return make


@pytest.fixture(scope="session")
def engine(make_engine):
    return make_engine()


@pytest.fixture
def through_geopandas(monkeypatch):
    """Makes the engine read with geopandas.read_file: a wrapper is no longer GeoPandas' own."""
    original = gpd.read_file

    def use():
        monkeypatch.setattr(gpd, "read_file", lambda path, **kw: original(path, **kw))
    return use
