#pragma once
// The engine's attributes read into pipeline::Options, and the checks of
// the values no run can use. The engine stores its configuration as given
// (beyond the sizes its constructor refuses); each reader converts only
// what its stage uses, when the stage uses it, so a value a run never needs
// is never converted: a font size when every visible record carries its
// own, the auto-fit limits when auto-fit is off, the join tolerance outside
// name_connected grouping.
#include <pybind11/pybind11.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/label_record.hpp"
#include "engine/orientation_frame.hpp"
#include "engine/road_grouping.hpp"
#include "engine/text_autofit.hpp"
#include "pipeline/options.hpp"
#include "placement/candidate_placement.hpp"

namespace glyphway::module {

namespace py = pybind11;

// Runs `f`, raising an OptionError as the host's ValueError with its message.
template <typename F>
decltype(auto) refusing_options(F&& f) {
    try {
        return f();
    } catch (const pipeline::OptionError& e) {
        throw py::value_error(e.what());
    }
}

// The engine constructor's refusals, in its parameter order: each number
// option with a finite, non-negative or positive range that holds a real
// number outside it (text and other objects are stored as given and fail
// in the stage that uses them). An int too large for a double counts as
// infinite.
void check_engine_numbers(py::handle engine_object);

// The sampling options, checked before anything is read: a text_count that
// is set and positive is a range bound (an integer); without one the
// interval is read and must be a positive finite number.
void read_sampling_options(py::handle engine_object, pipeline::Options& options);

// The stages' options after sampling's, read once the table is in.
void read_stage_options(py::handle engine_object, pipeline::Options& options);

// Disabled (and nothing else read) unless auto_fit_text and curved_text are
// both true; otherwise the four sizes as floats and the overflow strategy.
engine::AutofitSettings read_autofit_settings(py::handle engine_object);

// The repeat mode, the join tolerance and, only when the median of visible
// font sizes falls back to it for some of `records`, float(font_size).
engine::GroupingSettings read_grouping_settings(py::handle engine_object,
                                                const std::vector<engine::LabelRecord>& records);
engine::RepeatMode read_repeat_mode(py::handle engine_object);

// Placement's settings for `records`: each attribute converted only where
// placement uses it (see options_reader.cpp).
placement::PlacementSettings read_placement_settings(
    py::handle engine_object, const std::vector<engine::LabelRecord>& records);

engine::Posture read_posture(py::handle engine_object);

// str(density), or "" (no profile) for a name that is not valid UTF-8.
std::string density_name(py::handle engine_object);

// int(max_global_iterations), or nothing when it is None or unusable. A
// count beyond 64 bits is as good as unlimited.
std::optional<std::int64_t> iterations_override(py::handle engine_object);

}  // namespace glyphway::module
