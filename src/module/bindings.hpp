#pragma once
// Registration hooks of the extension module, one per subsystem binding file.
#include <pybind11/pybind11.h>

namespace glyphway::module {

void register_text_bindings(pybind11::module_& m);    // _TextMeshEngine, _FontManager
void register_text_shaping_bindings(pybind11::module_& m);  // _shape_text
void register_engine_bindings(pybind11::module_& m);  // _RoadTessaraEngine and its stages
void register_solver_bindings(pybind11::module_& m);  // _fast_resolve_collisions
void register_entry_points(pybind11::module_& m);     // generate, generate_csv
void register_engine_factory(pybind11::module_& m);   // _new_engine
void register_label_table_bindings(pybind11::module_& m);  // _label_table
void register_output_bindings(pybind11::module_& m);  // _write_output, _check_output
void register_progress_hook(pybind11::module_& m);    // _set_progress_hook
void register_glyph_frames_bindings(pybind11::module_& m);  // _glyph_frames
void register_roads_centre(pybind11::module_& m);     // _union_centre
void register_input_check_bindings(pybind11::module_& m);  // _dbf_encoding, _shapefile_damage

}  // namespace glyphway::module
