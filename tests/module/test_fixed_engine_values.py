"""The engine values generate_csv and the label table fix for the engine
options they do not take come from one native table: each fixes an option
the engine has and the taker does not, and together with what the taker
takes they leave no engine option unset."""
import glyphway_accel_avx2 as native
import pytest

from glyphway_maker import labels

ROWS = {row["name"]: row for row in native._option_table}
ENGINE = {name for name, row in ROWS.items() if "engine" in row["takers"]}
FIXED = native._fixed_engine_values


@pytest.mark.parametrize("taker", ["generate_csv", "labels"])
def test_a_taker_fixes_exactly_the_engine_options_it_does_not_take(taker):
    fixed = {row["name"] for row in FIXED if taker in row["takers"]}
    taken = {name for name in ENGINE if taker in ROWS[name]["takers"]}
    assert fixed <= ENGINE
    assert not fixed & taken
    assert fixed | taken == ENGINE


def test_a_copied_value_copies_an_option_its_taker_takes():
    for row in FIXED:
        if row["same_as"] is not None:
            assert all(t in ROWS[row["same_as"]]["takers"] for t in row["takers"]), row


def test_the_label_tables_engine_gets_the_fixed_values():
    keywords = labels.engine_keywords("roads.shp", {"letter_spacing": 2.0})
    assert set(keywords) == ENGINE
    for row in FIXED:
        if "labels" in row["takers"]:
            assert keywords[row["name"]] == row["value"]
            assert type(keywords[row["name"]]) is type(row["value"])


def test_generate_csv_gives_the_engine_the_fixed_values(tmp_path, monkeypatch):
    seen = {}

    class Recording(native._RoadTessaraEngine):
        def __init__(self, **keywords):
            seen.update(keywords)
            raise RuntimeError("stop")

    monkeypatch.setattr(native, "_RoadTessaraEngine", Recording)
    with pytest.raises(RuntimeError, match="stop"):
        native.generate_csv(str(tmp_path / "r.shp"), str(tmp_path / "o.csv"),
                            letter_spacing=2.5, font_path=str(tmp_path / "f.ttf"))
    assert seen["min_letter_spacing"] == 2.5
    assert (seen["overflow_strategy"], seen["extrusion_depth"], seen["separate_objects"]) == (
        "truncate", 0.0, True)
