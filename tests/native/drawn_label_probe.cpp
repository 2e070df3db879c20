// Writes one hand-made set of drawn labels with every writer and prints the
// measuring tables of the same labels, so the Python tests can hold the
// OBJ, both kinds of GLB, the billboard CSV, the label table and the glyph
// frames against one another: every output reads the one view.
//
//   drawn_label_probe FONT_PATH OUTDIR
//
// Writes OUTDIR/view.obj, OUTDIR/plain.glb, OUTDIR/instanced.glb and
// OUTDIR/view.csv; prints one JSON object with "labels" (what was drawn),
// "table" (label_table_columns), "boxes" (placed_glyph_boxes) and "glyphs"
// (glyph_frame_columns). Exit status 2 on bad arguments, 1 on a failure
// (message on stderr).
#include <cmath>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "engine/line_geometry.hpp"
#include "engine/orientation_frame.hpp"
#include "export/billboard_csv.hpp"
#include "export/drawn_label.hpp"
#include "export/drawn_label_columns.hpp"
#include "export/glb_export.hpp"
#include "export/obj_export.hpp"
#include "text/text_mesh_engine.hpp"

namespace ex = glyphway::export_;
using glyphway::engine::Mat4;

namespace {

// A flat frame at (x, y, z) reading `degrees` counter-clockwise from east.
Mat4 flat_frame(double x, double y, double z, double degrees) {
    const double a = degrees * 3.14159265358979323846 / 180.0;
    const double c = std::cos(a);
    const double s = std::sin(a);
    return {c, -s, 0.0, x, s, c, 0.0, y, 0.0, 0.0, 1.0, z, 0.0, 0.0, 0.0, 1.0};
}

std::vector<ex::DrawnLabel> hand_made_labels(glyphway::text::TextMeshEngine& engine) {
    std::vector<ex::DrawnLabel> labels(3);

    // A straight label: one mesh of its recorded text, measured at its
    // fitted size.
    ex::DrawnLabel& whole = labels[0];
    whole.index = 0;
    whole.text = "oxI";
    whole.effective_text = "ox";
    whole.drawn_text = U"oxI";
    whole.font_size = engine.font_size();
    whole.effective_font_size = 8.0;
    whole.footprint_length = 25.0;
    whole.frame = flat_frame(100.0, 200.0, 5.0, 30.0);
    whole.layout = ex::DrawnLayout::whole_string;
    whole.engine = &engine;
    whole.group_id = "g0";
    whole.weight = 2.0;
    whole.name = "oxI";
    whole.line_key = "0:0";

    // A curved label along a bent road, the record before it hidden.
    auto line = std::make_shared<const glyphway::engine::LineGeometry>(
        glyphway::engine::make_line_geometry(
            {{0.0, 0.0, 0.0}, {60.0, 10.0, 0.0}, {120.0, 0.0, 0.0}}, false));
    const double length = 2.0 * std::hypot(60.0, 10.0);
    ex::DrawnLabel& curved = labels[1];
    curved.index = 2;
    curved.text = "中一o";
    curved.effective_text = "中一";
    curved.drawn_text = U"中一";
    curved.font_size = engine.font_size();
    curved.effective_font_size = engine.font_size();
    curved.footprint_length = 20.0;
    curved.frame = *glyphway::engine::build_tbn_matrix(*line, 0.5 * length, true,
                                                       glyphway::engine::Posture::flat);
    curved.layout = ex::DrawnLayout::along_road;
    curved.line = line;
    curved.distance = 0.5 * length;
    curved.line_len = length;
    curved.engine = &engine;
    curved.name = "中一o";

    // A label whose glyph cells placement laid, at half the engine's size.
    ex::DrawnLabel& placed = labels[2];
    placed.index = 3;
    placed.text = "ox";
    placed.effective_text = "ox";
    placed.drawn_text = U"ox";
    placed.font_size = 0.5 * engine.font_size();
    placed.effective_font_size = placed.font_size;
    placed.footprint_length = 12.0;
    placed.layout = ex::DrawnLayout::placed;
    placed.glyphs = {{flat_frame(300.0, 50.0, 1.0, 10.0), 6.0},
                     {flat_frame(306.0, 51.0, 1.0, 10.0), 6.0}};
    placed.glyph_scale = 0.5;
    placed.frame = placed.glyphs[1].frame;
    placed.engine = &engine;
    placed.group_id = "road:7";
    placed.weight = 3.0;
    placed.name = "ox";
    return labels;
}

void print_numbers(const char* key, const std::vector<double>& values) {
    std::printf("\"%s\": [", key);
    for (std::size_t i = 0; i < values.size(); ++i) std::printf(i ? ", %.17g" : "%.17g", values[i]);
    std::printf("]");
}

template <typename Int>
void print_ints(const char* key, const std::vector<Int>& values) {
    std::printf("\"%s\": [", key);
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::printf(i ? ", %lld" : "%lld", static_cast<long long>(values[i]));
    }
    std::printf("]");
}

void print_footprints(const std::vector<glyphway::engine::LabelFootprint>& footprints) {
    std::vector<double> x, y, rotation, length, height;
    for (const auto& f : footprints) {
        x.push_back(f.x);
        y.push_back(f.y);
        rotation.push_back(f.rotation_deg);
        length.push_back(f.length);
        height.push_back(f.height);
    }
    print_numbers("x", x);
    std::printf(", ");
    print_numbers("y", y);
    std::printf(", ");
    print_numbers("rotation_deg", rotation);
    std::printf(", ");
    print_numbers("length", length);
    std::printf(", ");
    print_numbers("height", height);
}

void print_labels(const std::vector<ex::DrawnLabel>& labels) {
    std::printf("\"labels\": [");
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const ex::DrawnLabel& l = labels[i];
        const auto anchor = ex::label_anchor(l);
        std::printf("%s{\"index\": %zu, \"text\": \"%s\", \"effective_text\": \"%s\", ",
                    i ? ", " : "", l.index, l.text.c_str(), l.effective_text.c_str());
        std::printf("\"group_id\": %s%s%s, \"weight\": %.17g, \"font_size\": %.17g, ",
                    l.group_id ? "\"" : "", l.group_id ? l.group_id->c_str() : "null",
                    l.group_id ? "\"" : "", l.weight, l.font_size);
        std::printf("\"effective_font_size\": %.17g, \"footprint_length\": %.17g, ",
                    l.effective_font_size, l.footprint_length);
        std::printf("\"anchor\": [%.17g, %.17g, %.17g], \"cells\": [", anchor[0], anchor[1],
                    anchor[2]);
        for (std::size_t k = 0; k < l.glyphs.size(); ++k) {
            const Mat4& f = l.glyphs[k].frame;
            std::printf("%s[%.17g, %.17g, %.17g]", k ? ", " : "", f[3], f[7], f[11]);
        }
        std::printf("]}");
    }
    std::printf("]");
}

void print_glyphs(const ex::GlyphFrameColumns& glyphs) {
    std::printf("\"glyphs\": {");
    print_ints("label", glyphs.label);
    std::printf(", ");
    print_ints("position", glyphs.position);
    std::printf(", ");
    print_ints("char", glyphs.character);
    std::printf(", ");
    print_ints("has_mesh", std::vector<int>(glyphs.has_mesh.begin(), glyphs.has_mesh.end()));
    std::printf(", ");
    print_numbers("advance", glyphs.advance);
    std::printf(", ");
    print_numbers("font_size", glyphs.font_size);
    std::printf(", \"origin\": [");
    for (std::size_t i = 0; i < glyphs.frames.size(); ++i) {
        const Mat4& f = glyphs.frames[i];
        std::printf("%s[%.17g, %.17g, %.17g]", i ? ", " : "", f[3], f[7], f[11]);
    }
    std::printf("]}");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: drawn_label_probe FONT_PATH OUTDIR\n");
        return 2;
    }
    const std::string out_dir = argv[2];
    try {
        glyphway::text::TextMeshEngine engine(argv[1], 10.0, 2.0, 0.0);
        const std::vector<ex::DrawnLabel> labels = hand_made_labels(engine);
        const auto posture = glyphway::engine::Posture::flat;

        ex::ObjSettings obj;
        obj.separate_objects = true;
        obj.posture = posture;
        ex::write_obj(out_dir + "/view.obj", labels, obj);
        ex::GlbSettings glb;
        glb.mesh = obj;
        glb.instancing = false;
        ex::write_glb(out_dir + "/plain.glb", labels, glb);
        glb.instancing = true;
        ex::write_glb(out_dir + "/instanced.glb", labels, glb);
        std::vector<ex::BillboardLabel> rows;
        std::vector<ex::BillboardPoint> points;
        for (const ex::DrawnLabel& l : labels) {
            rows.push_back(ex::billboard_label(l));
            points.push_back({l.frame[3], l.frame[7]});
        }
        ex::write_billboard_csv(out_dir + "/view.csv", rows, points, ex::BillboardOptions{});

        const ex::LabelTableColumns table = ex::label_table_columns(labels, 4);
        const ex::GlyphBoxColumns boxes = ex::placed_glyph_boxes(labels);
        std::printf("{");
        print_labels(labels);
        std::printf(", \"table\": {");
        print_ints("visible", std::vector<int>(table.visible.begin(), table.visible.end()));
        std::printf(", ");
        print_ints("index", table.index);
        std::printf(", ");
        print_footprints(table.footprints);
        std::printf(", ");
        print_numbers("effective_font_size", table.effective_font_size);
        std::printf(", ");
        print_numbers("weight", table.weight);
        std::printf("}, \"boxes\": {");
        print_ints("label", boxes.label);
        std::printf(", ");
        print_ints("char", boxes.character);
        std::printf(", ");
        print_footprints(boxes.boxes);
        std::printf("}, ");
        print_glyphs(ex::glyph_frame_columns(labels, posture));
        std::printf("}\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "drawn_label_probe: %s\n", e.what());
        return 1;
    }
    return 0;
}
