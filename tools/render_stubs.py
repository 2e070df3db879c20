"""Renders the type stubs of glyphway_accel_avx2 from their template and the
option table: each line of the template reading "@name@" becomes the
parameters (or attributes) that the table gives that function, and each
"@default:option@" the option's default.

    python render_stubs.py options.def glyphway_accel_avx2.pyi.in out.pyi

Run by CMake at build time; it needs nothing but the standard library.
"""
from __future__ import annotations

import re
import sys
from pathlib import Path

# The entry points by their taker bits in options.def.
TAKERS = {"generate": "kObj", "generate_glb": "kGlb", "generate_csv": "kCsv"}

# Stub types: what an entry point accepts for each kind, and what the
# engine's constructor is documented to take (it stores values unconverted).
ENTRY_TYPES = {"text": "str", "flag": "bool", "real": "_Real", "integer": "_Integer",
               "optional_real": "_Real | None", "optional_integer": "_Integer | None",
               "paths": "_TextPath | Sequence[_TextPath] | None", "optional_text": "str | None"}
ENGINE_TYPES = {"text": "str", "flag": "bool", "real": "float", "integer": "int",
                "optional_real": "float | None", "optional_integer": "int | None"}


def _arguments(text: str, start: int) -> tuple[list[str], int]:
    """The comma-separated arguments of the macro call whose "(" is at
    `start`, with adjacent string literals joined, and the index past ")"."""
    args, current, depth, i = [], "", 0, start + 1
    while True:
        c = text[i]
        if c == '"':
            end = i + 1
            while text[end] != '"':
                end += 2 if text[end] == "\\" else 1
            current += text[i:end + 1]
            i = end + 1
            continue
        if c in "(<":
            depth += 1
        elif c in ")>":
            if depth == 0:
                args.append(current.strip())
                return args, i + 1
            depth -= 1
        elif c == "," and depth == 0:
            args.append(current.strip())
            current = ""
            i += 1
            continue
        current += c
        i += 1


def _literal(value: str):
    """A default as Python sees it: None, True, False, a str, an int or a float."""
    if value in ("std::nullopt", "nullptr"):
        return None
    if value in ("true", "false"):
        return value == "true"
    if value.startswith('"'):
        return "".join(re.findall(r'"((?:[^"\\]|\\.)*)"', value))
    return float(value) if "." in value else int(value)


def read_table(path: Path) -> list[dict]:
    text = "\n".join(line for line in path.read_text(encoding="utf-8").splitlines()
                     if not line.lstrip().startswith("//"))
    rows = []
    for m in re.finditer(r"GLYPHWAY_(PATH|OPTION)\(", text):
        args, _ = _arguments(text, m.end() - 1)
        if m.group(1) == "PATH":
            name, takers, position, _help = args
            row = {"name": name, "kind": "text", "required": True, "default": None}
        else:
            name, kind, _type, default, takers, position = args[:6]
            row = {"name": name, "kind": kind, "required": False, "default": _literal(default)}
        row["takers"] = {t.strip() for t in takers.split("|")}
        row["engine_position"] = int(position)
        rows.append(row)
    return rows


def _spelled(value) -> str:
    return f'"{value}"' if isinstance(value, str) else repr(value)


def entry_parameters(rows: list[dict], function: str) -> list[str]:
    lines, keyword_only = [], False
    for row in rows:
        if TAKERS[function] not in row["takers"]:
            continue
        if "kKeywordOnly" in row["takers"] and not keyword_only:
            lines.append("    *,")
            keyword_only = True
        if row["required"]:
            lines.append(f"    {row['name']}: str,")
        else:
            lines.append(f"    {row['name']}: {ENTRY_TYPES[row['kind']]} = "
                         f"{_spelled(row['default'])},")
    return lines


def _engine_rows(rows: list[dict]) -> list[dict]:
    return sorted((r for r in rows if "kEngine" in r["takers"]),
                  key=lambda r: r["engine_position"])


def _engine_type(row: dict) -> str:
    return "_TextPath" if row["required"] else ENGINE_TYPES[row["kind"]]


def engine_init(rows: list[dict]) -> list[str]:
    lines = []
    for row in _engine_rows(rows):
        if row["required"]:
            lines.append(f"        {row['name']}: {_engine_type(row)},")
            continue
        default = row["default"]
        if "kIntegerInEngine" in row["takers"]:
            default = int(default)
        lines.append(f"        {row['name']}: {_engine_type(row)} = {_spelled(default)},")
    return lines


def engine_attributes(rows: list[dict]) -> list[str]:
    return [f"    {row['name']}: {_engine_type(row)}" for row in _engine_rows(rows)]


def render(table: Path, template: Path) -> str:
    rows = read_table(table)
    parts = {name: entry_parameters(rows, name) for name in TAKERS}
    parts["engine_init"] = engine_init(rows)
    parts["engine_attributes"] = engine_attributes(rows)
    defaults = {row["name"]: _spelled(row["default"]) for row in rows}
    out = []
    for line in template.read_text(encoding="utf-8").splitlines():
        m = re.fullmatch(r"@(\w+)@", line.strip())
        if m:
            out.extend(parts[m.group(1)])
        else:
            out.append(re.sub(r"@default:(\w+)@", lambda d: defaults[d.group(1)], line))
    return "\n".join(out) + "\n"


def main(argv: list[str]) -> int:
    table, template, output = (Path(a) for a in argv[1:4])
    text = render(table, template)
    output.parent.mkdir(parents=True, exist_ok=True)
    # Rewritten only when it changes, so that nothing downstream rebuilds.
    if not output.is_file() or output.read_text(encoding="utf-8") != text:
        output.write_text(text, encoding="utf-8")
    return 0


if __name__ == "__main__":
    raise SystemExit(main(sys.argv))
