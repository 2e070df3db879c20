#include "export/drawn_records.hpp"

#include <optional>
#include <utility>

#include "engine/label_footprint.hpp"
#include "engine/utf8_text.hpp"
#include "export/glyph_layout.hpp"
#include "export/obj_export.hpp"

namespace glyphway::export_ {

using engine::Field;

namespace {

engine::Mat4 refreshed_frame(engine::LabelRecord& r, engine::Posture posture) {
    if (!engine::record_matrix_dirty(r)) return r.matrix;
    if (!r.line) throw RecordWithoutLine();
    const auto frame = engine::build_tbn_matrix(*r.line, r.distance, true, posture);
    if (!frame) throw NoFramePoint(r.line->points.empty());
    r.matrix = *frame;
    return *frame;
}

DrawnLabel drawn_record(std::size_t index, engine::LabelRecord& r, const RecordDrawing& drawing) {
    const engine::EngineSizes& sizes = drawing.sizes;
    const auto fitted = [&](Field field, double value) {
        return r.present.has(field) ? std::optional<double>(value) : std::nullopt;
    };
    DrawnLabel label;
    label.index = index;
    label.frame = refreshed_frame(r, drawing.posture);
    label.text = r.text;
    if (drawing.anchors_only) return label;
    label.effective_text = std::string(engine::effective_text(r));
    label.effective_font_size = engine::effective_font_size(r, sizes);
    label.footprint_length = engine::label_text_length(r, sizes);
    // Straight text is one mesh at the engine's size, fitted or not.
    label.font_size = drawing.curved_text ? label.effective_font_size : sizes.font_size;
    if (r.present.has(Field::group_id)) label.group_id = r.group_id;
    if (r.present.has(Field::weight)) label.weight = r.weight;
    if (r.present.has(Field::line_key)) label.line_key = r.line_key;
    if (drawing.names) label.name = obj_object_name(r.text);
    if (!drawing.curved_text) {
        label.layout = DrawnLayout::whole_string;
        label.drawn_text = engine::code_points(r.text);
        if (drawing.meshes) label.engine = drawing.whole_string_engine;
        return label;
    }
    label.layout = DrawnLayout::along_road;
    label.drawn_text = engine::code_points(label.effective_text);
    if (drawing.meshes) {
        label.engine =
            drawing.meshes->engine_for(fitted(Field::effective_font_size, r.effective_font_size),
                                       fitted(Field::effective_letter_spacing,
                                              r.effective_letter_spacing));
    }
    // An empty text has no glyphs and never reaches its road.
    if (!label.drawn_text.empty()) {
        label.line = r.line;
        label.distance = r.distance;
        label.line_len = r.line_len;
    }
    return label;
}

}  // namespace

void visit_drawn_records(std::vector<engine::LabelRecord>& records, const RecordDrawing& drawing,
                         const DrawnLabelVisitor& visit,
                         const engine::InterruptCallback& check_interrupt) {
    constexpr std::size_t kRecordsPerCheck = 4096;
    for (std::size_t index = 0; index < records.size(); ++index) {
        if ((index + 1) % kRecordsPerCheck == 0 && check_interrupt) check_interrupt();
        engine::LabelRecord& r = records[index];
        if (engine::record_hidden(r)) continue;
        visit(drawn_record(index, r, drawing));
    }
}

std::vector<DrawnLabel> drawn_records(std::vector<engine::LabelRecord>& records,
                                      const RecordDrawing& drawing,
                                      const engine::InterruptCallback& check_interrupt) {
    std::size_t visible = 0;
    for (const engine::LabelRecord& r : records) visible += engine::record_hidden(r) ? 0 : 1;
    std::vector<DrawnLabel> labels;
    labels.reserve(visible);  // no regrowth of a country's labels
    visit_drawn_records(
        records, drawing, [&](DrawnLabel&& label) { labels.push_back(std::move(label)); },
        check_interrupt);
    return labels;
}

}  // namespace glyphway::export_
