// The output-file rule of the native writers for the host's own writers
// (the label table, the preview picture): they render into memory and hand
// the bytes over, so every command refuses and keeps the same targets.
#include <pybind11/pybind11.h>

#include <string>
#include <string_view>

#include "export/output_file.hpp"
#include "export/output_target.hpp"
#include "module/bindings.hpp"
#include "module/error_translation.hpp"
#include "module/output_errors.hpp"

namespace glyphway::module {

namespace {

void write_output(py::object path, py::bytes data) {
    const std::string target = output_fs_path(path);
    char* bytes = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_AsStringAndSize(data.ptr(), &bytes, &size) != 0) throw py::error_already_set();
    with_host_errors([&] {
        export_::write_output_file(target, std::string_view(bytes, static_cast<std::size_t>(size)));
    });
}

void check_output(py::object path) {
    const std::string target = output_fs_path(path);
    with_host_errors([&] { (void)export_::inspect_output_target(target); });
}

}  // namespace

void register_output_bindings(py::module_& m) {
    m.def("_write_output", &write_output, py::arg("path"), py::arg("data"),
          "Writes `data` as the whole content of `path` as export_obj and export_csv write "
          "their files: a regular file through a temporary and a rename (an existing one "
          "keeps its mode), a character device or FIFO in place. Raises OSError or "
          "ValueError for a target they would refuse.");
    m.def("_check_output", &check_output, py::arg("path"),
          "Raises the OSError or ValueError that writing `path` would raise up front.");
    m.def("_outputs_written", &export_::committed_output_count,
          "How many output files the native writers completed in this process.");
}

}  // namespace glyphway::module
