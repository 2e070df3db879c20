#include "placement/upright_run.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/utf8_text.hpp"

namespace glyphway::placement {

namespace {

// Han (every extension plane), kana, Hangul, bopomofo, CJK punctuation and
// symbols, and the halfwidth and fullwidth forms.
bool is_cjk(char32_t c) {
    return (c >= 0x1100 && c <= 0x11FF) ||    // Hangul jamo
           (c >= 0x2E80 && c <= 0x9FFF) ||    // radicals, punctuation, kana, Han, ...
           (c >= 0xA960 && c <= 0xA97F) ||    // Hangul jamo extended-A
           (c >= 0xAC00 && c <= 0xD7FF) ||    // Hangul syllables, jamo extended-B
           (c >= 0xF900 && c <= 0xFAFF) ||    // compatibility ideographs
           (c >= 0xFE30 && c <= 0xFE4F) ||    // compatibility forms
           (c >= 0xFF00 && c <= 0xFFEF) ||    // halfwidth and fullwidth forms
           (c >= 0x20000 && c <= 0x3FFFF);    // supplementary ideographs
}

// The gap between neighbouring upright glyphs' boxes, in font sizes: enough
// to read them as separate characters, small enough to read one name.
constexpr double kUprightGap = 0.1;

double largest(const std::vector<double>& advances) {
    double a = 0.0;
    for (double x : advances) a = std::max(a, x);
    return a;
}

// The step along a road of plan direction (cx, cy) (unit) at which
// neighbouring axis-aligned boxes `width` wide and `height` high clear each
// other by `gap`: whichever of the east or north separation comes first.
double step_for(double cx, double cy, double width, double height, double gap) {
    const double inf = std::numeric_limits<double>::infinity();
    const double east = std::fabs(cx) > 0.0 ? (width + gap) / std::fabs(cx) : inf;
    const double north = std::fabs(cy) > 0.0 ? (height + gap) / std::fabs(cy) : inf;
    return std::min(east, north);
}

}  // namespace

bool mostly_cjk(std::u32string_view text, const std::vector<bool>& blank) {
    const bool marked = blank.size() == text.size();
    std::size_t drawn = 0, cjk = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (marked && blank[i]) continue;
        ++drawn;
        if (is_cjk(text[i])) ++cjk;
    }
    return 2 * cjk > drawn;
}

bool stands_upright(CjkOrientation orientation, const std::string& utf8_text,
                    const std::vector<bool>& blank) {
    switch (orientation) {
        case CjkOrientation::along: return false;
        case CjkOrientation::upright: return true;
        case CjkOrientation::automatic: return mostly_cjk(engine::code_points(utf8_text), blank);
    }
    return false;
}

double upright_span_width(const std::vector<double>& advances, double font_size) {
    // The step is largest on the road direction where the east and north
    // clearances are reached together: the diagonal of the padded box.
    const double gap = kUprightGap * font_size;
    return static_cast<double>(advances.size()) *
           std::hypot(largest(advances) + gap, font_size + gap);
}

std::optional<GlyphRun> lay_out_upright_run(const engine::LineGeometry& line, double start,
                                            const std::vector<double>& advances,
                                            double font_size, double max_turn,
                                            const GlyphFilter& keep) {
    const double room = upright_span_width(advances, font_size);
    const double line_len = engine::line_length(line);
    if (advances.empty() || !(room > 0.0) || !(start >= 0.0) || !(start + room <= line_len)) {
        return std::nullopt;
    }
    const double n = static_cast<double>(advances.size());
    const double width = largest(advances);
    const double gap = kUprightGap * font_size;

    // The step depends on the span's direction and the span on the step: a
    // few rounds from the widest step settle it (each round only shortens
    // the span about its middle, so its chord barely turns).
    double step = room / n;
    double a = start, b = start + room;
    double cx = 0.0, cy = 0.0;
    for (int round = 0; round < 4; ++round) {
        a = start + 0.5 * (room - n * step);
        b = a + n * step;
        const engine::Vec3 pa = *engine::interpolate(line, a);
        const engine::Vec3 pb = *engine::interpolate(line, b);
        const double dx = pb.x - pa.x, dy = pb.y - pa.y;
        const double chord = std::hypot(dx, dy);
        // A span that closes on itself has no direction to letter along.
        if (!(chord > 0.0)) return std::nullopt;
        cx = dx / chord;
        cy = dy / chord;
        const double next = std::min(step_for(cx, cy, width, font_size, gap), room / n);
        if (std::fabs(next - step) <= 1e-12 * room) break;
        step = next;
    }
    a = start + 0.5 * (room - n * step);
    b = a + n * step;
    if (sharp_vertex_inside(line, a, b, max_turn)) return std::nullopt;

    GlyphRun run;
    run.start = a;
    run.length = b - a;
    // Steeper than 45 degrees: a column read from the northern end down;
    // flatter: a row read from the west.
    const bool steep = std::fabs(cy) > std::fabs(cx);
    run.reversed = steep ? cy > 0.0 : cx < 0.0;
    run.glyphs.reserve(advances.size());
    for (std::size_t i = 0; i < advances.size(); ++i) {
        const double slot = run.reversed ? n - 1.0 - static_cast<double>(i) : static_cast<double>(i);
        PlacedGlyph g;
        g.distance = a + (slot + 0.5) * step;
        g.origin = *engine::interpolate(line, g.distance);
        g.direction = engine::Vec3{1.0, 0.0, 0.0};
        g.advance = advances[i];
        g.box = {g.origin.x, g.origin.y, 1.0, 0.0, advances[i], font_size};
        if (i >= 2) {
            // The road between glyph centres turns no more than it may
            // between along-the-road glyphs.
            const engine::Vec3& p = run.glyphs[i - 2].origin;
            const engine::Vec3& q = run.glyphs[i - 1].origin;
            if (plan_turn(q.x - p.x, q.y - p.y, g.origin.x - q.x, g.origin.y - q.y) > max_turn) {
                return std::nullopt;
            }
        }
        // Steps are set for the chord; a road bending under the run can
        // still bring two of its glyphs together.
        for (const PlacedGlyph& earlier : run.glyphs) {
            if (glyph_boxes_overlap(earlier.box, g.box)) return std::nullopt;
        }
        if (keep && !keep(g)) return std::nullopt;
        run.glyphs.push_back(g);
    }
    return run;
}

}  // namespace glyphway::placement
