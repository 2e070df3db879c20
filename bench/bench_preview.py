"""Times preview() on a whole city, with its glyphs drawn and without.

    python bench/bench_preview.py [--data DIR] [--font PATH] [--repeat 3]

Lisbon (the BBBike extract) in UTM at the default font size and picture
size, both styles: the time of the whole call, taking the best of the
repeats, once as it is and once with MAX_TEXT_LABELS at 0 (the roads only),
so the difference is what the glyph outlines cost. Also prints the peak
memory of the process.
"""
from __future__ import annotations

import argparse
import os
import resource
import tempfile
import time
from pathlib import Path

import glyphway_maker
from glyphway_maker import preview_image

DATA = Path(__file__).resolve().parents[2] / "shared" / "data"
FONT = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--data", type=Path, default=DATA)
    parser.add_argument("--font", default=FONT if os.path.exists(FONT) else None)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args(argv)
    path = args.data / "lisbon_bbbike" / "roads_lisbon.shp"
    if not path.exists():
        print(f"skipped: {path} not found")
        return
    limit = preview_image.MAX_TEXT_LABELS
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, "p.png")
        for style in ("interval", "cartographic"):
            for glyphs in (True, False):
                preview_image.MAX_TEXT_LABELS = limit if glyphs else 0
                best = float("inf")
                for _ in range(args.repeat):
                    start = time.perf_counter()
                    count = glyphway_maker.preview(str(path), out, use_utm=True, style=style,
                                                   font_path=args.font)
                    best = min(best, time.perf_counter() - start)
                drawn = "drawn" if glyphs else "not drawn"
                print(f"{style:12s} {count:6d} labels  glyphs {drawn:9s}  {best:6.2f} s")
    preview_image.MAX_TEXT_LABELS = limit
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
    print(f"peak memory {peak:.0f} MB")


if __name__ == "__main__":
    main()
