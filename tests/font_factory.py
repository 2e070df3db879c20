"""Tiny fonts drawn with fontTools for hermetic tests.

Glyph set (both flavours):
  "o"  an outer square with a square counter (two contours)
  "x"  two overlapping squares (contours that cross)
  "I"  a plain bar (one contour)
  "c"  a curved bowl (quadratic curves in TrueType, cubic in CFF)
  U+4E2D ("中") a CJK code point: frame with a counter and a vertical stroke
  U+4E00 ("一") a single horizontal stroke
  "e"  a glyph that exists but has no outline (empty)
  "i"  a bar plus a degenerate two-point contour (a stray stroke)
  space
Anything else is unmapped and falls to .notdef, which is empty.
build_font's `extra` adds glyphs of a test's own: {code point: draw(pen)};
draw_bowtie and draw_mixed draw outlines GEOS cannot fold as they are.
`without` leaves code points out of the character map (a Latin-only font:
without CJK_CODEPOINTS), and `upem` draws the same outlines in a font of
another em, so a glyph's size tells which font of a chain drew it.
"""
from __future__ import annotations

from pathlib import Path

UPEM = 1000
ADVANCE = 1000
CJK_CODEPOINTS = (0x4E2D, 0x4E00)


def _rect(pen, x0, y0, x1, y1, clockwise=True):
    pts = [(x0, y0), (x0, y1), (x1, y1), (x1, y0)] if clockwise else \
          [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]
    pen.moveTo(pts[0])
    for p in pts[1:]:
        pen.lineTo(p)
    pen.closePath()


def draw_bowtie(pen):
    # One contour whose edges cross at (300, 200): two triangles of 400 x 200
    # units, wound in opposite directions.
    pen.moveTo((100, 0))
    pen.lineTo((500, 400))
    pen.lineTo((500, 0))
    pen.lineTo((100, 400))
    pen.closePath()


def draw_mixed(pen):
    draw_bowtie(pen)
    # Two 400 x 400 squares of the same direction overlapping on 200 x 200.
    _rect(pen, 600, 0, 1000, 400, clockwise=True)
    _rect(pen, 800, 200, 1200, 600, clockwise=True)
    # A 400 x 400 frame around a 200 x 200 counter of the opposite direction.
    _rect(pen, 100, 500, 500, 900, clockwise=True)
    _rect(pen, 200, 600, 400, 800, clockwise=False)


def _draw_glyphs(cubic):
    """Return {glyph name: recorded drawing}."""
    from fontTools.pens.recordingPen import RecordingPen

    glyphs = {}

    def glyph(name, draw):
        pen = RecordingPen()
        draw(pen)
        glyphs[name] = pen

    glyph(".notdef", lambda pen: None)
    glyph("space", lambda pen: None)
    glyph("e", lambda pen: None)

    def draw_o(pen):
        _rect(pen, 100, 0, 600, 700, clockwise=True)
        _rect(pen, 250, 150, 450, 550, clockwise=False)
    glyph("o", draw_o)

    def draw_x(pen):
        _rect(pen, 100, 0, 500, 400)
        _rect(pen, 300, 200, 700, 600)
    glyph("x", draw_x)

    glyph("I", lambda pen: _rect(pen, 200, 0, 350, 700))

    def draw_c(pen):
        pen.moveTo((600, 100))
        if cubic:
            pen.curveTo((500, 0), (200, 0), (100, 350))
            pen.curveTo((200, 700), (500, 700), (600, 600))
        else:
            pen.qCurveTo((350, -100), (100, 350))
            pen.qCurveTo((350, 800), (600, 600))
        pen.lineTo((500, 500))
        if cubic:
            pen.curveTo((400, 580), (250, 550), (220, 350))
            pen.curveTo((250, 150), (400, 120), (500, 200))
        else:
            pen.qCurveTo((250, 600), (220, 350))
            pen.qCurveTo((250, 100), (500, 200))
        pen.closePath()
    glyph("c", draw_c)

    def draw_zhong(pen):
        _rect(pen, 100, 200, 900, 600, clockwise=True)
        _rect(pen, 200, 300, 800, 500, clockwise=False)
        _rect(pen, 450, -100, 550, 200, clockwise=True)
        _rect(pen, 450, 600, 550, 850, clockwise=True)
    glyph("uni4E2D", draw_zhong)

    glyph("uni4E00", lambda pen: _rect(pen, 50, 350, 950, 450))

    def draw_i(pen):
        _rect(pen, 200, 0, 350, 500)
        pen.moveTo((200, 600))
        pen.lineTo((350, 700))
        pen.closePath()
    glyph("i", draw_i)
    return glyphs


CMAP = {
    0x20: "space", ord("o"): "o", ord("x"): "x", ord("I"): "I",
    ord("c"): "c", ord("e"): "e", ord("i"): "i", 0x4E2D: "uni4E2D", 0x4E00: "uni4E00",
}


def build_font(path: str | Path, flavour: str = "ttf", extra=None, without=(),
               upem: int = UPEM, family: str = "Glyphway Test") -> Path:
    """Write a test font to `path`; flavour "ttf" (quadratic) or "otf" (CFF, cubic).

    `extra` maps further code points to functions drawing their glyph on a pen;
    `without` lists code points left unmapped; `upem` is the font's em and
    `family` its family name.
    """
    from fontTools.fontBuilder import FontBuilder
    from fontTools.pens.recordingPen import RecordingPen

    path = Path(path)
    cubic = flavour == "otf"
    order = [".notdef", "space", "o", "x", "I", "c", "e", "uni4E2D", "uni4E00", "i"]
    cmap = {c: name for c, name in CMAP.items() if c not in without}
    drawn = _draw_glyphs(cubic)
    for codepoint, draw in (extra or {}).items():
        name = f"extra{codepoint:04X}"
        pen = RecordingPen()
        draw(pen)
        drawn[name] = pen
        order.append(name)
        cmap[codepoint] = name
    fb = FontBuilder(upem, isTTF=not cubic)
    fb.setupGlyphOrder(order)
    fb.setupCharacterMap(cmap)
    from fontTools.pens.boundsPen import BoundsPen

    metrics = {}
    for name, rec in drawn.items():
        bounds = BoundsPen(None)
        rec.replay(bounds)
        metrics[name] = (ADVANCE, int(bounds.bounds[0]) if bounds.bounds else 0)
    if cubic:
        from fontTools.pens.t2CharStringPen import T2CharStringPen
        charstrings = {}
        for name, rec in drawn.items():
            pen = T2CharStringPen(ADVANCE, None)
            rec.replay(pen)
            charstrings[name] = pen.getCharString()
        fb.setupCFF(family.replace(" ", "") + "-Regular", {"FullName": family}, charstrings, {})
    else:
        from fontTools.pens.ttGlyphPen import TTGlyphPen
        glyf = {}
        for name, rec in drawn.items():
            pen = TTGlyphPen(None)
            rec.replay(pen)
            glyf[name] = pen.glyph()
        fb.setupGlyf(glyf)
    fb.setupHorizontalMetrics(metrics)
    fb.setupHorizontalHeader(ascent=900, descent=-200)
    fb.setupNameTable({"familyName": family, "styleName": "Regular"})
    fb.setupOS2(sTypoAscender=900, sTypoDescender=-200, usWinAscent=900, usWinDescent=200)
    fb.setupPost()
    fb.save(str(path))
    return path
