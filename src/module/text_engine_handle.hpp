#pragma once
// The Python object behind _TextMeshEngine: the native engine plus the
// attributes Python sees, and the Python view of the glyph cache, whose
// arrays are created once per glyph so every cache hit returns the same
// array objects.
#include <pybind11/pybind11.h>

#include <memory>
#include <string>
#include <vector>

#include "text/text_mesh_engine.hpp"

namespace glyphway::module {

struct TextEngineHandle {
    std::shared_ptr<text::TextMeshEngine> core;
    pybind11::object font_size;
    pybind11::object depth;
    pybind11::object letter_spacing;
    pybind11::object font_prop;
    pybind11::dict glyph_cache;

    // Adds Python entries for glyphs the native cache holds but Python has
    // not seen yet (the pipeline fills the native cache directly).
    void sync_glyph_cache();
};

// Writes the lines the engine holds about glyphs it drew empty to the
// host's stderr, one "[glyphway_maker] WARNING: " line each.
void print_glyph_warnings(text::TextMeshEngine& core);

// The font files of a `font_path` argument as text: one str or PathLike,
// or a list or tuple of them (a chain, tried per character in order).
std::vector<std::string> font_files(const pybind11::object& font_path);

std::shared_ptr<TextEngineHandle> make_text_engine(pybind11::object font_path, pybind11::object font_size,
                                                   pybind11::object extrusion_depth,
                                                   pybind11::object letter_spacing);

}  // namespace glyphway::module
