#pragma once
// The output path between the host and the writers, and the writers'
// failures as the host's exceptions: a FileError as the OSError (subclass
// by errno) an open() of the path would raise, an unusable path as
// ValueError, and a NoFramePoint as the engine reports it.
#include <pybind11/pybind11.h>

#include <string>

#include "export/file_error.hpp"
#include "export/obj_export.hpp"
#include "export/output_target.hpp"
#include "module/error_translation.hpp"
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

// Runs a writer, its failures as host errors (error_translation.hpp).
template <typename Write>
void run_writer(Write write) {
    with_host_errors(write);
}

}  // namespace glyphway::module
