"""_set_progress_hook: long native stages call the host's hook while they run."""
import os

import pytest
from shapely.geometry import LineString

import glyphway_accel_avx2 as gw
from road_tables import write_roads


@pytest.fixture
def busy_roads(tmp_path):
    # Enough candidates that the stages' loops reach their interrupt checks.
    lines = [LineString([(0.0, 40.0 * i), (3000.0, 40.0 * i + 5.0)]) for i in range(300)]
    return write_roads(tmp_path / "roads.shp", lines, name=["中一中" for _ in lines])


@pytest.fixture(autouse=True)
def no_hook_left():
    yield
    gw._set_progress_hook(None)


def test_the_hook_is_called_during_a_run(busy_roads, tmp_path, ttf_font):
    calls = []
    gw._set_progress_hook(lambda: calls.append(1))
    gw.generate_csv(busy_roads, str(tmp_path / "out.csv"), distance_interval=100.0,
                    font_path=ttf_font)
    assert calls


def test_no_hook_after_none(busy_roads, tmp_path, ttf_font):
    calls = []
    gw._set_progress_hook(lambda: calls.append(1))
    gw._set_progress_hook(None)
    gw.generate_csv(busy_roads, str(tmp_path / "out.csv"), distance_interval=100.0,
                    font_path=ttf_font)
    assert calls == []


def test_an_error_in_the_hook_ends_the_run_without_output(busy_roads, tmp_path, ttf_font):
    def hook():
        raise RuntimeError("stop here")
    gw._set_progress_hook(hook)
    out = tmp_path / "out.csv"
    with pytest.raises(RuntimeError, match="stop here"):
        gw.generate_csv(busy_roads, str(out), distance_interval=100.0, font_path=ttf_font)
    assert not out.exists()
    assert sorted(os.listdir(tmp_path)) == sorted(
        p for p in os.listdir(tmp_path) if p.startswith("roads."))


def test_a_hook_may_remove_itself(busy_roads, tmp_path, ttf_font):
    calls = []

    def hook():
        calls.append(1)
        gw._set_progress_hook(None)
    gw._set_progress_hook(hook)
    gw.generate_csv(busy_roads, str(tmp_path / "out.csv"), distance_interval=100.0,
                    font_path=ttf_font)
    assert calls == [1]


def test_a_hook_must_be_callable():
    with pytest.raises(TypeError, match="callable"):
        gw._set_progress_hook(42)
