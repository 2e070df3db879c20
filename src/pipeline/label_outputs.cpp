#include "pipeline/label_outputs.hpp"

#include <array>
#include <cctype>
#include <string>
#include <utility>

#include "export/billboard_csv.hpp"
#include "export/glb_export.hpp"
#include "export/obj_export.hpp"

namespace glyphway::pipeline {

namespace {

constexpr const char* kPrefix = "[glyphway_maker] ";

// What the engines have to say about glyphs they drew empty, said on the
// error stream once the file is written or has failed to be.
void report_glyph_warnings(OutputHost& host) {
    for (text::TextMeshEngine* engine : host.engines_drawn()) {
        for (const std::string& line : engine->take_warnings()) {
            host.warning(std::string(kPrefix) + "WARNING: " + line);
        }
    }
}

// Runs `write` (a mesh writer) and reports the glyph warnings either way.
template <typename Write>
void write_meshes(OutputHost& host, Write write) {
    try {
        write();
    } catch (...) {
        report_glyph_warnings(host);
        throw;
    }
    report_glyph_warnings(host);
}

void report_finished(OutputHost& host) {
    host.progress(std::string(kPrefix) + "Finished! Exported to: " + host.output_shown());
}

engine::InterruptCallback interrupts_of(OutputHost& host) {
    return [&host] { host.check_interrupt(); };
}

bool names_degrees(const std::string& angle_unit) {
    std::string lower = angle_unit;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower == "degree";
}

}  // namespace

void write_obj(LabelSource& source, const Options& options, OutputHost& host) {
    if (!source.prepare()) return;
    host.progress(std::string(kPrefix) + "Generating 3D Mesh and Exporting OBJ...");
    const std::string path = host.output_path();
    export_::ObjSettings settings;
    settings.separate_objects = options.separate_objects;
    settings.posture = source.start_meshes();
    const std::vector<export_::DrawnLabel> labels =
        source.draw_meshes(MeshOutput::obj, settings.separate_objects);
    write_meshes(host, [&] { export_::write_obj(path, labels, settings, interrupts_of(host)); });
    report_finished(host);
}

void write_glb(LabelSource& source, const Options& options, OutputHost& host) {
    if (!source.prepare()) return;
    host.progress(std::string(kPrefix) + "Generating 3D Mesh and Exporting GLB...");
    export_::GlbSettings settings;
    settings.mesh.separate_objects = options.separate_objects;
    settings.mesh.posture = source.start_meshes();
    settings.instancing = options.instancing;
    // Instanced glyphs are shared between labels: node names come from the
    // labels only in plain meshes.
    const bool names = options.separate_objects && !options.instancing;
    const std::vector<export_::DrawnLabel> labels = source.draw_meshes(MeshOutput::glb, names);
    settings.crs = host.describe_working_crs();
    const std::string path = host.output_path();
    write_meshes(host, [&] { export_::write_glb(path, labels, settings, interrupts_of(host)); });
    report_finished(host);
}

void write_csv(LabelSource& source, const Options& options, OutputHost& host) {
    if (!source.prepare()) return;
    host.progress(std::string(kPrefix) +
                  "Calculating Rotations and Projections for Billboard CSV...");

    // An empty target keeps the working system; a target that is the
    // working system needs no reprojection.
    CrsRole output_crs = CrsRole::working;
    bool reproject = false;
    if (!options.target_crs.empty()) {
        output_crs = CrsRole::target;
        reproject = host.target_differs_from_working();
        if (reproject) host.start_reprojection();
    }
    export_::BillboardOptions billboard;
    // Degrees need seven decimals for centimetres; metres need three.
    billboard.xy_precision = host.is_geographic(output_crs) ? 7 : 3;
    billboard.degrees = names_degrees(options.angle_unit);
    billboard.quaternion = options.output_quaternion;
    billboard.both_angles = options.output_both_angles;

    // Each label is kept only as its row and its anchor, the part of it
    // the file needs, so the labels' views never pile up beside the
    // records they are drawn from.
    std::vector<export_::BillboardLabel> rows;
    std::vector<export_::BillboardPoint> points;
    // Room for every row at once: regrowing a country's rows costs more
    // than drawing them.
    rows.reserve(source.points_at_most());
    points.reserve(rows.capacity());
    const engine::Posture posture = source.posture();
    source.draw_points(posture, [&](export_::DrawnLabel&& label) {
        const std::array<double, 3> anchor = export_::label_anchor(label);
        points.push_back({anchor[0], anchor[1]});
        rows.push_back(export_::billboard_label(std::move(label)));
    });
    if (!points.empty()) {
        // The precision matters only once there is a row to format.
        if (options.angle_precision < 0 || options.angle_precision > kMaxAngleDecimals) {
            throw UnusableAnglePrecision("unsupported angle precision");
        }
        billboard.angle_precision = static_cast<int>(options.angle_precision);
        if (reproject) host.reproject_to_target(points);
    }

    host.progress(std::string(kPrefix) + "Generating Billboard Data and Exporting CSV...");
    const std::string path = host.output_path();
    export_::write_billboard_csv(path, rows, points, billboard, interrupts_of(host));
    report_finished(host);
}

}  // namespace glyphway::pipeline
