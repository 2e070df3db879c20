#pragma once
#include <pybind11/pybind11.h>

namespace glyphway::module {

// Registers _FontManager with its static get_chinese_font_path() and
// get_installed_cjk_font_path().
void register_font_lookup(pybind11::module_& m);

}  // namespace glyphway::module
