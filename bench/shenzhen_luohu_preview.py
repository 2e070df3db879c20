"""Redraws docs/shenzhen_luohu_cartographic.png: about 1.3 x 1.0 km of Luohu,
Shenzhen (round Dongmen and the station) labelled in the cartographic style.

    python bench/shenzhen_luohu_preview.py [--data DIR] [--font PATH] [--out FILE]
                                           [--cjk-orientation VALUE]

The roads (longitude/latitude, names in column dlmc) are clipped to the area
first, so pieces are cut at its edges, and labelled in UTM with font size
8 m; everything else is the package default. --cjk-orientation is handed to
the placement only when given.
"""
from __future__ import annotations

import argparse
import os
import sys
from pathlib import Path

import glyphway_maker

sys.path.insert(0, str(Path(__file__).resolve().parent))
from lisbon_centre_previews import clipped_roads  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
DATA = ROOT.parent / "shared" / "data"
FONT = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"
AREA = (114.1117, 22.5405, 114.1243, 22.5495)  # lon/lat bounds


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--data", type=Path, default=DATA)
    parser.add_argument("--font", default=FONT if os.path.exists(FONT) else None)
    parser.add_argument("--out", type=Path,
                        default=ROOT / "docs" / "shenzhen_luohu_cartographic.png")
    parser.add_argument("--cjk-orientation", default=None,
                        help="the placement's cjk_orientation (not passed when not given)")
    args = parser.parse_args(argv)
    path = args.data / "shenzhen_szmap" / "road.shp"
    if not path.exists():
        print(f"skipped: {path} not found")
        return
    crop = clipped_roads(path, AREA)
    extra = {} if args.cjk_orientation is None else {"cjk_orientation": args.cjk_orientation}
    count = glyphway_maker.preview(crop, str(args.out), font_path=args.font, name_field="dlmc",
                                   use_utm=True, font_size=8.0, style="cartographic", **extra)
    print(f"cartographic: {count} labels -> {args.out}")


if __name__ == "__main__":
    main()
