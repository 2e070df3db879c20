"""A picture of a placement: the roads, every visible label's footprint and
its text, for checking density and collisions by eye.

The footprints (straight rectangles of the text's length and height,
centred at the anchor and turned to the reading direction) come from the
native label table; this module only builds the Matplotlib artists. A
cartographic placement lays each name glyph by glyph along its road, so it
is drawn glyph by glyph: each glyph's box, and its character turned as the
glyph is.
"""
from __future__ import annotations

import hashlib
import io
import os

from glyphway_maker import labels as _labels

# Above this many labels the texts would be an unreadable smear and slow to
# draw; only the footprints are drawn then.
MAX_TEXT_LABELS = 3000


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
            font_path=_labels.RUN_DEFAULTS["font_path"], style=_labels.RUN_DEFAULTS["style"],
            max_char_angle=_labels.RUN_DEFAULTS["max_char_angle"],
            cjk_orientation=_labels.RUN_DEFAULTS["cjk_orientation"], **options):
    """Draws the placement of :func:`place_labels` (same input and options) to
    `out_png`, a PNG of width_px x height_px pixels: the roads in grey, each
    visible label's footprint coloured by its group, the texts (in the
    engine's font) when there are at most MAX_TEXT_LABELS labels, a scale bar
    and the working CRS in the title. With style="cartographic" every glyph
    is drawn on its own box. Returns the number of labels drawn."""
    import matplotlib
    matplotlib.use("Agg")
    import numpy as np
    from matplotlib import colormaps
    from matplotlib.collections import LineCollection, PolyCollection
    from matplotlib.figure import Figure
    from mpl_toolkits.axes_grid1.anchored_artists import AnchoredSizeBar

    import glyphway_accel_avx2 as _native
    # A target it could not write is refused before the placement runs.
    _native._check_output(out_png)
    with _labels.input_path(shp_or_gdf) as path:
        engine, table, working_crs = _labels.prepared_table(
            path, font_path=font_path, style=style, max_char_angle=max_char_angle,
            cjk_orientation=cjk_orientation, **options)
        segments = _road_segments(path, working_crs, engine)

    figure = Figure(figsize=(width_px / dpi, height_px / dpi), dpi=dpi)
    axes = figure.add_axes((0.02, 0.02, 0.96, 0.92))
    axes.set_aspect("equal")
    axes.set_xticks([])
    axes.set_yticks([])
    if segments:
        axes.add_collection(LineCollection(segments, colors="0.6", linewidths=0.8, zorder=1))

    count = len(table["corners"])
    by_glyph = "glyph_corners" in table
    corners = table["glyph_corners"] if by_glyph else table["corners"]
    palette = colormaps["tab20"]
    if len(corners):
        colours = [palette(_group_colour_index(g, palette.N)) for g in table["group_id"]]
        if by_glyph:
            colours = [colours[k] for k in table["glyph_label"]]
        axes.add_collection(PolyCollection(list(corners), facecolors=colours,
                                           edgecolors=colours, alpha=0.45, linewidths=0.6,
                                           zorder=2))

    drew_text = 0 < count <= MAX_TEXT_LABELS
    sized_texts = []
    if drew_text:
        font = _text_font(engine)
        sizes = table["effective_font_size"]
        if by_glyph:
            texts = zip(table["glyph_x"], table["glyph_y"], table["glyph_rotation_deg"],
                        (sizes[k] for k in table["glyph_label"]),
                        (chr(c) for c in table["glyph_char"]))
        else:
            texts = zip(table["x"], table["y"], table["rotation_deg"], sizes,
                        table["effective_text"])
        for x, y, angle, size, text in texts:
            upright = ((angle + 90.0) % 360.0) - 90.0  # never upside down on screen
            artist = axes.text(x, y, str(text), fontproperties=font, fontsize=1.0,
                               rotation=upright, rotation_mode="anchor", ha="center",
                               va="center", zorder=3)
            sized_texts.append((artist, float(size)))

    points = [np.vstack(segments)] if segments else []
    if len(corners):
        points.append(corners.reshape(-1, 2))
    if points:
        every = np.vstack(points)
        low, high = every.min(axis=0), every.max(axis=0)
        pad = 0.03 * max(float((high - low).max()), 1.0)
        axes.set_xlim(low[0] - pad, high[0] + pad)
        axes.set_ylim(low[1] - pad, high[1] + pad)

    if sized_texts:
        _fit_text_sizes(figure, axes, sized_texts)

    x0, x1 = axes.get_xlim()
    bar = _scale_bar_length(x1 - x0)
    axes.add_artist(AnchoredSizeBar(axes.transData, bar, _length_label(bar), "lower right",
                                    pad=0.5, frameon=True, size_vertical=(x1 - x0) / 300.0))

    title = f"{count} labels, {working_crs if working_crs is not None else 'no CRS'}"
    if count > MAX_TEXT_LABELS:
        title += f" (texts not drawn above {MAX_TEXT_LABELS} labels)"
    axes.set_title(title, fontsize=10)
    _save_png(figure, out_png, dpi)
    return count


def _text_font(engine):
    """The engine's font for Matplotlib: its font file, or with fallback
    fonts behind it, their families in order (each file made known to the
    font manager), which Matplotlib tries per character as the meshes do."""
    from matplotlib import font_manager
    fallbacks = tuple(getattr(engine, "fallback_fonts", ()))
    if not fallbacks:
        return font_manager.FontProperties(fname=engine.font_path)
    known = {entry.fname for entry in font_manager.fontManager.ttflist}
    families = []
    for path in (engine.font_path, *fallbacks):
        path = os.fspath(path)
        if path not in known:
            font_manager.fontManager.addfont(path)
        families.append(font_manager.FontProperties(fname=path).get_name())
    return font_manager.FontProperties(family=families)


def _fit_text_sizes(figure, axes, sized_texts):
    """Sets each text's point size so it is about as tall as its label's box."""
    (x0, x1), width_in = axes.get_xlim(), axes.get_position().width * figure.get_figwidth()
    (y0, y1), height_in = axes.get_ylim(), axes.get_position().height * figure.get_figheight()
    # With equal aspect the box shrinks to fit, so one data unit is drawn at
    # the smaller of the two scales.
    points_per_unit = 72.0 * min(width_in / (x1 - x0), height_in / (y1 - y0))
    for artist, size in sized_texts:
        # Glyphs fill about 80% of their em square.
        artist.set_fontsize(max(size * points_per_unit * 0.8, 0.5))


def _save_png(figure, out_png, dpi):
    import glyphway_accel_avx2 as _native
    from matplotlib.backends.backend_agg import FigureCanvasAgg
    FigureCanvasAgg(figure)
    buffer = io.BytesIO()
    figure.savefig(buffer, format="png", dpi=dpi)
    # The native writers' rule for the target: same refusals, an existing
    # file's mode kept, a new one's from the umask, a device written in place.
    _native._write_output(out_png, buffer.getvalue())
