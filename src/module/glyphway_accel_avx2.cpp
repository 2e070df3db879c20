// The extension module: registers the classes and functions of each
// subsystem. Everything here is translation; the work happens in the core.
#include <pybind11/pybind11.h>

#include "module/bindings.hpp"

#ifndef GLYPHWAY_VERSION
#define GLYPHWAY_VERSION "0.1.0"
#endif

namespace py = pybind11;

namespace {

// The core keeps process-wide state (shared font faces), so the module is
// initialised once per process. A second execution of the module (a fresh
// import through importlib, another interpreter) is refused with ImportError
// instead of silently handing out a half-built module.
bool g_initialised = false;

void init_module(py::module_& m) {
    m.doc() = "Road-name label placement and 3D text meshes";
    m.attr("__version__") = GLYPHWAY_VERSION;
    glyphway::module::register_text_bindings(m);
    glyphway::module::register_text_shaping_bindings(m);
    glyphway::module::register_engine_bindings(m);
    glyphway::module::register_solver_bindings(m);
    glyphway::module::register_entry_points(m);
    glyphway::module::register_engine_factory(m);
    glyphway::module::register_label_table_bindings(m);
    glyphway::module::register_output_bindings(m);
    glyphway::module::register_progress_hook(m);
    glyphway::module::register_glyph_frames_bindings(m);
    glyphway::module::register_roads_centre(m);
    glyphway::module::register_input_check_bindings(m);
}

int exec_module(PyObject* module) {
    if (g_initialised) {
        PyErr_SetString(PyExc_ImportError,
                        "glyphway_accel_avx2 is already initialised in this process and cannot be "
                        "initialised again");
        return -1;
    }
    try {
        py::detail::ensure_internals();
        auto m = py::reinterpret_borrow<py::module_>(module);
        init_module(m);
        g_initialised = true;
        return 0;
    } catch (py::error_already_set& e) {
        e.restore();
    } catch (const std::exception& e) {
        PyErr_SetString(PyExc_ImportError, e.what());
    }
    return -1;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_module)},
#if PY_VERSION_HEX >= 0x030C0000
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
#endif
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "glyphway_accel_avx2",
    nullptr,
    0,
    nullptr,
    module_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

extern "C" PYBIND11_EXPORT PyObject* PyInit_glyphway_accel_avx2() { return PyModuleDef_Init(&module_def); }
