#pragma once
// What is drawn of one visible label, whichever placement made it: the one
// view every writer (OBJ, GLB, billboard CSV) and every measuring table
// (label table, glyph frames) reads. Producers fill it from the engine's
// label records (export/drawn_records.hpp), from a replaced preparation's
// record dicts (in the binding) and from the cartographic placement
// (pipeline/cartographic_labels.hpp); a new writer reads only this.
#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/line_geometry.hpp"
#include "engine/orientation_frame.hpp"
#include "text/text_mesh_engine.hpp"

namespace glyphway::export_ {

// How a label's text is laid out.
enum class DrawnLayout {
    whole_string,  // one centred mesh of the whole text on the label's frame
    along_road,    // glyph by glyph along the road from the label's distance
    placed,        // glyph by glyph on the cells placement gave each glyph
};

// A glyph's cell as placement laid it: the frame at the cell's centre (x
// along the reading direction) and the cell's advance, in working units.
struct PlacedGlyphCell {
    engine::Mat4 frame{};
    double advance = 0.0;
};

struct DrawnLabel {
    std::size_t index = 0;       // position in the label list, hidden labels counted
    std::string text;            // as recorded, UTF-8
    std::string effective_text;  // after auto-fit; the recorded text when not fitted
    // What the meshes show: the recorded text on a whole string, the fitted
    // one glyph by glyph.
    std::u32string drawn_text;
    double font_size = 0.0;  // the size drawn
    // The fitted size, the engine's when the label has none; a whole string
    // is still drawn at the engine's size, but its footprint is measured at
    // this one.
    double effective_font_size = 0.0;
    // The footprint's length along the text: its character cells and the
    // gaps between them at the fitted sizes (the collision solver's measure),
    // or the span of the placed cells.
    double footprint_length = 0.0;
    engine::Mat4 frame{};  // the label's frame; its translation is the anchor

    DrawnLayout layout = DrawnLayout::whole_string;
    // along_road: the road and where on it the text is centred.
    std::shared_ptr<const engine::LineGeometry> line;
    double distance = 0.0;
    double line_len = 0.0;
    // placed: one cell per character of drawn_text. The engine's glyphs are
    // drawn glyph_scale times their size in the text plane (a name shrunk to
    // its road), so one engine serves every size and its glyph cache is
    // shared.
    std::vector<PlacedGlyphCell> glyphs;
    double glyph_scale = 1.0;

    // The engine that draws it; null where the output draws no mesh.
    text::TextMeshEngine* engine = nullptr;

    std::optional<std::string> group_id;  // none when the label has none
    double weight = 1.0;
    std::string name;  // object or node name; empty when the output names none
    std::optional<std::string> line_key;
};

// Receives the drawn labels one at a time, in the producer's order. A writer
// that keeps only part of each label (the billboard CSV's rows) reads them
// this way, so a whole country's views are never held beside the records
// they are drawn from.
using DrawnLabelVisitor = std::function<void(DrawnLabel&&)>;

// The label's point on the road, in the working system: its frame's
// translation.
inline std::array<double, 3> label_anchor(const DrawnLabel& label) {
    return {label.frame[3], label.frame[7], label.frame[11]};
}

// The mesh engine a label is drawn with, for the fitted font size and
// letter spacing it records; an absent one stands for the engine's own.
class MeshEngineSource {
public:
    virtual text::TextMeshEngine* engine_for(std::optional<double> font_size,
                                             std::optional<double> letter_spacing) = 0;

protected:
    ~MeshEngineSource() = default;
};

}  // namespace glyphway::export_
