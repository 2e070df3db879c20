#pragma once
// The boundary of a function the interpreter calls through the C API
// (METH_FASTCALL entry points, a tp_init-style __init__): no C++ exception
// may cross it, so what the body throws becomes the pending host error.
#include <pybind11/pybind11.h>

#include "module/error_translation.hpp"

namespace glyphway::module {

// Runs `body` and returns None, or nullptr with the host error set as
// set_host_error_from_current sets it.
template <typename Body>
PyObject* run_guarded(Body&& body) {
    try {
        body();
    } catch (...) {
        set_host_error_from_current();
        return nullptr;
    }
    Py_RETURN_NONE;
}

}  // namespace glyphway::module
