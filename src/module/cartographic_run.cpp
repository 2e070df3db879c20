#include "module/cartographic_run.hpp"

#include <cmath>
#include <string>

#include "engine/utf8_text.hpp"
#include "engine/vec3.hpp"
#include "module/engine_convert.hpp"
#include "module/interrupts.hpp"
#include "module/prepared_run.hpp"
#include "pipeline/cartographic_pipeline.hpp"
#include "text/glyph_outline.hpp"

namespace glyphway::module {

CartographicRun run_cartographic_style(py::object self, double max_char_angle) {
    pipeline::Settings settings;
    PreparedRun table = read_native_table(self, settings);
    CartographicRun run;
    run.working_crs = table.working_crs;
    if (table.working_crs.is_none()) return run;  // no name column: nothing was read
    py::module_::import("builtins")
        .attr("print")(py::str("[glyphway_maker] Placing labels along merged roads..."));
    pipeline::Hooks hooks;
    hooks.interrupt = check_host_signals;
    try {
        run.labels = pipeline::run_cartographic(table.table.features, table.table.lines, settings,
                                                host_text(self.attr("font_path")),
                                                max_char_angle, hooks);
    } catch (const text::FontError& e) {
        throw py::value_error(e.what());
    }
    run.weights.reserve(run.labels.size());
    for (const placement::CartographicLabel& label : run.labels) {
        run.weights.push_back(table.table.features[label.feature].weight);
    }
    return run;
}

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

export_::ObjLabel cartographic_obj_label(const placement::CartographicLabel& placed,
                                         std::size_t index, engine::Posture posture,
                                         text::TextMeshEngine* engine, double base_size,
                                         bool named) {
    export_::ObjLabel label;
    label.index = index;
    if (named) label.name = export_::obj_object_name(placed.text);
    label.text = engine::code_points(placed.text);
    label.engine = engine;
    label.matrix = cartographic_glyph_frame(anchor_glyph(placed), posture);
    label.glyph_scale = base_size > 0.0 ? placed.font_size / base_size : 1.0;
    // Placement centres each glyph's cell (its shaped advance, kerning
    // included) on the road; the mesh is drawn from the cell's pen position
    // with the outline where the font puts it, so a kerned pair sits as
    // tight as the font sets it.
    const std::vector<text::GlyphRecord> glyphs = engine->generate_glyph_meshes(label.text);
    label.glyph_frames.reserve(placed.run.glyphs.size());
    for (std::size_t i = 0; i < placed.run.glyphs.size(); ++i) {
        const placement::PlacedGlyph& g = placed.run.glyphs[i];
        engine::Mat4 frame = cartographic_glyph_frame(g, posture);
        if (i < glyphs.size() && glyphs[i].glyph) {
            const double shift = glyphs[i].glyph->ink_centre_x * label.glyph_scale - 0.5 * g.advance;
            frame[3] += shift * g.direction.x;
            frame[7] += shift * g.direction.y;
            frame[11] += shift * g.direction.z;
        }
        label.glyph_frames.push_back(frame);
    }
    return label;
}

std::string cartographic_group_id(const placement::CartographicLabel& label) {
    return "road:" + std::to_string(label.road);
}

}  // namespace glyphway::module
