#include "module/error_translation.hpp"

#include <exception>
#include <string>

#include "engine/candidate_sampling.hpp"
#include "export/drawn_records.hpp"
#include "export/file_error.hpp"
#include "export/glyph_layout.hpp"
#include "export/output_target.hpp"
#include "module/engine_convert.hpp"
#include "module/host_calls.hpp"
#include "module/output_errors.hpp"
#include "pipeline/label_pipeline.hpp"
#include "pipeline/options.hpp"
#include "placement/candidate_placement.hpp"
#include "solver/label_solver_adaptor.hpp"

namespace glyphway::module {

namespace {

// OSError(errno, reason, path) picks the subclass for the errno itself
// (FileNotFoundError, PermissionError, ...); raising that instance under
// its own type keeps the subclass.
[[noreturn]] void raise_file_error(const export_::FileError& e) {
    py::object error = steal_or_throw(PyObject_CallFunction(
        PyExc_OSError, "isO", e.error_number(), e.reason().c_str(),
        host_output_path(e.path()).ptr()));
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
    throw py::error_already_set();
}

// Placement reads `distance` and `line` of every record and a point of
// its line: a key it misses is that key's KeyError, an empty line an
// IndexError, a NaN distance or a centre off the finite plane a ValueError.
[[noreturn]] void raise_placement_error(const placement::PlacementError& e) {
    using Reason = placement::PlacementError::Reason;
    switch (e.reason) {
        case Reason::missing_distance: throw py::key_error("distance");
        case Reason::missing_line: throw py::key_error("line");
        case Reason::empty_line: throw py::index_error(e.what());
        case Reason::nan_distance:
        case Reason::non_finite_centre: break;
    }
    throw py::value_error(e.what());
}

}  // namespace

void rethrow_as_host_error() {
    try {
        throw;
    } catch (const solver::MissingLabelField& e) {
        PyErr_SetObject(PyExc_KeyError, field_key_object(e.field).ptr());
        throw py::error_already_set();
    } catch (const solver::LabelFieldOverflow&) {
        PyErr_SetString(PyExc_OverflowError, "value too large to convert to int");
        throw py::error_already_set();
    } catch (const solver::LabelFieldType& e) {
        throw py::type_error(e.what());
    } catch (const placement::PlacementError& e) {
        raise_placement_error(e);
    } catch (const engine::SamplingError& e) {
        throw py::value_error(e.what());
    } catch (const pipeline::FrameError& e) {
        throw py::value_error(e.what());
    } catch (const pipeline::OptionError& e) {
        throw py::value_error(e.what());
    } catch (const export_::FileError& e) {
        raise_file_error(e);
    } catch (const export_::OutputPathError& e) {
        const std::string shown = py::repr(host_output_path(e.path()));
        throw py::value_error(std::string(e.what()) + ": " + shown);
    } catch (const export_::NoFramePoint& e) {
        raise_no_point(e.empty_line());
    } catch (const export_::RecordWithoutLine&) {
        throw py::key_error(std::string(engine::field_key(engine::Field::line)));
    }
}

void set_host_error_from_current() {
    try {
        rethrow_as_host_error();
    } catch (py::error_already_set& e) {
        e.restore();
    } catch (const py::builtin_exception& e) {
        e.set_error();
    } catch (const std::exception& e) {
        PyErr_SetString(PyExc_RuntimeError, e.what());
    }
}

void raise_no_point(bool empty_line) {
    if (empty_line) throw py::index_error("the line is empty: it has no point");
    throw py::value_error("the distance is NaN: a line has no point there");
}

}  // namespace glyphway::module
