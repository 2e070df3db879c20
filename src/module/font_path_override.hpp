#pragma once
// A caller that already knows which font to use (the entry points'
// `font_path` argument) should not pay for, or depend on, the engine's
// font search, which may even go to the network. While a ScopedFontPath is
// alive, every engine constructed takes that path instead of asking
// _FontManager; scopes nest and restore the previous state on exit.
#include <pybind11/pybind11.h>

namespace glyphway::module {

class ScopedFontPath {
public:
    // `path` is a str, a tuple of str (a chain of fonts), or None for "no
    // override" (search as usual).
    explicit ScopedFontPath(pybind11::object path);
    ~ScopedFontPath();
    ScopedFontPath(const ScopedFontPath&) = delete;
    ScopedFontPath& operator=(const ScopedFontPath&) = delete;

private:
    pybind11::object path_;
    PyObject* previous_;
};

// The font path of the innermost live scope; nullptr when none applies.
// Borrowed: the scope owns it.
PyObject* font_path_override();

}  // namespace glyphway::module
