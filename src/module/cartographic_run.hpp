#pragma once
// The cartographic style as the exports and the label table see it: the
// engine's table read, its names shaped with its font and placed along the
// merged roads. Every output of the style starts here and draws the labels
// as pipeline/cartographic_labels.hpp makes them, so they all show the same
// placement.
#include <pybind11/pybind11.h>

#include <vector>

#include "pipeline/cartographic_labels.hpp"
#include "pipeline/options.hpp"
#include "placement/cartographic_placement.hpp"

namespace glyphway::module {

namespace py = pybind11;

inline constexpr const char* kIntervalStyle = pipeline::kIntervalStyleName;
inline constexpr const char* kCartographicStyle = pipeline::kCartographicStyleName;
inline constexpr double kDefaultMaxCharAngle =
    pipeline::option_info("max_char_angle").default_value.number;
inline constexpr const char* kDefaultCjkOrientation =
    pipeline::option_info("cjk_orientation").default_value.text;

// Whether `style` asks for the cartographic style; TypeError when it is not
// a str, ValueError when it names neither style.
bool is_cartographic_style(py::handle style);

// The largest turn between glyphs, in degrees, as a double; TypeError when
// it is not a number, ValueError outside (0, 180].
double checked_max_char_angle(py::handle max_char_angle);

// The character orientation of the cartographic style; TypeError when it is
// not a str, ValueError when it is not along, upright or auto.
placement::CjkOrientation checked_cjk_orientation(py::handle cjk_orientation);

struct CartographicRun {
    pipeline::CartographicLabels placed;
    py::object working_crs = py::none();  // None when the table has no name column
};

// Reads the engine's table and places its labels with
// options.max_char_angle; the table read fills `options` with the stages'
// values (and the engine's font_path). The engine's own `_prepare_data` is
// not involved: the interval placement's records are not what this style
// places.
CartographicRun run_cartographic_style(py::object self, pipeline::Options& options);

}  // namespace glyphway::module
