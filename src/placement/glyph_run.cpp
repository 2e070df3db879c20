#include "placement/glyph_run.hpp"

#include <algorithm>
#include <cmath>

#include "solver/rectangle_overlap.hpp"

namespace glyphway::placement {

namespace detail {

using engine::LineGeometry;
using engine::Vec3;

Vec3 point_at(const LineGeometry& line, double distance) {
    return *engine::interpolate(line, distance);
}

// The plan direction of the first segment with length at or after vertex i
// (forward) or ending at or before it (backward); false when there is none.
bool segment_direction(const LineGeometry& line, std::size_t i, bool forward, double& dx,
                       double& dy) {
    const std::size_t n = line.points.size();
    if (forward) {
        for (std::size_t k = i; k + 1 < n; ++k) {
            if (line.cumulative[k + 1] > line.cumulative[k]) {
                dx = line.points[k + 1].x - line.points[k].x;
                dy = line.points[k + 1].y - line.points[k].y;
                return true;
            }
        }
        return false;
    }
    for (std::size_t k = i; k > 0; --k) {
        if (line.cumulative[k] > line.cumulative[k - 1]) {
            dx = line.points[k].x - line.points[k - 1].x;
            dy = line.points[k].y - line.points[k - 1].y;
            return true;
        }
    }
    return false;
}

// Whether the line turns by more than max_turn at a vertex strictly inside
// (a, b).
bool sharp_vertex_inside(const LineGeometry& line, double a, double b, double max_turn) {
    const auto& cum = line.cumulative;
    auto it = std::upper_bound(cum.begin(), cum.end(), a);
    for (; it != cum.end() && *it < b; ++it) {
        const std::size_t i = static_cast<std::size_t>(it - cum.begin());
        double ix = 0, iy = 0, ox = 0, oy = 0;
        if (!segment_direction(line, i, false, ix, iy) || !segment_direction(line, i, true, ox, oy))
            continue;
        if (plan_turn(ix, iy, ox, oy) > max_turn) return true;
    }
    return false;
}

// The glyph covering [a, b] along the line (pa, pb the line's points there),
// reading from a to b when !backwards and from b to a otherwise.
PlacedGlyph glyph_on(const LineGeometry& line, double a, double b, const Vec3& pa,
                     const Vec3& pb, bool backwards, double font_size) {
    PlacedGlyph g;
    g.distance = 0.5 * (a + b);
    g.advance = b - a;
    g.origin = point_at(line, g.distance);
    Vec3 chord = pb - pa;
    if (backwards) chord = -chord;
    double plan = std::hypot(chord.x, chord.y);
    if (!(plan > 0.0)) {
        // A glyph folded onto itself (a hairpin narrower than the glyph):
        // the segment under its centre still gives it a direction.
        const std::size_t i = static_cast<std::size_t>(
            std::upper_bound(line.cumulative.begin(), line.cumulative.end(), g.distance) -
            line.cumulative.begin());
        double sx = 1.0, sy = 0.0;
        segment_direction(line, i == 0 ? 0 : i - 1, true, sx, sy);
        chord = backwards ? Vec3{-sx, -sy, 0.0} : Vec3{sx, sy, 0.0};
        plan = std::hypot(chord.x, chord.y);
    }
    const double full = engine::norm(chord);
    g.direction = chord / full;
    g.box = {g.origin.x, g.origin.y, chord.x / plan, chord.y / plan, g.advance, font_size};
    return g;
}

}  // namespace detail

double plan_turn(double ax, double ay, double bx, double by) {
    return std::fabs(std::atan2(ax * by - ay * bx, ax * bx + ay * by));
}

bool sharp_vertex_inside(const engine::LineGeometry& line, double a, double b, double max_turn) {
    return detail::sharp_vertex_inside(line, a, b, max_turn);
}

namespace {

// Single-precision rounding can separate two boxes that only touch; a margin
// far below any visible size makes touching boxes overlap for certain.
solver::Rect pad(solver::Rect r) {
    const float margin = 1e-4f * std::max(r.height, 1.0f);
    r.length += margin;
    r.height += margin;
    return r;
}

}  // namespace

bool glyph_boxes_overlap(const GlyphBox& a, const GlyphBox& b) {
    // Offsets are taken in double and only then narrowed: projected map
    // coordinates in the millions would lose a metre in single precision.
    const solver::Rect ra{0.0f, 0.0f, static_cast<float>(a.dx), static_cast<float>(a.dy),
                          static_cast<float>(a.width), static_cast<float>(a.height)};
    const solver::Rect rb{static_cast<float>(b.cx - a.cx), static_cast<float>(b.cy - a.cy),
                          static_cast<float>(b.dx), static_cast<float>(b.dy),
                          static_cast<float>(b.width), static_cast<float>(b.height)};
    return solver::rects_overlap(pad(ra), pad(rb));
}

std::optional<GlyphRun> lay_out_glyph_run(const engine::LineGeometry& line, double start,
                                          const std::vector<double>& advances, double font_size,
                                          double max_turn, const GlyphFilter& keep,
                                          const std::vector<bool>& blank) {
    double total = 0.0;
    for (double a : advances) total += a;
    const double end = start + total;
    if (advances.empty() || !(start >= 0.0) || !(end <= engine::line_length(line))) {
        return std::nullopt;
    }
    if (detail::sharp_vertex_inside(line, start, end, max_turn)) return std::nullopt;

    GlyphRun run;
    run.start = start;
    run.length = total;
    const engine::Vec3 first = detail::point_at(line, start);
    const engine::Vec3 last = detail::point_at(line, end);
    run.reversed = last.x - first.x < 0.0;
    run.glyphs.reserve(advances.size());
    double pen = 0.0;
    // Each glyph's leading edge is the previous one's trailing edge.
    engine::Vec3 edge = run.reversed ? last : first;
    std::optional<std::size_t> previous_drawn;
    for (double advance : advances) {
        double a = 0.0, b = 0.0;
        engine::Vec3 pa, pb;
        if (run.reversed) {
            b = end - pen;
            a = b - advance;
            pb = edge;
            pa = detail::point_at(line, a);
            edge = pa;
        } else {
            a = start + pen;
            b = a + advance;
            pa = edge;
            pb = detail::point_at(line, b);
            edge = pb;
        }
        const std::size_t index = run.glyphs.size();
        run.glyphs.push_back(detail::glyph_on(line, a, b, pa, pb, run.reversed, font_size));
        pen += advance;
        const bool drawn = blank.empty() || !blank[index];
        if (drawn) {
            if (previous_drawn) {
                const GlyphBox& p = run.glyphs[*previous_drawn].box;
                const GlyphBox& q = run.glyphs.back().box;
                if (plan_turn(p.dx, p.dy, q.dx, q.dy) > max_turn) return std::nullopt;
            }
            previous_drawn = index;
        }
        // Upright as a whole or not at all: a glyph that would still read
        // west (a run across a north-south wiggle) rules out the span, since
        // turning single glyphs round would break the reading order.
        if (run.glyphs.back().box.dx < 0.0) return std::nullopt;
        if (keep && !keep(run.glyphs.back())) return std::nullopt;
    }
    return run;
}

}  // namespace glyphway::placement
