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
#include "module/error_translation.hpp"
#include "pipeline/options.hpp"
#include "placement/candidate_placement.hpp"

namespace glyphway::module {

namespace py = pybind11;

// Runs `f`, raising an OptionError as the host's ValueError with its message.
template <typename F>
decltype(auto) refusing_options(F&& f) {
    return with_host_errors(std::forward<F>(f));
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

// --- The options of one export call, read once when it starts ---------------

// The run keywords of every output: style, max_char_angle, then
// cjk_orientation, each refused as is_cartographic_style,
// checked_max_char_angle and checked_cjk_orientation refuse it.
void read_run_keywords(py::handle style, py::handle max_char_angle, py::handle cjk_orientation,
                       pipeline::Options& options);

// export_csv's own arguments, after the run keywords. angle_precision is
// checked first: a count beyond kMaxAngleDecimals is refused here; a text
// that is no whole number becomes -1, refused only once there is a row to
// format (refuse_angle_precision). target_crs: "" when it is false, else
// its str() (the host keeps the object itself for pyproj); angle_unit:
// "degree" when its lower() is "degree", else "radian".
void read_billboard_options(py::handle target_crs, py::handle output_quaternion,
                            py::handle output_both_angles, py::handle angle_unit,
                            py::handle angle_precision, pipeline::Options& options);

// The precision that is not a count, now that there are rows to format: the
// host's format() raises the error the host would.
[[noreturn]] void refuse_angle_precision(py::handle angle_precision);

// What the mesh outputs read of the engine itself: separate_objects.
void read_mesh_output_options(py::handle engine_object, pipeline::Options& options);

// str(density), or "" (no profile) for a name that is not valid UTF-8.
std::string density_name(py::handle engine_object);

// int(max_global_iterations), or nothing when it is None or unusable. A
// count beyond 64 bits is as good as unlimited.
std::optional<std::int64_t> iterations_override(py::handle engine_object);

}  // namespace glyphway::module
