"""The native sources read top-down: a layer includes only the layers below it."""
import pathlib
import re

import pytest

SRC = pathlib.Path(__file__).resolve().parent.parent / "src"

# Each layer and the layers it may include besides itself. The core layers
# carry no Python headers; only the module layer translates to the host.
ALLOWED = {
    "engine": set(),
    "text": set(),
    "solver": {"engine"},
    "placement": {"engine", "solver"},
    "export": {"engine", "text"},
    "pipeline": {"engine", "solver", "placement", "text", "export"},
    "module": {"engine", "solver", "placement", "text", "export", "pipeline"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/', re.MULTILINE)
HOST_HEADERS = re.compile(r'^\s*#\s*include\s+[<"](Python\.h|pybind11/)', re.MULTILINE)


def _sources():
    return sorted(p for p in SRC.rglob("*") if p.suffix in (".cpp", ".hpp"))


def test_every_source_belongs_to_a_known_layer():
    assert {p.relative_to(SRC).parts[0] for p in _sources()} <= set(ALLOWED)


@pytest.mark.parametrize("layer", sorted(ALLOWED))
def test_a_layer_includes_only_the_layers_below_it(layer):
    upward = []
    for path in (SRC / layer).glob("*.[ch]pp"):
        for target in INCLUDE.findall(path.read_text(encoding="utf-8")):
            if target != layer and target not in ALLOWED[layer]:
                upward.append(f"{path.relative_to(SRC)} includes {target}/")
    assert not upward


@pytest.mark.parametrize("layer", sorted(set(ALLOWED) - {"module"}))
def test_the_core_has_no_host_headers(layer):
    offending = [str(p.relative_to(SRC)) for p in (SRC / layer).glob("*.[ch]pp")
                 if HOST_HEADERS.search(p.read_text(encoding="utf-8"))]
    assert not offending
