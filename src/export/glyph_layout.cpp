#include "export/glyph_layout.hpp"

#include <algorithm>
#include <cmath>

namespace glyphway::export_ {

namespace {

// The host language's max(a, b) and min(a, b): the first argument wins ties
// and comparisons with NaN.
double host_max(double a, double b) { return b > a ? b : a; }
double host_min(double a, double b) { return b < a ? b : a; }

engine::Mat4 frame_at(const engine::LineGeometry& line, double distance, bool auto_flip,
                      engine::Posture posture) {
    const auto frame = engine::build_tbn_matrix(line, distance, auto_flip, posture);
    if (!frame) throw NoFramePoint(line.points.empty());
    return *frame;
}

// The OBJ's layout; glyphs without a mesh get a frame only with
// `blanks_too`, so the writers spend nothing on them.
void lay_out(const CurvedPlacement& placement, const std::vector<text::GlyphRecord>& glyphs,
             engine::Posture posture, bool blanks_too, const PositionedGlyphVisit& visit) {
    if (glyphs.empty()) return;
    double total_advance = 0.0;
    for (const text::GlyphRecord& g : glyphs) total_advance += g.advance;
    if (!(total_advance > 0.0)) return;

    const engine::LineGeometry& line = *placement.line;
    // The line's own direction, not the reading direction: a road drawn
    // leftwards lays its glyphs from the far end of the span back.
    const engine::Mat4 base = frame_at(line, placement.distance, false, posture);
    const double direction = base[0] < 0.0 ? -1.0 : 1.0;

    // The span the text covers, centred on the label and moved back inside
    // the line where it would run past either end.
    const double line_len = placement.line_len;
    double start = placement.distance - 0.5 * total_advance;
    if (start < 0.0) start = 0.0;
    double end = start + total_advance;
    if (end > line_len) {
        start = host_max(start + line_len - end, 0.0);
        end = line_len;
    }

    double cursor = 0.0;
    for (std::size_t position = 0; position < glyphs.size(); ++position) {
        const text::GlyphRecord& g = glyphs[position];
        const double advance = g.advance;
        if (advance <= 0.0) continue;
        const double mid = cursor + 0.5 * advance;
        double s = direction > 0.0 ? start + mid : end - mid;
        s = host_max(0.0, host_min(s, line_len));
        cursor += advance;
        if (!blanks_too && !g.has_mesh()) continue;  // whitespace and glyphs without outline

        engine::Mat4 m = frame_at(line, s, false, posture);
        if (direction < 0.0) {
            // Half a turn about the axis facing the reader, so the glyph
            // still reads left to right: flat text turns about z (columns 0
            // and 1), upright text about its face normal (columns 0 and 2).
            const int other = posture == engine::Posture::flat ? 1 : 2;
            for (int r = 0; r < 3; ++r) {
                m[4 * r] = -m[4 * r];
                m[4 * r + other] = -m[4 * r + other];
            }
        }
        visit(m, g, position);
    }
}

}  // namespace

NoFramePoint::NoFramePoint(bool empty_line)
    : std::runtime_error(empty_line ? "the line is empty: it has no point"
                                    : "the distance is NaN: a line has no point there"),
      empty_line_(empty_line) {}

void lay_out_curved(const CurvedPlacement& placement, const std::vector<text::GlyphRecord>& glyphs,
                    engine::Posture posture, const GlyphVisit& visit) {
    lay_out(placement, glyphs, posture, false,
            [&](const engine::Mat4& frame, const text::GlyphRecord& g, std::size_t) {
                visit(frame, g);
            });
}

void lay_out_curved_all(const CurvedPlacement& placement,
                        const std::vector<text::GlyphRecord>& glyphs, engine::Posture posture,
                        const PositionedGlyphVisit& visit) {
    lay_out(placement, glyphs, posture, true, visit);
}

text::Mesh centred_string_mesh(text::TextMeshEngine& engine, const std::u32string& text,
                               double font_size) {
    text::Mesh mesh = engine.generate_mesh(text);
    if (mesh.empty()) return mesh;
    double min_x = mesh.vertices[0];
    double max_x = mesh.vertices[0];
    for (std::size_t i = 3; i < mesh.vertices.size(); i += 3) {
        min_x = std::min(min_x, mesh.vertices[i]);
        max_x = std::max(max_x, mesh.vertices[i]);
    }
    const double shift_x = (min_x + max_x) / 2.0;
    const double shift_y = font_size / 2.0;
    for (std::size_t i = 0; i < mesh.vertices.size(); i += 3) {
        mesh.vertices[i] -= shift_x;
        mesh.vertices[i + 1] -= shift_y;
    }
    return mesh;
}

const text::Mesh& StringMeshes::get(text::TextMeshEngine& engine, double font_size,
                                    const std::u32string& text) {
    EngineMeshes* entry = nullptr;
    for (EngineMeshes& e : by_engine_) {
        // Sizes compare by value; NaN sizes share one entry too.
        const bool same_size = e.font_size == font_size ||
                               (std::isnan(e.font_size) && std::isnan(font_size));
        if (e.engine == &engine && same_size) entry = &e;
    }
    if (!entry) entry = &by_engine_.emplace_back(EngineMeshes{&engine, font_size, {}});
    const auto found = entry->meshes.find(text);
    if (found != entry->meshes.end()) return found->second;
    return entry->meshes.emplace(text, centred_string_mesh(engine, text, font_size))
        .first->second;
}

}  // namespace glyphway::export_
