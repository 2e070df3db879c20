#!/usr/bin/env python3
"""Generate the bundled sample city: a made-up Chinese city road network.

    python tools/make_sample_city.py [OUT_BASENAME]

Writes OUT_BASENAME.shp/.shx/.dbf/.prj/.cpg (default:
python/glyphway_maker/data/sample_city). The network is seeded and the
output is byte-for-byte reproducible, so the files can live in the
repository and be regenerated without noise.

What is in it (about 3000 features, EPSG:4326 around 113.6 E, 22.6 N, so
the UTM zone 49N applies):
  - avenues (大道, weight 3): long, gently wavy, split into touching pieces
    that keep one name; a ring road made of arcs;
  - roads (路, weight 2): a jittered grid, each road split into touching
    pieces, the longer ones named in halves (东/西 or 南/北 variants);
  - a riverside road following a meandering river, one name per bank;
  - streets (街, weight 1-2): shorter, many of them sine-wavy or arcs, some
    multi-part (MultiLineString: a street interrupted by a park);
  - lanes (巷, weight 1): short numbered lanes (一巷, 二巷, ...) off the
    roads, a few of them multi-part.
"""
from __future__ import annotations

import math
import random
import sys
from pathlib import Path

import geopandas as gpd
from shapely.geometry import LineString, MultiLineString

SEED = 20240607
LON0, LAT0 = 113.60, 22.60          # city centre
HALF_SIZE = 8000.0                  # metres from the centre to the edge
METRES_PER_DEG_LAT = 110_574.0
METRES_PER_DEG_LON = 111_320.0 * math.cos(math.radians(LAT0))
DECIMALS = 7                        # about 1 cm; touching pieces keep equal ends

# Characters that are common in street names; stems are two of them.
FIRST = ("福华兴安宁平康泰祥瑞嘉隆昌盛德明文新春海湖山松竹梅兰桂荔榕凤龙云霞金玉翠锦"
         "东南西北中和乐长永富丰景清明朝阳光红青白")
SECOND = ("华安宁平康泰祥瑞园林苑田港湾桥岭塘湖溪江河山峰石泉源庄坊里门城苑湾岸洲"
          "兴盛丰荣发达通利民生乐福寿德义信仁和")
NUMBERS = "一二三四五六七八九十"
DEFAULT_OUT = Path(__file__).resolve().parent.parent / "python" / "glyphway_maker" / "data" / "sample_city"


class Names:
    """Unique made-up names: a two-character stem plus a suffix."""

    def __init__(self, rng: random.Random):
        self.rng = rng
        self.stems_used: set[str] = set()

    def stem(self) -> str:
        while True:
            s = self.rng.choice(FIRST) + self.rng.choice(SECOND)
            if s[0] != s[1] and s not in self.stems_used:
                self.stems_used.add(s)
                return s


def to_lonlat(x: float, y: float) -> tuple[float, float]:
    return (round(LON0 + x / METRES_PER_DEG_LON, DECIMALS),
            round(LAT0 + y / METRES_PER_DEG_LAT, DECIMALS))


def inside(x: float, y: float) -> bool:
    return abs(x) <= HALF_SIZE and abs(y) <= HALF_SIZE


def wavy(p0, p1, amplitude: float, wavelength: float, phase: float, step: float):
    """Points from p0 to p1 with a sine offset across the chord (0 at both ends)."""
    (x0, y0), (x1, y1) = p0, p1
    length = math.hypot(x1 - x0, y1 - y0)
    n = max(1, int(math.ceil(length / step)))
    nx, ny = -(y1 - y0) / length, (x1 - x0) / length
    pts = []
    for i in range(n + 1):
        t = i / n
        # Damped towards the ends so pieces of one road meet at their chord ends.
        off = amplitude * math.sin(2 * math.pi * t * length / wavelength + phase) * math.sin(math.pi * t)
        pts.append((x0 + t * (x1 - x0) + off * nx, y0 + t * (y1 - y0) + off * ny))
    return pts


def arc(cx, cy, r, a0, a1, step: float):
    n = max(2, int(math.ceil(abs(a1 - a0) * r / step)))
    return [(cx + r * math.cos(a0 + (a1 - a0) * i / n), cy + r * math.sin(a0 + (a1 - a0) * i / n))
            for i in range(n + 1)]


def split_at(points, cuts):
    """Splits a polyline at vertex indices `cuts`; neighbouring pieces share the cut vertex."""
    out, start = [], 0
    for c in list(cuts) + [len(points) - 1]:
        if c > start:
            out.append(points[start:c + 1])
            start = c
    return out


class City:
    def __init__(self, seed: int = SEED):
        self.rng = random.Random(seed)
        self.names = Names(self.rng)
        self.rows: list[tuple[str, int, object]] = []
        self.anchors: list[tuple[tuple[float, float], tuple[float, float]]] = []  # for lanes

    # -- output -------------------------------------------------------------------
    def add(self, name: str, weight: int, parts) -> None:
        lines = []
        for pts in parts:
            ll = [to_lonlat(x, y) for x, y in pts]
            dedup = [p for i, p in enumerate(ll) if i == 0 or p != ll[i - 1]]
            if len(dedup) >= 2:
                lines.append(dedup)
        if not lines:
            return
        geom = LineString(lines[0]) if len(lines) == 1 else MultiLineString(lines)
        self.rows.append((name, weight, geom))

    def add_pieces(self, name: str, weight: int, points, pieces: int) -> None:
        """One road as `pieces` touching features with the same name."""
        n = len(points) - 1
        pieces = max(1, min(pieces, n))
        cuts = sorted(self.rng.sample(range(1, n), pieces - 1)) if pieces > 1 else []
        for piece in split_at(points, cuts):
            self.add(name, weight, [piece])
        for a, b in zip(points, points[1:]):
            self.anchors.append((a, b))

    # -- the network ------------------------------------------------------------------
    def avenues(self) -> None:
        rng = self.rng
        for axis in (0, 1):
            for k in range(-2, 3):
                c = k * 3000.0 + rng.uniform(-300, 300)
                a = (-HALF_SIZE, c) if axis == 0 else (c, -HALF_SIZE)
                b = (HALF_SIZE, c + rng.uniform(-600, 600)) if axis == 0 else (c + rng.uniform(-600, 600), HALF_SIZE)
                pts = wavy(a, b, rng.uniform(20, 120), rng.uniform(3000, 7000), rng.uniform(0, 6.3), 250.0)
                self.add_pieces(self.names.stem() + "大道", 3, pts, rng.randint(4, 7))
        # Ring roads: arcs, one name each, split into touching pieces.
        for r, name, pieces in ((5200.0, "环城大道", 12), (2600.0, "内环路", 8)):
            pts = arc(0.0, 0.0, r, 0.0, 2 * math.pi, 120.0)
            pts[-1] = pts[0]
            self.add_pieces(name, 3 if "大道" in name else 2, pts, pieces)

    def river(self) -> None:
        rng = self.rng
        centre = wavy((-HALF_SIZE, -HALF_SIZE * 0.8), (HALF_SIZE, HALF_SIZE * 0.3), 900.0, 9000.0, 0.7, 100.0)
        for side, name in ((1, "滨江东路"), (-1, "滨江西路")):
            bank = []
            for i, (x, y) in enumerate(centre):
                j = min(i + 1, len(centre) - 1)
                i0 = max(j - 1, 0)
                dx, dy = centre[j][0] - centre[i0][0], centre[j][1] - centre[i0][1]
                d = math.hypot(dx, dy) or 1.0
                bank.append((x - side * 90.0 * dy / d, y + side * 90.0 * dx / d))
            self.add_pieces(name, 2, bank, rng.randint(8, 12))

    def grid_roads(self) -> None:
        rng = self.rng
        spacing = 520.0
        lines = int(2 * HALF_SIZE / spacing)
        for axis in (0, 1):
            for k in range(lines + 1):
                c = -HALF_SIZE + k * spacing + rng.uniform(-60, 60)
                # A grid line carries one to three roads end to end.
                s = -HALF_SIZE + rng.uniform(0, 800)
                while s < HALF_SIZE - 600:
                    e = min(HALF_SIZE, s + rng.uniform(1500, 6500))
                    step = rng.uniform(150, 400)
                    n = max(2, int((e - s) / step))
                    drift = rng.uniform(-80, 80)
                    pts = []
                    for i in range(n + 1):
                        t = s + (e - s) * i / n
                        w = c + drift * i / n + rng.uniform(-6, 6)
                        pts.append((t, w) if axis == 0 else (w, t))
                    stem = self.names.stem()
                    if e - s > 3500 and rng.random() < 0.6:
                        # Long roads are named in halves: 东/西 along x, 南/北 along y.
                        half = len(pts) // 2
                        first, second = ("西", "东") if axis == 0 else ("南", "北")
                        self.add_pieces(stem + first + "路", 2, pts[:half + 1], rng.randint(1, 3))
                        self.add_pieces(stem + second + "路", 2, pts[half:], rng.randint(1, 3))
                    else:
                        self.add_pieces(stem + "路", 2, pts, rng.randint(1, 4))
                    s = e + rng.uniform(150, 900)

    def streets(self, count: int) -> None:
        rng = self.rng
        made = 0
        while made < count:
            x, y = rng.uniform(-HALF_SIZE, HALF_SIZE), rng.uniform(-HALF_SIZE, HALF_SIZE)
            length = rng.uniform(300, 1400)
            angle = rng.uniform(0, math.pi)
            kind = rng.random()
            if kind < 0.25:
                r = rng.uniform(250, 900)
                a0 = rng.uniform(0, 2 * math.pi)
                pts = arc(x, y, r, a0, a0 + length / r, 40.0)
            else:
                b = (x + length * math.cos(angle), y + length * math.sin(angle))
                amp = rng.uniform(15, 60) if kind < 0.65 else rng.uniform(0, 4)
                pts = wavy((x, y), b, amp, rng.uniform(200, 700), rng.uniform(0, 6.3), 45.0)
            if not all(inside(*p) for p in pts):
                continue
            name = self.names.stem() + "街"
            weight = 2 if rng.random() < 0.3 else 1
            if rng.random() < 0.12 and len(pts) >= 6:
                # A street interrupted by a park or a plaza: one feature, two parts.
                gap = rng.randint(1, 2)
                mid = len(pts) // 2
                self.add(name, weight, [pts[:mid], pts[mid + gap:]])
            elif rng.random() < 0.3 and len(pts) >= 4:
                self.add_pieces(name, weight, pts, 2)
            else:
                self.add(name, weight, [pts])
            made += 1

    def lanes(self, count: int) -> None:
        rng = self.rng
        made = 0
        while made < count:
            stem = self.names.stem()
            (ax, ay), (bx, by) = rng.choice(self.anchors)
            d = math.hypot(bx - ax, by - ay)
            if d < 1.0:
                continue
            # A run of numbered lanes off one road segment, alternating sides.
            n = rng.randint(1, 6)
            for i in range(n):
                t = (i + 1) / (n + 1)
                px, py = ax + t * (bx - ax), ay + t * (by - ay)
                side = 1 if i % 2 == 0 else -1
                nx, ny = -side * (by - ay) / d, side * (bx - ax) / d
                length = rng.uniform(80, 320)
                bend = rng.uniform(-0.35, 0.35)
                mx, my = px + nx * length * 0.5, py + ny * length * 0.5
                ex = mx + length * 0.5 * (nx * math.cos(bend) - ny * math.sin(bend))
                ey = my + length * 0.5 * (nx * math.sin(bend) + ny * math.cos(bend))
                pts = [(px + nx * 8, py + ny * 8), (mx, my), (ex, ey)]
                if not all(inside(*p) for p in pts):
                    continue
                name = stem + (NUMBERS[i] if n > 1 else "") + "巷"
                if rng.random() < 0.05:
                    # A lane cut by a building: two parts of one feature.
                    qx, qy = (mx + ex) / 2, (my + ey) / 2
                    self.add(name, 1, [[pts[0], (mx, my)], [(qx, qy), (ex, ey)]])
                else:
                    self.add(name, 1, [pts])
                made += 1
                if made >= count:
                    break

    def build(self) -> gpd.GeoDataFrame:
        self.avenues()
        self.river()
        self.grid_roads()
        self.streets(420)
        self.lanes(3000 - len(self.rows))
        names, weights, geoms = zip(*self.rows)
        return gpd.GeoDataFrame({"name": list(names), "weight": list(weights)},
                                geometry=list(geoms), crs="EPSG:4326")


def pin_dbf_date(dbf: Path) -> None:
    """The dBASE header stores the date of writing; a fixed one keeps the file reproducible."""
    data = bytearray(dbf.read_bytes())
    data[1:4] = bytes((124, 1, 1))  # 2024-01-01
    dbf.write_bytes(bytes(data))


def main(argv: list[str]) -> int:
    out = Path(argv[1]) if len(argv) > 1 else DEFAULT_OUT
    out.parent.mkdir(parents=True, exist_ok=True)
    city = City().build()
    shp = out.with_suffix(".shp")
    city.to_file(shp, driver="ESRI Shapefile", engine="pyogrio", encoding="UTF-8",
                 layer_options={"RESIZE": "YES"})
    pin_dbf_date(out.with_suffix(".dbf"))
    multi = int((city.geometry.geom_type == "MultiLineString").sum())
    print(f"{shp}: {len(city)} features ({multi} multi-part), "
          f"{city['name'].nunique()} names", file=sys.stderr)
    return 0


if __name__ == "__main__":
    raise SystemExit(main(sys.argv))
