#include "module/font_path_override.hpp"

#include <utility>

namespace glyphway::module {

namespace {

// Borrowed from the innermost ScopedFontPath. A raw pointer rather than a
// py::object so nothing is released after the interpreter has gone. Only
// touched with the interpreter lock held.
PyObject* g_font_path = nullptr;

}  // namespace

ScopedFontPath::ScopedFontPath(pybind11::object path)
    : path_(std::move(path)), previous_(g_font_path) {
    g_font_path = path_.is_none() ? nullptr : path_.ptr();
}

ScopedFontPath::~ScopedFontPath() { g_font_path = previous_; }

PyObject* font_path_override() { return g_font_path; }

}  // namespace glyphway::module
