#include "export/drawn_label_columns.hpp"

#include <stdexcept>

#include "export/glyph_layout.hpp"

namespace glyphway::export_ {

LabelTableColumns label_table_columns(const std::vector<DrawnLabel>& labels,
                                      std::size_t record_count) {
    LabelTableColumns out;
    out.visible.assign(record_count, false);
    out.index.reserve(labels.size());
    out.footprints.reserve(labels.size());
    for (const DrawnLabel& label : labels) {
        if (label.index >= record_count) throw std::out_of_range("a label past the records");
        out.visible[label.index] = true;
        out.index.push_back(static_cast<std::int64_t>(label.index));
        out.footprints.push_back(engine::label_footprint(label.frame, label.footprint_length,
                                                         label.effective_font_size));
        out.effective_font_size.push_back(label.effective_font_size);
        out.weight.push_back(label.weight);
    }
    return out;
}

GlyphBoxColumns placed_glyph_boxes(const std::vector<DrawnLabel>& labels) {
    GlyphBoxColumns out;
    for (std::size_t row = 0; row < labels.size(); ++row) {
        const DrawnLabel& label = labels[row];
        if (label.layout != DrawnLayout::placed) continue;
        const std::u32string& characters = label.drawn_text;
        for (std::size_t k = 0; k < label.glyphs.size() && k < characters.size(); ++k) {
            const PlacedGlyphCell& cell = label.glyphs[k];
            if (text::is_whitespace(characters[k]) || !(cell.advance > 0.0)) continue;
            out.boxes.push_back(engine::label_footprint(cell.frame, cell.advance, label.font_size));
            out.label.push_back(static_cast<std::int64_t>(row));
            out.character.push_back(static_cast<std::uint32_t>(characters[k]));
        }
    }
    return out;
}

namespace {

struct GlyphRows {
    GlyphFrameColumns& out;
    std::size_t row;
    double font_size;

    void add(std::size_t position, char32_t c, const engine::Mat4& frame, double advance,
             bool has_mesh) {
        out.label.push_back(static_cast<std::int64_t>(row));
        out.position.push_back(static_cast<std::int32_t>(position));
        out.character.push_back(static_cast<std::uint32_t>(c));
        out.frames.push_back(frame);
        out.advance.push_back(advance);
        out.font_size.push_back(font_size);
        out.has_mesh.push_back(has_mesh);
    }
};

void add_whole_string(GlyphRows& rows, const DrawnLabel& label) {
    const std::vector<text::GlyphRecord> glyphs =
        label.engine->generate_glyph_meshes(label.drawn_text);
    double total = 0.0;
    for (const text::GlyphRecord& g : glyphs) total += g.advance;
    double cursor = -0.5 * total;
    for (std::size_t pos = 0; pos < glyphs.size(); ++pos) {
        const text::GlyphRecord& g = glyphs[pos];
        if (g.advance <= 0.0) continue;
        const double offset = cursor + 0.5 * g.advance;
        cursor += g.advance;
        engine::Mat4 m = label.frame;
        for (int r = 0; r < 3; ++r) m[4 * r + 3] += offset * m[4 * r];
        rows.add(pos, g.character, m, g.advance, g.has_mesh());
    }
}

void add_along_road(GlyphRows& rows, const DrawnLabel& label, engine::Posture posture) {
    if (label.drawn_text.empty()) return;  // as in the OBJ: no glyphs, no road
    const CurvedPlacement placement{label.line.get(), label.distance, label.line_len};
    lay_out_curved_all(placement, label.engine->generate_glyph_meshes(label.drawn_text), posture,
                       [&](const engine::Mat4& m, const text::GlyphRecord& g, std::size_t pos) {
                           rows.add(pos, g.character, m, g.advance, g.has_mesh());
                       });
}

void add_placed(GlyphRows& rows, const DrawnLabel& label) {
    const std::u32string& text = label.drawn_text;
    for (std::size_t pos = 0; pos < label.glyphs.size(); ++pos) {
        const PlacedGlyphCell& cell = label.glyphs[pos];
        const char32_t c = pos < text.size() ? text[pos] : U' ';
        rows.add(pos, c, cell.frame, cell.advance, !text::is_whitespace(c) && cell.advance > 0.0);
    }
}

}  // namespace

GlyphFrameColumns glyph_frame_columns(const std::vector<DrawnLabel>& labels,
                                      engine::Posture posture) {
    GlyphFrameColumns out;
    for (std::size_t row = 0; row < labels.size(); ++row) {
        const DrawnLabel& label = labels[row];
        GlyphRows rows{out, row, label.font_size};
        switch (label.layout) {
            case DrawnLayout::whole_string: add_whole_string(rows, label); break;
            case DrawnLayout::along_road: add_along_road(rows, label, posture); break;
            case DrawnLayout::placed: add_placed(rows, label); break;
        }
    }
    return out;
}

}  // namespace glyphway::export_
