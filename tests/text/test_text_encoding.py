"""The byte rules of attribute text (run through tests/native/text_encoding_probe.cpp)
against the host's own strict decoders, on random bytes and on real text."""
import os
import subprocess
from pathlib import Path

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

_BIN_DIR = os.environ.get("GLYPHWAY_NATIVE_BIN")
if not _BIN_DIR or not (Path(_BIN_DIR) / "text_encoding_probe").exists():
    pytest.skip("native test programs not built (set GLYPHWAY_NATIVE_BIN)", allow_module_level=True)
PROBE = str(Path(_BIN_DIR) / "text_encoding_probe")


def _probe(values):
    done = subprocess.run([PROBE], input="".join(v.hex() + "\n" for v in values),
                          capture_output=True, text=True, check=True)
    return [tuple(int(x) for x in line.split()) for line in done.stdout.splitlines()]


def _decodes(value, codec):
    try:
        value.decode(codec)
        return True
    except UnicodeDecodeError:
        return False


# Bytes drawn where the two encodings draw their lines: ASCII, GB18030's
# four-byte digits, the UTF-8 continuation and lead ranges, the ends.
BYTE = st.sampled_from([0x00, 0x30, 0x35, 0x39, 0x40, 0x7E, 0x7F, 0x80, 0x81, 0x84, 0x8F, 0x90,
                        0x9F, 0xA0, 0xA1, 0xBF, 0xC0, 0xC2, 0xDF, 0xE0, 0xE3, 0xED, 0xEF, 0xF0,
                        0xF4, 0xF5, 0xFE, 0xFF]) | st.integers(0, 255)
TEXT = st.text(alphabet=st.characters(blacklist_categories=("Cs",)), max_size=6)


@settings(max_examples=300, deadline=None)
@given(st.lists(st.binary(max_size=8) | st.lists(BYTE, max_size=8).map(bytes), min_size=1,
                max_size=40),
       st.lists(TEXT, max_size=10), st.sampled_from(["utf-8", "gb18030", "gbk", "latin-1"]))
def test_validity_is_the_host_decoders(random_bytes, texts, codec):
    written = [t.encode(codec, "ignore") for t in texts]
    values = random_bytes + written
    for value, (utf8, gb18030, _, _) in zip(values, _probe(values)):
        assert (utf8, gb18030) == (_decodes(value, "utf-8"), _decodes(value, "gb18030")), value


def test_chinese_share_of_a_gb18030_reading():
    values = ["中山路".encode("gbk"), "（福田）".encode("gbk"), "G107国道".encode("gbk"),
              "Praça do Comércio".encode("latin-1"), "Straße".encode("latin-1"),
              "\ue000".encode("gb18030")]  # a user-defined code: no CJK
    shares = [(cjk, counted) for _, _, cjk, counted in _probe(values)]
    assert shares == [(3, 3), (4, 4), (2, 3), (2, 13), (1, 5), (0, 1)]
