#pragma once
// The cartographic style's labels as every output draws them: each glyph on
// the frame of the cell placement gave it, the label anchored at its middle
// glyph, so the OBJ, GLB, CSV, label table and glyph frames all show the
// same placement.
#include <cstddef>
#include <string>
#include <vector>

#include "engine/orientation_frame.hpp"
#include "export/drawn_label.hpp"
#include "pipeline/options.hpp"
#include "placement/cartographic_placement.hpp"
#include "text/text_mesh_engine.hpp"

namespace glyphway::pipeline {

// The placed labels of one run and each label's road weight.
struct CartographicLabels {
    std::vector<placement::CartographicLabel> labels;
    std::vector<double> weights;
};

// A placed glyph's frame, built as the interval style's glyph frames are:
// x along the glyph's reading direction; flat text faces up, upright text
// stands facing across the road.
engine::Mat4 cartographic_glyph_frame(const placement::PlacedGlyph& glyph,
                                      engine::Posture posture);

// The glyph a label is anchored at: its middle one.
const placement::PlacedGlyph& anchor_glyph(const placement::CartographicLabel& label);

// A label's group: the merged road it stands on.
std::string cartographic_group_id(const placement::CartographicLabel& label);

struct CartographicDrawing {
    engine::Posture posture = engine::Posture::flat;
    // The engine every label is drawn with, built at `engine_font_size`;
    // null for outputs that draw no mesh.
    text::TextMeshEngine* engine = nullptr;
    double engine_font_size = 0.0;
    bool names = false;  // object names, for writers that name each label
};

// Every placed label, in placement order (its index is its position),
// `weights[i]` the road weight of label i, handed to `visit`; or gathered
// in one vector.
void visit_cartographic_labels(const std::vector<placement::CartographicLabel>& labels,
                               const std::vector<double>& weights,
                               const CartographicDrawing& drawing,
                               const export_::DrawnLabelVisitor& visit);
std::vector<export_::DrawnLabel> drawn_cartographic_labels(
    const std::vector<placement::CartographicLabel>& labels, const std::vector<double>& weights,
    const CartographicDrawing& drawing);

// The labels with their meshes, every one drawn by the one engine at the
// run's own size and spacing (each label scales its glyphs to its own
// size), in `options.posture`; `names`: each with its object name.
std::vector<export_::DrawnLabel> drawn_cartographic_meshes(const CartographicLabels& run,
                                                           const Options& options,
                                                           export_::MeshEngineSource& engines,
                                                           bool names);

// The labels without meshes in `posture`, one at a time or in one vector.
void visit_cartographic_points(const CartographicLabels& run, engine::Posture posture,
                               const export_::DrawnLabelVisitor& visit);
std::vector<export_::DrawnLabel> drawn_cartographic_points(const CartographicLabels& run,
                                                           engine::Posture posture);

// The posture the measuring tables draw a run in: the run's own, or flat
// when nothing was placed (then the engine was never read for one).
engine::Posture measured_posture(const CartographicLabels& run, const Options& options);

}  // namespace glyphway::pipeline
