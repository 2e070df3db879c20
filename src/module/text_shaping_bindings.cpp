// Python face of text shaping: _shape_text, for tests and for checking a
// font's shaped widths by hand.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <string>
#include <vector>

#include "module/bindings.hpp"
#include "module/text_engine_handle.hpp"
#include "text/text_shaping.hpp"

namespace py = pybind11;
using namespace pybind11::literals;

namespace glyphway::module {

namespace {

// `font_path`: one font, or a list or tuple of them (a chain); each glyph
// says which font of it shaped it.
py::tuple shape_text(const py::object& font_path, const std::u32string& text, double font_size,
                     double letter_spacing) {
    const text::ShapedText shaped =
        text::TextShaper(font_files(font_path)).shape(text, font_size, letter_spacing);
    py::list glyphs;
    for (const text::ShapedGlyph& g : shaped.glyphs) {
        glyphs.append(py::make_tuple(py::cast(std::u32string(1, g.character)), g.x_advance, g.x_offset,
                                     g.font));
    }
    return py::make_tuple(glyphs, shaped.width);
}

}  // namespace

void register_text_shaping_bindings(py::module_& m) {
    m.def("_shape_text", &shape_text, "font_path"_a, "text"_a, "font_size"_a, "letter_spacing"_a = 0.0,
          "(list of (character, x_advance, x_offset, font index), width) of text shaped with HarfBuzz "
          "(font_path: one font or a list of fonts tried per character)");
}

}  // namespace glyphway::module
