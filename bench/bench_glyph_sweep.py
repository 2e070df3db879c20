"""Builds every GB2312 hanzi as a per-glyph mesh and counts what goes wrong.

    python bench/bench_glyph_sweep.py [--font PATH] [--sizes 5.25,15,30]
                                      [--hashes OUT.json] [--compare OLD.json]

The 6,763 characters of GB2312 rows 16-87 (bytes 0xB0A1-0xF7FE) are asked
of a fresh _TextMeshEngine at each size, one by one. For every size the
script prints how many raised, how many printed a warning line and the
time taken. --hashes writes a digest of every mesh (vertices, faces and
advance) so that two builds can be compared with --compare: it lists the
characters whose mesh changed, and which of those raised in the old build.
"""
import argparse
import contextlib
import hashlib
import io
import json
import sys
import time

from glyphway_accel_avx2 import _TextMeshEngine

DEFAULT_FONT = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"


def gb2312_hanzi():
    chars = []
    for lead in range(0xB0, 0xF8):
        for trail in range(0xA1, 0xFF):
            try:
                chars.append(bytes([lead, trail]).decode("gb2312"))
            except UnicodeDecodeError:
                pass  # the five unassigned cells at the end of row 55
    return chars


def digest(glyph):
    h = hashlib.sha256()
    for key in ("verts", "faces"):
        a = glyph[key]
        h.update(b"none" if a is None else a.tobytes())
    h.update(repr(float(glyph["advance"])).encode())
    return h.hexdigest()[:24]


def sweep(font, size, chars):
    engine = _TextMeshEngine(font, size, 2.0, 0.0)
    hashes, errors, warnings, took = {}, {}, [], {}
    captured = io.StringIO()
    start = time.perf_counter()
    with contextlib.redirect_stderr(captured):
        for c in chars:
            t0 = time.perf_counter()
            try:
                (g,) = engine.generate_glyph_meshes(c)
                hashes[c] = digest(g)
            except Exception as e:  # noqa: BLE001 - the sweep counts them
                errors[c] = f"{type(e).__name__}: {e}"
                hashes[c] = "raised"
            took[c] = time.perf_counter() - t0
    elapsed = time.perf_counter() - start
    warnings = [line for line in captured.getvalue().splitlines() if line.startswith("[glyphway_maker] ")]
    return hashes, errors, warnings, elapsed, took


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--font", default=DEFAULT_FONT)
    parser.add_argument("--sizes", default="5.25,15,30")
    parser.add_argument("--hashes")
    parser.add_argument("--compare")
    args = parser.parse_args()

    chars = gb2312_hanzi()
    print(f"{len(chars)} characters, font {args.font}")
    result = {}
    for size_text in args.sizes.split(","):
        size = float(size_text)
        hashes, errors, warnings, elapsed, took = sweep(args.font, size, chars)
        result[size_text] = hashes
        print(f"size {size:g}: {len(errors)} raised, {len(warnings)} warnings, "
              f"{elapsed:.2f} s ({1e3 * elapsed / len(chars):.3f} ms/glyph)")
        slowest = sorted(took, key=took.get, reverse=True)[:8]
        print("  slowest: " + ", ".join(f"{c} {1e3 * took[c]:.2f} ms" for c in slowest))
        for c, message in errors.items():
            print(f"  raised {c} U+{ord(c):04X}: {message}")
        for line in warnings:
            print(f"  {line}")

    if args.hashes:
        with open(args.hashes, "w", encoding="utf-8") as f:
            json.dump(result, f, ensure_ascii=False)
    if args.compare:
        with open(args.compare, encoding="utf-8") as f:
            old = json.load(f)
        for size_text, hashes in result.items():
            before = old.get(size_text, {})
            changed = [c for c in hashes if c in before and before[c] != hashes[c]]
            was_raising = [c for c in changed if before[c] == "raised"]
            print(f"size {size_text}: {len(changed)} meshes differ from the old build, "
                  f"{len(was_raising)} of them raised there: {''.join(was_raising)}")
            others = [c for c in changed if before[c] != "raised"]
            if others:
                print(f"  changed although they built before: {''.join(others)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
