#pragma once
// The tables callers measure a placement with, read from the drawn labels:
// the label table (each label's footprint in plan view), the boxes of placed
// glyphs, and the frame of every glyph as the mesh writers lay it out.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/label_footprint.hpp"
#include "engine/orientation_frame.hpp"
#include "export/drawn_label.hpp"

namespace glyphway::export_ {

struct LabelTableColumns {
    std::vector<bool> visible;  // over every record, hidden ones included
    std::vector<std::int64_t> index;
    // Centred at the anchor, as long as the label's footprint length and as
    // high as its fitted font size.
    std::vector<engine::LabelFootprint> footprints;
    std::vector<double> effective_font_size;
    std::vector<double> weight;
};

// `record_count`: how many records the labels were drawn from.
LabelTableColumns label_table_columns(const std::vector<DrawnLabel>& labels,
                                      std::size_t record_count);

// One box per drawn glyph of the placed labels (word spaces and glyphs
// that take no room have none): a run that follows a bend is not one
// rectangle.
struct GlyphBoxColumns {
    std::vector<std::int64_t> label;  // the label's row
    std::vector<std::uint32_t> character;
    std::vector<engine::LabelFootprint> boxes;
};

GlyphBoxColumns placed_glyph_boxes(const std::vector<DrawnLabel>& labels);

// One row per glyph that takes up room, blanks and glyphs without outline
// included (has_mesh false), on the frame a mesh there gets: for measuring
// how text bends and reads without parsing a mesh file.
struct GlyphFrameColumns {
    std::vector<std::int64_t> label;    // the label's row
    std::vector<std::int32_t> position;  // index in the drawn text
    std::vector<std::uint32_t> character;
    std::vector<engine::Mat4> frames;
    std::vector<double> advance;
    std::vector<double> font_size;
    std::vector<bool> has_mesh;
};

// Curved text is laid out as the OBJ lays it out; placed text on its cells;
// straight text is one mesh of the whole string on the label's frame, so
// each glyph is put at its share of the string's advance, centred on the
// anchor (the mesh sets glyphs outline to outline: this is its layout up to
// the glyphs' side bearings). Throws NoFramePoint.
GlyphFrameColumns glyph_frame_columns(const std::vector<DrawnLabel>& labels,
                                      engine::Posture posture);

}  // namespace glyphway::export_
