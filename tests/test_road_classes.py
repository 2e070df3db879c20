"""class_field=: a road class column sets each road's weight, the same by the
short read, the general read, GeoParquet and a GeoDataFrame handed in."""
import itertools

import geopandas as gpd
import pytest
from shapely.geometry import LineString

import glyphway_maker

# Each class and the weight it stands for: OpenStreetMap highway values (a
# link as its road, any case), TIGER MTFCC codes, numbers, and what neither
# table knows. Weights below 1 count as 1, as any weight does.
CLASSES = [("motorway", 1), ("primary_link", 3), ("Residential", 7), ("S1200", 3),
           ("s1630", 4), ("S1710", 10), ("5", 5), (" 2.5 ", 2.5), ("footway", 10),
           ("lane", 10), ("", 10), (None, 10), ("0.5", 1)]
# Names the test font draws.
NAMES = ["".join(p) for p in itertools.product("oxice", repeat=2)][:len(CLASSES)]


def _frame(**columns):
    lines = [LineString([(0, 300 * k), (2000, 300 * k)]) for k in range(len(CLASSES))]
    return gpd.GeoDataFrame({"name": NAMES, **columns},
                            geometry=lines, crs="EPSG:3857")


def _write(frame, path):
    if str(path).endswith(".parquet"):
        frame.to_parquet(path)
    else:
        frame.to_file(path)
    return str(path)


def _weights(make_engine, path, **reading):
    engine = make_engine(path, text_count=1, curved_text=False)
    for name, value in reading.items():
        setattr(engine, name, value)
    labels, _ = engine._prepare_data()
    return {label["text"]: label["weight"] for label in labels}


@pytest.mark.parametrize("suffix", [".shp", ".gpkg", ".parquet"])
def test_classes_set_the_weights_by_both_reads(make_engine, tmp_path, through_geopandas,
                                               suffix):
    path = _write(_frame(cls=[c for c, _ in CLASSES], width=[3] * len(CLASSES)),
                  tmp_path / f"roads{suffix}")
    expected = dict(zip(NAMES, (w for _, w in CLASSES)))
    direct = _weights(make_engine, path, class_field="cls")
    assert direct == expected
    assert _weights(make_engine, path, class_field="width") == dict.fromkeys(expected, 3)
    # Without class_field, the missing weight column counts as 1, as before.
    assert set(_weights(make_engine, path).values()) == {1}
    through_geopandas()
    assert _weights(make_engine, path, class_field="cls") == direct


def test_a_weight_column_wins_over_the_class(make_engine, tmp_path, through_geopandas):
    weights = [2 + k for k in range(len(CLASSES))]
    path = _write(_frame(cls=[c for c, _ in CLASSES], w=weights), tmp_path / "roads.shp")
    expected = dict(zip(NAMES, weights))
    assert _weights(make_engine, path, class_field="cls", weight_field="w") == expected
    through_geopandas()
    assert _weights(make_engine, path, class_field="cls", weight_field="w") == expected


@pytest.mark.parametrize("suffix", [".shp", ".parquet"])
def test_a_missing_class_column_names_the_file_and_lists_the_columns(
        make_engine, tmp_path, through_geopandas, suffix):
    path = _write(_frame(cls=[c for c, _ in CLASSES]), tmp_path / f"roads{suffix}")
    message = f"{path}: no column 'class' for class_field.*its columns: 'name', 'cls'$"
    for read in ("short", "general"):
        with pytest.raises(ValueError, match=message):
            _weights(make_engine, path, class_field="class")
        through_geopandas()


def test_a_geodataframe_takes_the_class(ttf_font, tmp_path):
    frame = _frame(MTFCC=["S1100", "S1400"] + ["S1500"] * (len(CLASSES) - 2))
    placed = glyphway_maker.place_labels(frame, font_path=ttf_font, class_field="MTFCC",
                                         text_count=1, curved_text=False)
    assert dict(zip(placed["text"], placed["weight"]))[NAMES[1]] == 7
    assert placed["weight"].min() == 1 and placed["weight"].max() == 9
