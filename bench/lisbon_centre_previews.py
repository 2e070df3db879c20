"""Redraws docs/lisbon_centre_interval.png and docs/lisbon_centre_cartographic.png:
the centre of Lisbon (Baixa and Chiado, about 1.3 x 1.0 km) labelled in each
placement style.

    python bench/lisbon_centre_previews.py [--data DIR] [--font PATH] [--out DIR]

The roads are clipped to the area first (so pieces are cut at its edges) and
labelled in UTM with font size 8 m, small enough for the names to be read
in the picture; everything else is the package default.
"""
from __future__ import annotations

import argparse
import os
import warnings
from pathlib import Path

import glyphway_maker

ROOT = Path(__file__).resolve().parent.parent
DATA = ROOT.parent / "shared" / "data"
FONT = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"
AREA = (-9.1450, 38.7060, -9.1300, 38.7150)  # lon/lat bounds


def clipped_roads(path, lon_lat_bounds):
    """The road lines of `path` clipped to the bounds, one line per row."""
    import geopandas as gpd
    from shapely.geometry import box

    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        roads = gpd.read_file(path)
    area = gpd.GeoSeries([box(*lon_lat_bounds)], crs="EPSG:4326").to_crs(roads.crs).iloc[0]
    crop = gpd.clip(roads, area).explode(index_parts=False).reset_index(drop=True)
    return crop[crop.geom_type == "LineString"]


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--data", type=Path, default=DATA)
    parser.add_argument("--font", default=FONT if os.path.exists(FONT) else None)
    parser.add_argument("--out", type=Path, default=ROOT / "docs")
    args = parser.parse_args(argv)
    path = args.data / "lisbon_bbbike" / "roads_lisbon.shp"
    if not path.exists():
        print(f"skipped: {path} not found")
        return
    centre = clipped_roads(path, AREA)
    for style in ("interval", "cartographic"):
        out = args.out / f"lisbon_centre_{style}.png"
        count = glyphway_maker.preview(centre, str(out), font_path=args.font, use_utm=True,
                                       font_size=8.0, style=style)
        print(f"{style}: {count} labels -> {out}")


if __name__ == "__main__":
    main()
