"""apply_autofit: scale, minimum scale and spacing, truncation with an ellipsis."""
import pytest
from hypothesis import given, settings, strategies as st
from shapely import LineString

EFFECTIVE = ["effective_text", "effective_text_len", "effective_font_size",
             "effective_letter_spacing", "effective_char_width_est"]
TEN = "abcdefghij"


def fit(engine, text=TEN, line_len=None, **record):
    label = {"text": text, **record}
    if line_len is not None:
        label["line_len"] = line_len
    engine.apply_autofit([label])
    return label


def effective(label):
    return tuple(label.get(k) for k in EFFECTIVE)


@pytest.mark.parametrize("line_len, expected", [
    (330, (TEN, 10, 15.0, 0.0, 16.5)),                # scale capped at 1
    (99, (TEN, 10, 9.0, 0.0, 9.0 * 1.1)),             # 0.6 exactly: fits despite rounding
    (33, ("abcd…", 5, 5.25, 0.0, 5.25 * 1.1)),        # minimum scale, then 4 chars + "…"
    (0, (TEN, 10, 15.0, 0.0, 16.5)),
    (-5.0, (TEN, 10, 15.0, 0.0, 16.5)),
    (None, (TEN, 10, 15.0, 0.0, 16.5)),               # no line length: 0.0
])
def test_documented_figures(engine, line_len, expected):
    label = fit(engine, line_len=line_len)
    assert effective(label) == expected
    assert list(label)[-5:] == EFFECTIVE


@pytest.mark.parametrize("params, line_len, size, spacing", [
    ({"min_letter_spacing": 0.5}, 99, 9.0, 0.5),                     # raised from 0
    ({"min_letter_spacing": 0.5}, 330, 15.0, 0.5),
    ({"letter_spacing": 2.0, "min_letter_spacing": 0.5}, 91.5, 7.5, 1.0),  # scale 0.5
])
def test_minimum_letter_spacing(make_engine, params, line_len, size, spacing):
    label = fit(make_engine(**params), line_len=line_len)
    assert label["effective_font_size"] == pytest.approx(size)
    assert label["effective_letter_spacing"] == pytest.approx(spacing)


@pytest.mark.parametrize("params", [{"curved_text": False}, {"auto_fit_text": False},
                                    {"curved_text": 0, "auto_fit_text": True}])
def test_switched_off_writes_nothing(make_engine, params):
    label = fit(make_engine(**params), line_len=33)
    assert not set(EFFECTIVE) & set(label)


@pytest.mark.parametrize("strategy", ["ellipsis", "TRUNCATE", None])
def test_other_overflow_strategies_keep_the_full_text(make_engine, strategy):
    label = fit(make_engine(overflow_strategy=strategy), line_len=33)
    assert effective(label) == (TEN, 10, 5.25, 0.0, 5.25 * 1.1)


@pytest.mark.parametrize("text, line_len, expected_text", [
    ("中", 1.0, "中"),                         # one character is kept, never "中…"
    ("中一中一中一中一中一", 33, "中一中一…"),  # characters, not bytes
    ("ab", 1.0, "a…"),                        # nothing fits: one character and "…"
])
def test_truncation_counts_characters(engine, text, line_len, expected_text):
    label = fit(engine, text, line_len=line_len)
    assert label["effective_text"] == expected_text
    assert label["effective_text_len"] == len(expected_text)


@pytest.mark.parametrize("record, expected", [
    ({"text": ""}, ("", 0, 15.0, 0.0, 16.5)),
    ({}, ("", 0, 15.0, 0.0, 16.5)),
    ({"text": "abc", "text_len": -2, "line_len": 50}, ("abc", 0, 15.0, 0.0, 16.5)),
    ({"text": "abc", "text_len": 3.7, "line_len": 1000}, ("abc", 3, 15.0, 0.0, 16.5)),
    ({"text": "中一", "line_len": 1000}, ("中一", 2, 15.0, 0.0, 16.5)),  # text_len -> len(text)
    ({"text": "abc", "line_len": "1000", "text_len": "3"}, ("abc", 3, 15.0, 0.0, 16.5)),
])
def test_missing_and_unusual_keys(engine, record, expected):
    engine.apply_autofit([record])
    assert effective(record) == expected


@pytest.mark.parametrize("record, error", [
    ({"text": "abc", "line_len": "long"}, ValueError),
    ({"text": 5, "line_len": 10}, TypeError),
    ({"text": "abc", "line_len": 10, "text_len": None}, TypeError),
])
def test_unusable_values_raise(engine, record, error):
    with pytest.raises(error):
        engine.apply_autofit([record])


def test_only_the_effective_keys_are_written(engine, candidate):
    line = LineString([(0, 0), (20, 0)])
    label = candidate("Main Street", line, extra_key=[1])
    before = dict(label)
    engine.apply_autofit([label])
    assert list(label) == list(before) + EFFECTIVE
    assert all(label[k] is before[k] for k in before)


@settings(max_examples=400, deadline=None)
@given(n=st.integers(1, 40), font_size=st.floats(1.0, 60.0), spacing=st.floats(0.0, 5.0),
       scale=st.floats(0.35, 1.0))
def test_a_name_scaled_exactly_to_its_line_fits(make_engine, n, font_size, spacing, scale):
    engine = make_engine(font_size=font_size, letter_spacing=spacing)
    base_est = n * font_size * 1.1 + (n - 1) * spacing
    label = fit(engine, "x" * n, line_len=base_est * scale)
    assert label["effective_text"] == "x" * n


@settings(max_examples=400, deadline=None)
@given(n=st.integers(2, 40), line_len=st.floats(0.5, 400.0), min_spacing=st.floats(0.0, 3.0))
def test_truncation_keeps_the_longest_prefix_that_fits(make_engine, n, line_len, min_spacing):
    label = fit(make_engine(min_letter_spacing=min_spacing), "x" * n, line_len=line_len)
    cw, ls = label["effective_char_width_est"], label["effective_letter_spacing"]
    length = lambda k: k * cw + max(k - 1, 0) * ls
    kept = label["effective_text_len"]
    if label["effective_text"] == "x" * n:
        assert length(n) <= line_len * (1 + 1e-9)
    else:
        assert label["effective_text"] == "x" * (kept - 1) + "…"
        assert length(n) > line_len
        assert kept == 2 or length(kept) <= line_len * (1 + 1e-9)
        assert kept == n or length(kept + 1) > line_len
