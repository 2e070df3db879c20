#pragma once
// The cartographic style as the exports and the label table see it: the
// engine's table read, its names shaped with its font and placed along the
// merged roads, and each placed glyph's frame. Every output of the style
// starts here, so they all draw the same placement.
#include <pybind11/pybind11.h>

#include <cstddef>
#include <string>
#include <vector>

#include "engine/orientation_frame.hpp"
#include "export/obj_export.hpp"
#include "pipeline/options.hpp"
#include "placement/cartographic_placement.hpp"

namespace glyphway::module {

namespace py = pybind11;

inline constexpr const char* kIntervalStyle = pipeline::kIntervalStyleName;
inline constexpr const char* kCartographicStyle = pipeline::kCartographicStyleName;
inline constexpr double kDefaultMaxCharAngle =
    pipeline::option_info("max_char_angle").default_value.number;

// Whether `style` asks for the cartographic style; TypeError when it is not
// a str, ValueError when it names neither style.
bool is_cartographic_style(py::handle style);

// The largest turn between glyphs, in degrees, as a double; TypeError when
// it is not a number, ValueError outside (0, 180].
double checked_max_char_angle(py::handle max_char_angle);

struct CartographicRun {
    std::vector<placement::CartographicLabel> labels;
    std::vector<double> weights;  // each label's road weight
    py::object working_crs = py::none();  // None when the table has no name column
};

// Reads the engine's table and places its labels. The engine's own
// `_prepare_data` is not involved: the interval placement's records are
// not what this style places.
CartographicRun run_cartographic_style(py::object self, double max_char_angle);

// A placed glyph's frame, as the interval style's glyph frames are built:
// x along the glyph's reading direction; flat text faces up, upright text
// stands facing across the road.
engine::Mat4 cartographic_glyph_frame(const placement::PlacedGlyph& glyph,
                                      engine::Posture posture);

// The glyph a label is anchored at: its middle one.
const placement::PlacedGlyph& anchor_glyph(const placement::CartographicLabel& label);

// A label as the mesh writers draw it: its glyphs on their own frames (the
// engine's glyphs scaled to the label's size), its frame the middle glyph's.
// `named`: it gets its object name.
export_::ObjLabel cartographic_obj_label(const placement::CartographicLabel& label,
                                         std::size_t index, engine::Posture posture,
                                         text::TextMeshEngine* engine, double base_size,
                                         bool named);

// A label's group: the merged road it stands on.
std::string cartographic_group_id(const placement::CartographicLabel& label);

}  // namespace glyphway::module
