#pragma once
// The engine's fonts: `font_path`, and the `fallback_fonts` behind it that
// a character the first has no glyph for is tried in, in order. The chain
// is checked against the names once the road table is read: an installed
// CJK font that the search (_FontManager.get_installed_cjk_font_path)
// finds joins the fallbacks when the chain cannot draw some names, and what
// no font draws is said in one warning.
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

#include "pipeline/road_table.hpp"

namespace glyphway::module {

namespace py = pybind11;

// The engine's fonts as _TextMeshEngine takes them: font_path itself when
// there is no fallback (so one font is handed on as it always was), else
// a list of font_path and the fallbacks.
py::object engine_fonts(py::handle self);

// The same as text: font_path first.
std::vector<std::string> engine_font_chain(py::handle self);

// Checks `table`'s names against the engine's chain before anything is
// measured or drawn (pipeline/font_coverage.hpp); a font the search adds
// goes into the engine's fallback_fonts, with a progress line.
void check_engine_fonts(py::handle self, const pipeline::RoadTable& table);

}  // namespace glyphway::module
