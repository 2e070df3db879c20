"""The road table's row rules in the core alone: tests/native/road_table_probe.cpp
builds a pipeline::RoadTable from rows given as text, with no host, and its
names must be the ones the host language's own string rules give."""
import os
import subprocess
from pathlib import Path

import pytest
from hypothesis import given, settings, strategies as st

_BIN_DIR = os.environ.get("GLYPHWAY_NATIVE_BIN")
if not _BIN_DIR or not (Path(_BIN_DIR) / "road_table_probe").exists():
    pytest.skip("native test programs not built (set GLYPHWAY_NATIVE_BIN)", allow_module_level=True)
PROBE = str(Path(_BIN_DIR) / "road_table_probe")

LINE_STRING, LINEAR_RING, POLYGON, MULTI_LINE_STRING, NO_GEOMETRY = 1, 2, 3, 5, -1


def probe(rows):
    """rows: (type_id, lines, raw name) -> (per-row outcome, features, line_feature)."""
    text = "".join(f"row {t} {n} {name.encode().hex() or '-'}\n" for t, n, name in rows)
    out = subprocess.run([PROBE], input=text, capture_output=True, text=True, check=True).stdout
    lines = out.splitlines()
    outcomes = lines[:len(rows)]
    features = []
    for line in lines[len(rows):-1]:
        _, index, name, text_len, first, count = line.split()
        features.append((int(index), bytes.fromhex("" if name == "-" else name).decode(),
                         int(text_len), int(first), int(count)))
    line_feature = [int(f) for f in lines[-1].split()[1:]]
    return outcomes, features, line_feature


def host_name(raw):
    """The host's rule: str(raw) without control characters (C0, DEL, C1;
    the whitespace ones become spaces), stripped, unless blank or
    "none"/"nan" in any case."""
    def visible(c):
        control = ord(c) < 0x20 or 0x7F <= ord(c) <= 0x9F
        return c if not control else (" " if c.isspace() else "")
    name = "".join(map(visible, raw)).strip()
    return None if not name or name.lower() in ("none", "nan") else name


# Every code point the host strips, a few it does not (zero-width space,
# BOM, Mongolian vowel separator), letters of the refused words in both
# cases, the Kelvin sign and dotted capital I (whose lower cases are ASCII
# or start with it), and CJK.
WHITESPACE = [c for c in map(chr, range(0x3001)) if c.isspace()]
ALPHABET = WHITESPACE + ["\u200b", "\ufeff", "\u180e", "n", "N", "o", "O", "e", "E", "a", "A",
                         "\u212a", "\u0130", "k", "中", "路", "x", "😀", "\x00", "\x07", "\x7f",
                         "\x9b"]


@settings(max_examples=60, deadline=None)
@given(st.lists(st.text(alphabet=ALPHABET, max_size=8), min_size=1, max_size=40))
def test_names_are_cleaned_as_the_host_cleans_them(names):
    outcomes, features, _ = probe([(LINE_STRING, 1, n) for n in names])
    kept = [(i, host_name(n)) for i, n in enumerate(names) if host_name(n) is not None]
    assert [o != "skip" for o in outcomes] == [host_name(n) is not None for n in names]
    assert [(f[0], f[1]) for f in features] == kept
    # Lengths in code points, as the host counts a string's characters.
    assert [f[2] for f in features] == [len(name) for _, name in kept]


@pytest.mark.parametrize("raw", ["none", "NONE", "NaN", " nan\u3000", "\u2003None\n", "", " \t"])
def test_missing_name_markers_are_no_roads(raw):
    outcomes, features, _ = probe([(LINE_STRING, 1, raw)])
    assert outcomes == ["skip"] and features == []


@pytest.mark.parametrize("raw", ["nan路", "nano", "non", "\u212aNone", "n\u200ban", "\ufeffnan"])
def test_names_that_only_look_missing_are_kept(raw):
    _, features, _ = probe([(LINE_STRING, 1, raw)])
    assert [f[1] for f in features] == [raw.strip()]


def test_geometry_types_give_lines_and_lines_their_features():
    rows = [(LINE_STRING, 1, "a"), (NO_GEOMETRY, 1, "b"), (MULTI_LINE_STRING, 3, "c"),
            (POLYGON, 1, "d"), (MULTI_LINE_STRING, 0, "e"), (LINEAR_RING, 1, "f"),
            (MULTI_LINE_STRING, 2, " "), (MULTI_LINE_STRING, 2, "g")]
    outcomes, features, line_feature = probe(rows)
    assert outcomes == ["road 0", "skip", "road 1", "skip", "skip", "road 2", "skip", "road 3"]
    # (row, name, length, first line, line count): a ring is one line, a
    # polygon and an empty MultiLineString none, and no line is counted for
    # a row that is no road.
    assert features == [(0, "a", 1, 0, 1), (2, "c", 1, 1, 3), (5, "f", 1, 4, 1),
                        (7, "g", 1, 5, 2)]
    assert line_feature == [0, 1, 1, 1, 2, 3, 3]
