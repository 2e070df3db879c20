#include "pipeline/cartographic_labels.hpp"

#include <cmath>
#include <utility>

#include "engine/utf8_text.hpp"
#include "engine/vec3.hpp"
#include "export/obj_export.hpp"

namespace glyphway::pipeline {

engine::Mat4 cartographic_glyph_frame(const placement::PlacedGlyph& g, engine::Posture posture) {
    const engine::Vec3 x = g.direction;
    const double plan = std::hypot(x.x, x.y);
    // Across the road in plan, to the reader's left.
    const engine::Vec3 across = plan > 0.0 ? engine::Vec3{-x.y / plan, x.x / plan, 0.0}
                                           : engine::Vec3{0.0, 1.0, 0.0};
    engine::Vec3 y = across;
    engine::Vec3 z = engine::cross(x, across);
    if (posture == engine::Posture::upright) {
        // Standing: the glyph's height is up, its depth runs away from the
        // reader (who stands on the text's right-hand side of the road).
        y = engine::Vec3{0.0, 0.0, 1.0};
        z = engine::cross(x, y);
        const double n = std::hypot(z.x, z.y, z.z);
        if (n > 0.0) z = engine::Vec3{z.x / n, z.y / n, z.z / n};
    }
    return {x.x, y.x, z.x, g.origin.x, x.y, y.y, z.y, g.origin.y,
            x.z, y.z, z.z, g.origin.z, 0.0, 0.0, 0.0, 1.0};
}

const placement::PlacedGlyph& anchor_glyph(const placement::CartographicLabel& label) {
    return label.run.glyphs[label.run.glyphs.size() / 2];
}

std::string cartographic_group_id(const placement::CartographicLabel& label) {
    return "road:" + std::to_string(label.road);
}

void visit_cartographic_labels(const std::vector<placement::CartographicLabel>& labels,
                               const std::vector<double>& weights,
                               const CartographicDrawing& drawing,
                               const export_::DrawnLabelVisitor& visit) {
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const placement::CartographicLabel& placed = labels[i];
        export_::DrawnLabel label;
        label.index = i;
        label.text = placed.text;
        label.effective_text = placed.text;
        label.drawn_text = engine::code_points(placed.text);
        label.font_size = placed.font_size;
        label.effective_font_size = placed.font_size;
        label.footprint_length = placed.run.length;
        label.frame = cartographic_glyph_frame(anchor_glyph(placed), drawing.posture);
        label.layout = export_::DrawnLayout::placed;
        label.glyphs.reserve(placed.run.glyphs.size());
        for (const placement::PlacedGlyph& g : placed.run.glyphs) {
            label.glyphs.push_back({cartographic_glyph_frame(g, drawing.posture), g.advance});
        }
        label.engine = drawing.engine;
        if (drawing.engine) {
            const double base = drawing.engine_font_size;
            label.glyph_scale = base > 0.0 ? placed.font_size / base : 1.0;
        }
        label.group_id = cartographic_group_id(placed);
        label.weight = weights[i];
        if (drawing.names) label.name = export_::obj_object_name(placed.text);
        visit(std::move(label));
    }
}

std::vector<export_::DrawnLabel> drawn_cartographic_labels(
    const std::vector<placement::CartographicLabel>& labels, const std::vector<double>& weights,
    const CartographicDrawing& drawing) {
    std::vector<export_::DrawnLabel> out;
    out.reserve(labels.size());
    visit_cartographic_labels(labels, weights, drawing,
                              [&](export_::DrawnLabel&& label) { out.push_back(std::move(label)); });
    return out;
}

std::vector<export_::DrawnLabel> drawn_cartographic_meshes(const CartographicLabels& run,
                                                           const Options& options,
                                                           export_::MeshEngineSource& engines,
                                                           bool names) {
    CartographicDrawing drawing;
    drawing.posture = options.posture;
    // One engine at the run's own size: each label scales its glyphs.
    drawing.engine = engines.engine_for(std::nullopt, std::nullopt);
    drawing.engine_font_size = options.font_size;
    drawing.names = names;
    return drawn_cartographic_labels(run.labels, run.weights, drawing);
}

void visit_cartographic_points(const CartographicLabels& run, engine::Posture posture,
                               const export_::DrawnLabelVisitor& visit) {
    CartographicDrawing drawing;
    drawing.posture = posture;
    visit_cartographic_labels(run.labels, run.weights, drawing, visit);
}

std::vector<export_::DrawnLabel> drawn_cartographic_points(const CartographicLabels& run,
                                                           engine::Posture posture) {
    CartographicDrawing drawing;
    drawing.posture = posture;
    return drawn_cartographic_labels(run.labels, run.weights, drawing);
}

engine::Posture measured_posture(const CartographicLabels& run, const Options& options) {
    return run.labels.empty() ? engine::Posture::flat : options.posture;
}

}  // namespace glyphway::pipeline
