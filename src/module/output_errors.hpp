#pragma once
// The writers' failures as the host's exceptions: a FileError as the
// OSError (subclass by errno) an open() of the path would raise, an
// unusable path as ValueError, and a NoFramePoint as the engine reports it.
#include <pybind11/pybind11.h>

#include <string>

#include "export/file_error.hpp"
#include "export/obj_export.hpp"
#include "export/output_target.hpp"
#include "module/label_frame_refresh.hpp"

namespace glyphway::module {

namespace py = pybind11;

// The output path as the file system spells it.
inline std::string output_fs_path(py::handle path) {
    py::bytes encoded = py::module_::import("os").attr("fsencode")(path);
    return std::string(encoded);
}

inline py::object host_output_path(const std::string& path) {
    return py::module_::import("os").attr("fsdecode")(py::bytes(path));
}

template <typename Write>
void run_writer(Write write) {
    try {
        write();
    } catch (const export_::FileError& e) {
        py::object error = py::reinterpret_steal<py::object>(PyObject_CallFunction(
            PyExc_OSError, "isO", e.error_number(), e.reason().c_str(),
            host_output_path(e.path()).ptr()));
        if (!error) throw py::error_already_set();
        PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
        throw py::error_already_set();
    } catch (const export_::OutputPathError& e) {
        const std::string shown = py::repr(host_output_path(e.path()));
        throw py::value_error(std::string(e.what()) + ": " + shown);
    } catch (const export_::NoFramePoint& e) {
        raise_no_point(e.empty_line());
    }
}

}  // namespace glyphway::module
