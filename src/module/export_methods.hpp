#pragma once
// The engine's writers, export_obj, export_csv and export_glb, added at the
// end of the engine's method table.
#include <pybind11/pybind11.h>

namespace glyphway::module {

void register_export_methods(pybind11::handle cls);

}  // namespace glyphway::module
