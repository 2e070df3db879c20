// `_new_engine(keywords, font_path=None)`: a `_RoadTessaraEngine` built from
// keyword arguments, with a known font instead of the machine-wide font
// search, for package code that drives the stages itself (the label table
// and the preview) rather than through generate/generate_csv.
#include <pybind11/pybind11.h>

#include "module/argument_kinds.hpp"
#include "module/bindings.hpp"
#include "module/engine_class.hpp"
#include "module/font_path_override.hpp"
#include "module/host_calls.hpp"

namespace glyphway::module {

namespace {

py::object new_engine(py::dict keywords, py::object font_path) {
    font_path = steal_or_throw(optional_paths_argument("font_path", font_path.ptr()));
    ScopedFontPath font(font_path);
    py::object cls = engine_host_module().attr("_RoadTessaraEngine");
    return steal_or_throw(PyObject_Call(cls.ptr(), py::tuple().ptr(), keywords.ptr()));
}

}  // namespace

void register_engine_factory(py::module_& m) {
    m.def("_new_engine", &new_engine, py::arg("keywords"), py::arg("font_path") = py::none(),
          "A _RoadTessaraEngine(**keywords); with font_path, that font (or list of fonts, "
          "tried per character) is used instead of searching the machine for a CJK-capable "
          "one.");
}

}  // namespace glyphway::module
