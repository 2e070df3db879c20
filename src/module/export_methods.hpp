#pragma once
// The engine's two writers, export_obj and export_csv, added at the end of
// the engine's method table.
#include <pybind11/pybind11.h>

namespace glyphway::module {

void register_export_methods(pybind11::handle cls);

}  // namespace glyphway::module
