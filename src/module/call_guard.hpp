#pragma once
// The boundary of a function the interpreter calls through the C API
// (METH_FASTCALL entry points, a tp_init-style __init__): no C++ exception
// may cross it, so what the body throws becomes the pending host error.
#include <pybind11/pybind11.h>

#include <exception>

namespace glyphway::module {

// Runs `body` and returns None, or nullptr with the host error set: an
// error_already_set is restored as it is, a pybind11 exception type
// (value_error, type_error, ...) becomes the host error it stands for, any
// other exception a RuntimeError with its message.
template <typename Body>
PyObject* run_guarded(Body&& body) {
    try {
        body();
    } catch (pybind11::error_already_set& e) {
        e.restore();
        return nullptr;
    } catch (const pybind11::builtin_exception& e) {
        e.set_error();
        return nullptr;
    } catch (const std::exception& e) {
        PyErr_SetString(PyExc_RuntimeError, e.what());
        return nullptr;
    }
    Py_RETURN_NONE;
}

}  // namespace glyphway::module
