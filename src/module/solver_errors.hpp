#pragma once
// The solver adaptor's failures as the host errors a record dict would give
// when read: a missing key is a KeyError, an integer beyond 32 bits an
// OverflowError, a value of the wrong kind a TypeError.
#include <pybind11/pybind11.h>

#include <string>
#include <utility>

#include "module/engine_convert.hpp"
#include "solver/label_solver_adaptor.hpp"

namespace glyphway::module {

template <typename Run>
decltype(auto) with_host_label_errors(Run&& run) {
    try {
        return std::forward<Run>(run)();
    } catch (const solver::MissingLabelField& e) {
        PyErr_SetObject(PyExc_KeyError, field_key_object(e.field).ptr());
        throw py::error_already_set();
    } catch (const solver::LabelFieldOverflow&) {
        PyErr_SetString(PyExc_OverflowError, "value too large to convert to int");
        throw py::error_already_set();
    } catch (const solver::LabelFieldType& e) {
        throw py::type_error(e.what());
    }
}

}  // namespace glyphway::module
