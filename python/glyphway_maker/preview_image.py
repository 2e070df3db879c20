"""A picture of a placement that reads as a map: the roads thin and light,
every visible label's glyphs drawn as filled outlines at their true size and
angle where the placement put them, dark with a white halo, and a scale bar.

The glyphs are the outlines the meshes are built from (the engine's fonts
read unhinted, one em scaled to the label's font size in working units), so
the picture shows what the OBJ shows seen from above: a cartographic label
glyph by glyph on the cells its placement gave it, an interval label as one
straight string at its anchor and rotation, set as the meshes set it. The
angles are drawn as placed: a label the placement turned upside down is
drawn upside down. The label table (footprints, glyph cells) comes from the
native module; this module only turns it into Matplotlib artists.
"""
from __future__ import annotations

import hashlib
import io

from glyphway_maker import labels as _labels

# Above this many labels the glyphs are not drawn (only the roads, and the
# footprints when asked for). A whole city draws its text (Lisbon's 4000
# cartographic labels add 0.7 to 2.4 s to a 1.8 s preview,
# bench/bench_preview.py); three cities together (31,000 labels) would go
# from 3 s to 10 s or more and take 280 MB more, for glyphs far below a pixel.
MAX_TEXT_LABELS = 20000

def _group_colour_index(group_id, colours):
    # A stable hash (not hash(), which is salted per process) so one road
    # keeps its colour from run to run.
    digest = hashlib.blake2b(str(group_id).encode("utf-8"), digest_size=4).digest()
    return int.from_bytes(digest, "little") % colours


def _road_segments(path, working_crs, engine):
    """The lines of the roads the engine read: the same source, layer and
    road ways (the reading options set on it)."""
    import numpy as np

    from glyphway_maker._road_input import read_frame
    reading = {name: getattr(engine, name, _labels.RUN_DEFAULTS[name])
               for name in _labels.READING_OPTIONS}
    roads = read_frame(path, name_field=engine.name_field, weight_field=engine.weight_field,
                       **reading)
    if working_crs is not None and roads.crs is not None and roads.crs != working_crs:
        roads = roads.to_crs(working_crs)
    segments = []
    for geometry in roads.geometry:
        if geometry is None or geometry.is_empty:
            continue
        parts = getattr(geometry, "geoms", [geometry])
        for part in parts:
            coords = np.asarray(part.coords)[:, :2]
            if len(coords) >= 2:
                segments.append(coords)
    return segments


def _scale_bar_length(span):
    """A round length (1, 2 or 5 times a power of ten) near a fifth of `span`."""
    import math
    if not span > 0:
        return 1.0
    target = span / 5.0
    power = 10.0 ** math.floor(math.log10(target))
    for step in (5.0, 2.0, 1.0):
        if step * power <= target:
            return step * power
    return power


def _length_label(metres):
    if metres >= 1000.0:
        return f"{metres / 1000.0:g} km"
    return f"{metres:g} m"


@_labels.with_reading_keywords
def preview(shp_or_gdf, out_png, *, width_px=1600, height_px=1200, dpi=100,
            footprints=False, font_path=_labels.RUN_DEFAULTS["font_path"],
            style=_labels.RUN_DEFAULTS["style"],
            max_char_angle=_labels.RUN_DEFAULTS["max_char_angle"],
            cjk_orientation=_labels.RUN_DEFAULTS["cjk_orientation"], **options):
    """Draws the placement of :func:`place_labels` (same input and options) to
    `out_png`, a PNG of width_px x height_px pixels: the roads in light grey,
    every visible label's glyphs at their true size and angle in the
    engine's fonts (dark, with a white halo) when there are at most
    MAX_TEXT_LABELS labels, a scale bar and the working CRS in the title.
    With style="cartographic" the glyphs follow their road one by one.
    `footprints=True` also draws each label's box (each glyph's box in the
    cartographic style) under the text, coloured by road. Returns the number
    of labels drawn."""
    import matplotlib
    matplotlib.use("Agg")

    import glyphway_accel_avx2 as _native
    # A target it could not write is refused before the placement runs.
    _native._check_output(out_png)
    with _labels.input_path(shp_or_gdf) as path:
        engine, table, working_crs = _labels.prepared_table(
            path, font_path=font_path, style=style, max_char_angle=max_char_angle,
            cjk_orientation=cjk_orientation, **options)
        segments = _road_segments(path, working_crs, engine)
    figure = _draw(engine, table, working_crs, segments, width_px, height_px, dpi,
                   bool(footprints))
    _save_png(figure, out_png, dpi)
    return len(table["corners"])


def _draw(engine, table, working_crs, segments, width_px, height_px, dpi, footprints):
    import numpy as np
    from matplotlib import colormaps
    from matplotlib.collections import LineCollection, PolyCollection
    from matplotlib.figure import Figure
    from mpl_toolkits.axes_grid1.anchored_artists import AnchoredSizeBar

    figure = Figure(figsize=(width_px / dpi, height_px / dpi), dpi=dpi)
    axes = figure.add_axes((0.02, 0.02, 0.96, 0.92))
    axes.set_aspect("equal")
    axes.set_xticks([])
    axes.set_yticks([])
    if segments:
        axes.add_collection(LineCollection(segments, colors="0.78", linewidths=0.7,
                                           capstyle="round", zorder=1))

    count = len(table["corners"])
    by_glyph = "glyph_corners" in table
    corners = table["glyph_corners"] if by_glyph else table["corners"]
    if footprints and len(corners):
        palette = colormaps["tab20"]
        colours = [palette(_group_colour_index(g, palette.N)) for g in table["group_id"]]
        if by_glyph:
            colours = [colours[k] for k in table["glyph_label"]]
        axes.add_collection(PolyCollection(list(corners), facecolors=colours,
                                           edgecolors=colours, alpha=0.45, linewidths=0.6,
                                           zorder=2, gid=FOOTPRINTS_GID))

    points = [np.vstack(segments)] if segments else []
    if len(corners):
        points.append(corners.reshape(-1, 2))
    if points:
        every = np.vstack(points)
        low, high = every.min(axis=0), every.max(axis=0)
        pad = 0.03 * max(float((high - low).max()), 1.0)
        axes.set_xlim(low[0] - pad, high[0] + pad)
        axes.set_ylim(low[1] - pad, high[1] + pad)

    if 0 < count <= MAX_TEXT_LABELS:
        outlines = GlyphOutlines(engine)
        path = (cartographic_glyph_path(table, outlines, float(engine.font_size)) if by_glyph
                else interval_glyph_path(table, outlines, float(engine.letter_spacing)))
        if path is not None:
            _add_lettering(figure, axes, path, np.median(table["effective_font_size"]))

    x0, x1 = axes.get_xlim()
    bar = _scale_bar_length(x1 - x0)
    axes.add_artist(AnchoredSizeBar(axes.transData, bar, _length_label(bar), "lower right",
                                    pad=0.5, frameon=True, size_vertical=(x1 - x0) / 300.0))

    title = f"{count} labels, {working_crs if working_crs is not None else 'no CRS'}"
    if count > MAX_TEXT_LABELS:
        title += f" (texts not drawn above {MAX_TEXT_LABELS} labels)"
    axes.set_title(title, fontsize=10)
    return figure


# The artists' ids, by which a picture's parts can be found in its figure.
GLYPHS_GID = "label-glyphs"
FOOTPRINTS_GID = "label-footprints"


def _pixels_per_unit(figure, axes):
    """How many pixels one data unit is drawn across: with equal aspect the
    box shrinks to fit, so the smaller of the two scales."""
    (x0, x1), width_in = axes.get_xlim(), axes.get_position().width * figure.get_figwidth()
    (y0, y1), height_in = axes.get_ylim(), axes.get_position().height * figure.get_figheight()
    return figure.dpi * min(width_in / (x1 - x0), height_in / (y1 - y0))


def _add_lettering(figure, axes, path, font_size):
    """The glyph outlines as one filled patch, dark on a white halo. One
    patch strokes every halo before it fills any glyph, so no label's halo
    covers the letters of a label it touches."""
    from matplotlib import patheffects
    from matplotlib.patches import PathPatch

    # The halo is an eighth of the em wide, so glyphs far below a pixel (a
    # whole city) leave the roads under them alone, and never wider than 2.5
    # points, where text is drawn large.
    em_points = float(font_size) * _pixels_per_unit(figure, axes) * 72.0 / figure.dpi
    halo = min(em_points / 8.0, 2.5)
    patch = PathPatch(path, facecolor="0.1", edgecolor="none", zorder=3, gid=GLYPHS_GID,
                      path_effects=[patheffects.withStroke(linewidth=2.0 * halo,
                                                           foreground="white")])
    # add_artist, not add_patch: the view is already set, and add_patch would
    # measure every curve of a city's glyphs for the data limits (40 s for
    # Lisbon's 4000 labels).
    axes.add_artist(patch)


class GlyphOutlines:
    """The engine's glyph outlines in em units (the pen at the origin, the
    baseline at y = 0), read as the meshes read them: unhinted from the
    font file, each character from the first font of the chain that maps it
    (the first font's missing-glyph outline when none does). Whitespace has
    no outline."""

    def __init__(self, engine):
        import os
        from matplotlib.font_manager import get_font
        paths = [engine.font_path, *getattr(engine, "fallback_fonts", ())]
        # A collection (.ttc) is read at its first face, as the engine reads it.
        self._fonts = [get_font(os.fspath(p)) for p in paths]
        self._outlines = {}

    # The size outlines are read at: the reference em of 100 units that
    # Matplotlib's text paths and the meshes use.
    _READ_SIZE = 100.0

    def outline(self, code):
        """(vertices, codes, (x0, x1)) of the character in em units, or None
        when it draws nothing."""
        if code in self._outlines:
            return self._outlines[code]
        found = None
        if not chr(code).isspace():
            found = self._read(code)
        self._outlines[code] = found
        return found

    def _read(self, code):
        import numpy as np
        from matplotlib.ft2font import LoadFlags
        from matplotlib.path import Path
        font = next((f for f in self._fonts if f.get_char_index(code)), self._fonts[0])
        font.set_size(self._READ_SIZE, 72)
        font.load_glyph(font.get_char_index(code), flags=LoadFlags.NO_HINTING)
        vertices, codes = font.get_path()
        if len(vertices) == 0:
            return None
        vertices = np.asarray(vertices, dtype=float) / self._READ_SIZE
        extents = Path(vertices, codes).get_extents()
        return vertices, np.asarray(codes, dtype=np.uint8), (extents.x0, extents.x1)


def _text_path_size(font_size):
    # The meshes read outlines at no less than size 1 (Matplotlib's text
    # path rule), whatever smaller size they are asked for.
    return font_size if font_size >= 1.0 else 1.0


def _placed_path(outlines, characters, origins, angles, ems):
    """One compound path of the glyphs `characters[i]` (code points), each
    with its pen at origins[i], its baseline turned `angles[i]` radians
    counter-clockwise from east and one em of ems[i] working units; None
    when none draws anything. The glyphs of one character are placed
    together, so a city's worth costs one array operation per character."""
    import numpy as np
    from matplotlib.path import Path
    vertices, codes = [], []
    for code in np.unique(characters):
        outline = outlines.outline(int(code))
        if outline is None:
            continue
        local, local_codes, _ = outline
        mine = characters == code
        cos, sin = np.cos(angles[mine]), np.sin(angles[mine])
        u = local[None, :, 0] * ems[mine, None]
        v = local[None, :, 1] * ems[mine, None]
        placed = np.empty((int(mine.sum()), len(local), 2))
        placed[..., 0] = origins[mine, 0, None] + u * cos[:, None] - v * sin[:, None]
        placed[..., 1] = origins[mine, 1, None] + u * sin[:, None] + v * cos[:, None]
        vertices.append(placed.reshape(-1, 2))
        codes.append(np.tile(local_codes, len(placed)))
    if not vertices:
        return None
    return Path(np.concatenate(vertices), np.concatenate(codes))


def _along(x, y, angles, along, across):
    """The points `along` the direction `angles` and `across` it (to its
    left) from (x, y), as an n x 2 array."""
    import numpy as np
    cos, sin = np.cos(angles), np.sin(angles)
    return np.column_stack((x + along * cos - across * sin, y + along * sin + across * cos))


def cartographic_glyph_path(table, outlines, engine_font_size):
    """The cartographic labels' glyphs on their cells: as the OBJ draws a
    placed glyph, its pen at the cell's start (the cell is centred on the
    road point and as long as the glyph's shaped advance) and its baseline
    half the label's font size below the cell's centre line. The outline is
    read at the engine's size and scaled to the label's."""
    import numpy as np
    if not len(table["glyph_char"]):
        return None
    corners = table["glyph_corners"]
    advance = np.hypot(*(corners[:, 1] - corners[:, 0]).T)
    size = np.asarray(table["effective_font_size"], dtype=float)[table["glyph_label"]]
    angles = np.radians(table["glyph_rotation_deg"])
    scale = (_text_path_size(engine_font_size) / engine_font_size if engine_font_size > 0.0
             else 1.0)
    origins = _along(table["glyph_x"], table["glyph_y"], angles, -0.5 * advance, -0.5 * size)
    return _placed_path(outlines, np.asarray(table["glyph_char"]), origins, angles,
                        size * scale)


def interval_glyph_path(table, outlines, letter_spacing):
    """The interval labels' texts, each one straight string at its anchor and
    rotation at its fitted size, set as the meshes set a string: each glyph
    starts `letter_spacing` after the ink of the one before (names are set
    tight), a space is half the font size wide, and the whole string's ink is
    centred on the anchor with its baseline half the font size below it."""
    import numpy as np
    characters, pens, rows = [], [], []
    for row, (text, size) in enumerate(zip(table["effective_text"],
                                           table["effective_font_size"])):
        size = float(size)
        em = _text_path_size(size)
        pen, low, high, first = 0.0, 0.0, 0.0, len(pens)
        for character in str(text):
            code = ord(character)
            outline = outlines.outline(code)
            if outline is None:
                pen += (0.5 if character.isspace() else 1.0) * size + letter_spacing
                continue
            x0, x1 = outline[2]
            if len(pens) == first:
                low, high = pen + x0 * em, pen + x1 * em
            low, high = min(low, pen + x0 * em), max(high, pen + x1 * em)
            characters.append(code)
            pens.append(pen)
            rows.append(row)
            pen += x1 * em + letter_spacing
        centre = 0.5 * (low + high)
        for k in range(first, len(pens)):
            pens[k] -= centre
    if not characters:
        return None
    rows = np.asarray(rows)
    size = np.asarray(table["effective_font_size"], dtype=float)[rows]
    angles = np.radians(np.asarray(table["rotation_deg"], dtype=float)[rows])
    origins = _along(np.asarray(table["x"])[rows], np.asarray(table["y"])[rows], angles,
                     np.asarray(pens), -0.5 * size)
    ems = np.where(size >= 1.0, size, 1.0)
    return _placed_path(outlines, np.asarray(characters), origins, angles, ems)


def _save_png(figure, out_png, dpi):
    import glyphway_accel_avx2 as _native
    from matplotlib.backends.backend_agg import FigureCanvasAgg
    FigureCanvasAgg(figure)
    buffer = io.BytesIO()
    figure.savefig(buffer, format="png", dpi=dpi)
    # The native writers' rule for the target: same refusals, an existing
    # file's mode kept, a new one's from the umask, a device written in place.
    _native._write_output(out_png, buffer.getvalue())
