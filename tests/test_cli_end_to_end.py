"""The command line on a slice of the sample city, through the real pipeline.

Skipped while the engine has no data preparation and exports to run.
"""
import csv

import geopandas as gpd
import pytest

import glyphway_accel_avx2 as gw
import glyphway_maker
from glyphway_maker import cli

pytestmark = pytest.mark.skipif(
    not all(hasattr(gw._RoadTessaraEngine, m) for m in ("_prepare_data", "export_obj", "export_csv")),
    reason="the engine's data preparation and exports are not built in")


@pytest.fixture(scope="module")
def city_slice(tmp_path_factory):
    city = gpd.read_file(glyphway_maker.sample_data_path())
    path = tmp_path_factory.mktemp("city") / "slice.shp"
    city.iloc[:200].to_file(path, encoding="UTF-8")
    return str(path)


def test_obj_and_csv_are_written(city_slice, tmp_path, ttf_font, capsys):
    obj, table = tmp_path / "slice.obj", tmp_path / "slice.csv"
    assert cli.main(["obj", city_slice, str(obj), "--use-utm", "--font", ttf_font]) == 0
    assert cli.main(["csv", city_slice, str(table), "--use-utm", "--target-crs", "EPSG:4326",
                     "--font", ttf_font]) == 0
    out, err = capsys.readouterr()
    assert all(line.startswith("[glyphway_maker] ") for line in out.splitlines())
    assert f"Finished! Exported to: {obj}" in out and f"Finished! Exported to: {table}" in out
    assert obj.is_file()
    with open(table, encoding="utf-8-sig", newline="") as f:
        rows = list(csv.reader(f))
    assert rows[0] == ["id", "x", "y", "z", "qx", "qy", "qz", "qw", "name"]
    assert len(rows) > 1
    for row in rows[1:]:
        assert 113 < float(row[1]) < 114 and 22 < float(row[2]) < 23


def test_the_cartographic_style_reaches_every_command(city_slice, tmp_path, ttf_font, capsys):
    common = ["--use-utm", "--font", ttf_font, "--style", "cartographic", "--max-char-angle", "25"]
    for command, name in (("obj", "c.obj"), ("glb", "c.glb"), ("csv", "c.csv"),
                          ("labels", "c.geojson"), ("preview", "c.png")):
        assert cli.main([command, city_slice, str(tmp_path / name), *common]) == 0, command
    capsys.readouterr()
    points = gpd.read_file(tmp_path / "c.geojson")
    frame = glyphway_maker.place_labels(city_slice, font_path=ttf_font, use_utm=True,
                                        style="cartographic", max_char_angle=25.0)
    assert points["text"].tolist() == frame["text"].tolist() and len(frame) > 0
    with open(tmp_path / "c.csv", encoding="utf-8-sig", newline="") as f:
        assert len(list(csv.reader(f))) == len(frame) + 1
