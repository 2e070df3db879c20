#pragma once
// The engine's attributes as the native stages need them. The engine stores
// its configuration unchecked; each stage reads and converts what it uses
// when it runs, as the attribute reads of the dictionary code would.
#include <pybind11/pybind11.h>

#include <vector>

#include "engine/label_record.hpp"
#include "engine/orientation_frame.hpp"
#include "engine/road_grouping.hpp"
#include "engine/text_autofit.hpp"

namespace glyphway::module {

namespace py = pybind11;

// Disabled (and nothing else read) unless auto_fit_text and curved_text are
// both true; otherwise the four sizes as floats and the overflow strategy.
engine::AutofitSettings read_autofit_settings(py::handle engine_object);

// The repeat mode, the join tolerance and, only when the median of visible
// font sizes falls back to it for some of `records`, float(font_size).
engine::GroupingSettings read_grouping_settings(py::handle engine_object,
                                                const std::vector<engine::LabelRecord>& records);
engine::RepeatMode read_repeat_mode(py::handle engine_object);

engine::Posture read_posture(py::handle engine_object);

}  // namespace glyphway::module
