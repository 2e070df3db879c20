#pragma once
// The engine's attributes as the native stages need them. Beyond the sizes
// its constructor refuses, the engine stores its configuration as given;
// these readers convert what a stage uses, as the dictionary code would.
#include <pybind11/pybind11.h>

#include <cstdint>
#include <optional>
#include <string>
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

// str(density), or "" (no profile) for a name that is not valid UTF-8.
std::string density_name(py::handle engine_object);

// int(max_global_iterations), or nothing when it is None or unusable. A
// count beyond 64 bits is as good as unlimited.
std::optional<std::int64_t> iterations_override(py::handle engine_object);

}  // namespace glyphway::module
