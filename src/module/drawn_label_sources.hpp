#pragma once
// The labels an output draws, as the one view every writer reads
// (export/drawn_label.hpp), from each of their three sources: the engine's
// own prepared records (read natively), the record dicts of a replaced
// `_prepare_data`, and the cartographic run (drawn in the pipeline,
// pipeline/cartographic_labels.hpp); and the sources the pipeline's writers
// draw from.
//
// A replaced preparation's dicts are read for what the output writes and no
// more, in the order the output reads them: a key an output does not use is
// neither required nor converted.
#include <pybind11/pybind11.h>

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

#include "engine/label_record.hpp"
#include "engine/orientation_frame.hpp"
#include "export/drawn_label.hpp"
#include "export/obj_export.hpp"
#include "module/cartographic_run.hpp"
#include "module/host_bridge.hpp"
#include "module/mesh_engines.hpp"
#include "module/prepared_run.hpp"
#include "pipeline/label_outputs.hpp"

namespace glyphway::module {

namespace py = pybind11;

// `labels, working_crs = result`, with the host's unpacking errors.
std::pair<py::object, py::object> unpack_pair(py::handle result);

// What the engine's data preparation gave an output: its own records, or
// what a replaced `_prepare_data` returned.
struct PreparedLabels {
    std::optional<PreparedRun> native;
    py::object dicts = py::none();  // a replaced preparation's labels
    py::object working_crs = py::none();
};

// The one way every output prepares: the engine's own preparation runs
// natively (the feature table's host objects, which serve only record
// dicts, are let go); a replaced `_prepare_data` is called and its result
// unpacked as `labels, working_crs`.
PreparedLabels prepare_labels(py::object self);

// Whether there is nothing to draw: no records, or labels that are false.
bool nothing_prepared(const PreparedLabels& prepared);

// float() of the engine's font_size, letter_spacing and char_width_est.
engine::EngineSizes engine_sizes(py::handle self);

// What the mesh writers read of the engine, once per export.
struct MeshSetup {
    engine::Posture posture = engine::Posture::flat;
    bool curved_text = true;
    py::object font_size;
    py::object letter_spacing;
    double base_font_size = 0.0;  // float(font_size)
    text::TextMeshEngine* whole_string_engine = nullptr;  // straight text only
};

MeshSetup mesh_setup(py::handle self, MeshEngines& engines);

// The engine's own records, drawn with meshes (`names`: each gets its
// object name) or, without `setup`, as points and footprints only.
std::vector<export_::DrawnLabel> drawn_native_meshes(py::handle self, PreparedRun& run,
                                                     const MeshSetup& setup,
                                                     MeshEngines& engines, bool names);
std::vector<export_::DrawnLabel> drawn_native_points(py::handle self, PreparedRun& run,
                                                     engine::Posture posture);
// Only the labels' frames and recorded texts (what the billboard CSV
// reads), handed to `visit` one at a time; the engine is read as for the
// points.
void visit_native_anchors(py::handle self, PreparedRun& run, engine::Posture posture,
                          const export_::DrawnLabelVisitor& visit);

// The outputs that read record dicts, each its own way.
enum class DictOutput { obj, glb, billboard, label_table };

struct DictReading {
    DictOutput output = DictOutput::obj;
    engine::Posture posture = engine::Posture::flat;
    // obj and glb: the engines and what was read of the engine for them.
    const MeshSetup* setup = nullptr;
    MeshEngines* engines = nullptr;
    bool names = false;
    // label_table: the fall-backs of the fitted sizes.
    engine::EngineSizes sizes;
};

// The label table hands back a dict's own values for its texts, group and
// line key, as the dict holds them (the key's absence as None).
struct HostTextColumns {
    py::list text, effective_text, group_id, line_key;
};

struct DrawnDicts {
    std::vector<export_::DrawnLabel> labels;  // the visible ones
    std::size_t record_count = 0;             // hidden ones included
};

// Every visible record dict drawn for `reading.output`. The billboard CSV
// gets the name column's text (None as empty); the label table gets the
// footprint, and its text columns in `host` (the view's texts stay empty);
// OBJ and GLB get meshes, the GLB its label table row too.
DrawnDicts drawn_dicts(py::handle dicts, const DictReading& reading,
                       HostTextColumns* host = nullptr);
// The same labels handed to `visit` one at a time; gives the number of
// records, hidden ones included.
std::size_t visit_drawn_dicts(py::handle dicts, const DictReading& reading,
                              const export_::DrawnLabelVisitor& visit,
                              HostTextColumns* host = nullptr);

// The sources of an export's labels (pipeline/label_outputs.hpp), picked
// by the call: the engine's preparation (prepare_labels: its own runs the
// interval stages natively from the road table, a replaced one is called
// and its record dicts are read) or, with style="cartographic", the
// cartographic placement. Each tells `host` the working system once it is
// known.
class PreparedSource final : public pipeline::LabelSource {
public:
    PreparedSource(py::object self, OutputBridge& host) : self_(std::move(self)), host_(host) {}

    bool prepare() override;
    engine::Posture start_meshes() override;
    engine::Posture posture() override;
    std::vector<export_::DrawnLabel> draw_meshes(pipeline::MeshOutput output,
                                                 bool names) override;
    void draw_points(engine::Posture posture, const export_::DrawnLabelVisitor& visit) override;
    // The engine's own records (hidden ones counted); a replaced
    // preparation's dicts are not counted, which would read them.
    std::size_t points_at_most() override;

private:
    py::object self_;
    OutputBridge& host_;
    PreparedLabels prepared_;
    MeshSetup setup_;
};

// `options` is the call's: the table read fills its stages' values, which
// the drawing then reads (posture, font size).
class CartographicSource final : public pipeline::LabelSource {
public:
    CartographicSource(py::object self, pipeline::Options& options, OutputBridge& host)
        : self_(std::move(self)), options_(options), host_(host) {}

    bool prepare() override;
    engine::Posture start_meshes() override { return options_.posture; }
    engine::Posture posture() override { return options_.posture; }
    std::vector<export_::DrawnLabel> draw_meshes(pipeline::MeshOutput output,
                                                 bool names) override;
    void draw_points(engine::Posture posture, const export_::DrawnLabelVisitor& visit) override;
    std::size_t points_at_most() override { return run_.placed.labels.size(); }

private:
    py::object self_;
    pipeline::Options& options_;
    OutputBridge& host_;
    CartographicRun run_;
};

}  // namespace glyphway::module
