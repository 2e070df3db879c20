#pragma once
// Small host calls the binding makes everywhere: taking ownership of a new
// reference, a real number by the host's arithmetic rule, NumPy arrays of
// vectors, and the progress lines every run prints.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <string>
#include <vector>

namespace glyphway::module {

namespace py = pybind11;

// Owns the new reference a C API call returned; nullptr means the call
// failed with the host error set, which is thrown.
inline py::object steal_or_throw(PyObject* result) {
    if (!result) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(result);
}

// A real number the way arithmetic takes it: ints, floats and anything
// with __float__ or __index__; text is a TypeError (float() would parse it).
inline double real_number(py::handle value) {
    if (PyFloat_CheckExact(value.ptr())) return PyFloat_AS_DOUBLE(value.ptr());
    const double v = PyFloat_AsDouble(value.ptr());
    if (v == -1.0 && PyErr_Occurred()) throw py::error_already_set();
    return v;
}

// A one-dimensional NumPy array holding a copy of `values`.
template <typename T>
py::array_t<T> to_array(const std::vector<T>& values) {
    py::array_t<T> out(static_cast<py::ssize_t>(values.size()));
    std::copy(values.begin(), values.end(), out.mutable_data());
    return out;
}

// A NumPy bool array of `values` (std::vector<bool> has no contiguous data).
inline py::array_t<bool> to_mask(const std::vector<bool>& values) {
    py::array_t<bool> out(static_cast<py::ssize_t>(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) out.mutable_data()[i] = values[i];
    return out;
}

// One progress line on standard output, through the host's print() so a
// redirected sys.stdout receives it in order with the host's own lines.
inline void print_progress(const std::string& line) {
    py::module_::import("builtins").attr("print")(py::str(line));
}

// One warning line on standard error, through the host's print().
inline void print_warning(const std::string& line) {
    py::module_::import("builtins")
        .attr("print")(py::str(line), py::arg("file") = py::module_::import("sys").attr("stderr"));
}

}  // namespace glyphway::module
