#pragma once
// Reading the visible record dicts of a replaced data preparation, as every
// consumer of them must: hidden records are skipped, and a record whose
// distance the collision solver changed gets a fresh frame at the new
// distance, stored back into the dict so later readers agree (the engine's
// own records are read so in export/drawn_records.hpp).
#include <pybind11/pybind11.h>

#include <cstddef>
#include <vector>

#include "engine/label_record.hpp"
#include "engine/orientation_frame.hpp"
#include "export/drawn_label.hpp"
#include "module/engine_convert.hpp"
#include "module/error_translation.hpp"
#include "module/interrupts.hpp"

namespace glyphway::module {

namespace py = pybind11;

// read_field of a required key.
void read_required(engine::LabelRecord& r, engine::Field field, py::handle dict,
                   LineCache& lines);

// The road a curved label is laid along (its line, distance and line_len,
// all required), read from the dict into the record and the drawn label.
void read_curved_road(engine::LabelRecord& r, py::handle dict, LineCache& lines,
                      export_::DrawnLabel& label);

// A visible record's frame: the stored one, or, when the solver moved the
// label since it was computed, a fresh one (reading direction left to
// right), which is also stored back into the record. `need_stored` is false
// where the caller never reads the stored frame.
engine::Mat4 label_frame(engine::LabelRecord& r, py::handle dict, engine::Posture posture,
                         LineCache& lines, bool need_stored);

// record['hidden'] with its fall-back.
bool is_hidden(engine::LabelRecord& r, py::handle dict);

// Calls visit(index, record, dict) for every record dict that is not
// hidden, `record` holding what is_hidden read. Checks for Ctrl-C every few
// thousand dicts: these loops run over every candidate of a whole network.
template <class Visit>
void for_each_visible(const std::vector<py::object>& dicts, Visit&& visit) {
    constexpr std::size_t kDictsPerCheck = 4096;
    for (std::size_t index = 0; index < dicts.size(); ++index) {
        if ((index + 1) % kDictsPerCheck == 0) check_host_signals();
        py::handle d = dicts[index];
        engine::LabelRecord r;
        if (is_hidden(r, d)) continue;
        visit(index, r, d);
    }
}

}  // namespace glyphway::module
