// _FontManager: the module's font search, kept replaceable as a class
// attribute (the engine looks it up when it is built). The search itself is
// host policy, written in Python (glyphway_maker/_fonts.py); it is imported
// when first asked for, by which time this module is loaded, since the
// package imports this module before anything else.
#include "module/font_lookup.hpp"

namespace py = pybind11;

namespace glyphway::module {

namespace {

py::object get_chinese_font_path() {
    return py::module_::import("glyphway_maker._fonts").attr("chinese_font_path")();
}

py::object get_installed_cjk_font_path() {
    return py::module_::import("glyphway_maker._fonts").attr("installed_cjk_font_path")();
}

struct FontManager {};

}  // namespace

void register_font_lookup(py::module_& m) {
    py::class_<FontManager>(m, "_FontManager")
        .def_static("get_chinese_font_path", &get_chinese_font_path,
                    "Path of a CJK-capable font: an installed family, else the fallback font "
                    "in the temporary directory (downloaded once).")
        .def_static("get_installed_cjk_font_path", &get_installed_cjk_font_path,
                    "Path of a CJK-capable font already on the machine (an installed family, "
                    "else the fallback font if downloaded before), or None; never downloads. "
                    "Asked when the chosen fonts lack glyphs the names need.");
}

}  // namespace glyphway::module
