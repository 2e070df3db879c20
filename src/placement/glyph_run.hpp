#pragma once
// A glyph run: the glyphs of one label laid one after another along a road
// line, each straight on the chord of the stretch of line it covers, and the
// tests that keep such a run legible (no sharp turn under it, read upright).
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "engine/line_geometry.hpp"
#include "engine/vec3.hpp"

namespace glyphway::placement {

// A glyph's box, in plan: the rectangle `width` long along `direction` and
// `height` across it, centred on `centre`. For a placed glyph the centre is
// the point of the line at the glyph's centre distance (the middle of its
// baseline, the road running through the middle of the text), width is the
// glyph's advance and height the font size.
struct GlyphBox {
    double cx = 0.0;
    double cy = 0.0;
    double dx = 1.0;  // unit reading direction in plan
    double dy = 0.0;
    double width = 0.0;
    double height = 0.0;
};

struct PlacedGlyph {
    // Distance along the line of the glyph's centre.
    double distance = 0.0;
    // The glyph's frame: `origin` is the line's point at `distance` (z
    // included), `direction` the unit chord of the stretch of line the glyph
    // covers, pointing the way the text reads (z included; its plan part
    // normalised is the box's direction). The glyph's pen position is
    // origin - direction * advance / 2.
    engine::Vec3 origin;
    engine::Vec3 direction;
    double advance = 0.0;
    GlyphBox box;
};

struct GlyphRun {
    double start = 0.0;  // the span [start, start + length] along the line
    double length = 0.0;
    // The text reads against the line's direction: glyph 0 sits at the end
    // of the span and the glyphs run back towards its start.
    bool reversed = false;
    std::vector<PlacedGlyph> glyphs;  // in reading order
};

// A further test of each glyph as it is laid out (for example: does it keep
// clear of the labels already placed); false rejects the run.
using GlyphFilter = std::function<bool(const PlacedGlyph&)>;

// Lays out glyphs of the given advances on [start, start + sum(advances)].
// The run reads along the line unless the chord from the span's start to its
// end points west (negative x), in which case the whole run is reversed.
// Nothing is returned when the span leaves the line, when two adjacent
// glyphs' directions differ by more than `max_turn` (radians), or when the
// line turns by more than `max_turn` at a vertex strictly inside the span,
// when a glyph would read west even so (its box's dx negative), or when
// `keep` (if set) refuses a glyph; the tests stop at the first failure.
// `blank` (when not empty, one flag per advance) marks glyphs drawn as
// nothing, such as word spaces: the turn is judged between the drawn glyphs
// on either side of them, which a reader sees as neighbours.
std::optional<GlyphRun> lay_out_glyph_run(const engine::LineGeometry& line, double start,
                                          const std::vector<double>& advances, double font_size,
                                          double max_turn, const GlyphFilter& keep = {},
                                          const std::vector<bool>& blank = {});

// The plan turn, in radians in [0, pi], from direction a to direction b.
double plan_turn(double ax, double ay, double bx, double by);

// Whether the line turns by more than max_turn (radians) at a vertex
// strictly inside (a, b) of its length.
bool sharp_vertex_inside(const engine::LineGeometry& line, double a, double b, double max_turn);

// Whether two glyph boxes overlap. Touching counts, and so do boxes closer
// than about 1e-4 of their heights (1e-4 working units at least).
bool glyph_boxes_overlap(const GlyphBox& a, const GlyphBox& b);

}  // namespace glyphway::placement
