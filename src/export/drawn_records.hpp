#pragma once
// The view of the engine's own label records: every visible record as it is
// drawn, read natively (no record dicts). A record the collision solver
// moved gets a fresh frame at its new distance, stored back into the record
// so later readers agree.
//
// Each value is the one the record's dict would hold: a fitted key the
// record lacks falls back as the dict's reader falls back (the engine's
// sizes, the recorded text).
#include <cstddef>
#include <stdexcept>
#include <vector>

#include "engine/label_record.hpp"
#include "engine/orientation_frame.hpp"
#include "engine/periodic_check.hpp"
#include "export/drawn_label.hpp"
#include "text/text_mesh_engine.hpp"

namespace glyphway::export_ {

// A record the solver moved with no line to build its new frame on.
class RecordWithoutLine : public std::runtime_error {
public:
    RecordWithoutLine() : std::runtime_error("a moved label has no line") {}
};

struct RecordDrawing {
    engine::Posture posture = engine::Posture::flat;
    bool curved_text = true;
    // The engine's own sizes, for records that carry no fitted ones.
    engine::EngineSizes sizes;
    // Where curved labels get their engines; null for outputs that draw no
    // mesh (the billboard CSV, the label table), whose labels have none.
    MeshEngineSource* meshes = nullptr;
    text::TextMeshEngine* whole_string_engine = nullptr;  // straight text, with `meshes`
    bool names = false;  // object names, for writers that name each label
    // Only each label's index, frame and recorded text, for the billboard
    // CSV, which reads nothing else: a country's labels are then drawn
    // without measuring their footprints or converting their texts.
    bool anchors_only = false;
};

// The visible records (not hidden) in order, each drawn as `drawing` says
// and handed to `visit`.
// A record's frame is the stored one, or, when the solver moved the label
// since it was computed, a fresh one (reading direction left to right),
// also stored back into the record. `check_interrupt` runs every few
// thousand records: this loop covers every candidate of a whole network.
// Throws RecordWithoutLine and NoFramePoint.
void visit_drawn_records(std::vector<engine::LabelRecord>& records, const RecordDrawing& drawing,
                         const DrawnLabelVisitor& visit,
                         const engine::InterruptCallback& check_interrupt = {});

// The same labels gathered in one vector, for readers that need them all.
std::vector<DrawnLabel> drawn_records(std::vector<engine::LabelRecord>& records,
                                      const RecordDrawing& drawing,
                                      const engine::InterruptCallback& check_interrupt = {});

}  // namespace glyphway::export_
