// _fast_resolve_collisions: the collision solver on a list of label record
// dicts (or a native `_LabelRecords` list). Translation only: the keys are
// read into solver records, the core solves, and the results are written
// back.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "module/bindings.hpp"
#include "module/engine_convert.hpp"
#include "module/engine_label_records.hpp"
#include "module/error_translation.hpp"
#include "module/host_calls.hpp"
#include "module/interrupts.hpp"
#include "solver/collision_solver.hpp"
#include "solver/label_solver_adaptor.hpp"

namespace glyphway::module {

namespace {

namespace py = pybind11;
using engine::Field;
using solver::narrow_to_float;

void resolve_native(NativeLabels& native, const solver::SolverSizes& sizes) {
    std::vector<std::size_t> indices(native.records.size());
    for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = i;
    with_host_errors(
        [&] { solver::resolve_label_collisions(native.records, indices, sizes, check_host_signals); });
    constexpr Field kWritten[] = {Field::matrix_dirty, Field::distance, Field::hidden};
    native.note_stage(kWritten);
}

void fast_resolve_collisions(py::object labels, double char_width_est, double font_size,
                             double letter_spacing) {
    const solver::SolverSizes sizes{narrow_to_float(char_width_est), narrow_to_float(font_size),
                                    narrow_to_float(letter_spacing)};
    if (NativeLabels* native = as_native_labels(labels)) {
        resolve_native(*native, sizes);
        return;
    }

    const std::vector<py::object> dicts = record_dicts(labels);
    solver::SolverInput input;
    std::vector<double> read_distance;  // the label's distance as read, per record
    LineCache lines;
    for (std::size_t i = 0; i < dicts.size(); ++i) {
        py::handle d = dicts[i];
        py::handle hidden = optional_item(d, Field::hidden);
        if (hidden && host_truth(hidden)) continue;

        solver::SolverRecord r;
        r.list_index = static_cast<std::int32_t>(i);
        r.text_len = host_index_int32(required_item(d, Field::text_len));
        const auto number_or = [&](Field f, double fallback) {
            py::handle v = optional_item(d, f);
            return v ? real_number(v) : fallback;
        };
        solver::SolverLabelValues values;
        values.text_len = number_or(Field::effective_text_len, r.text_len);
        values.font_size = number_or(Field::effective_font_size, sizes.font_size);
        values.letter_spacing = number_or(Field::effective_letter_spacing, sizes.letter_spacing);
        values.char_width = number_or(Field::effective_char_width_est, sizes.char_width_est);
        r.id = host_index_int32(required_item(d, Field::id));
        values.distance = real_number(required_item(d, Field::distance));
        values.line_len = real_number(required_item(d, Field::line_len));
        values.weight = real_number(required_item(d, Field::weight));
        const MatrixEntries m = matrix_entries(required_item(d, Field::matrix));
        values.cx = m.cx;
        values.cy = m.cy;
        values.dx = m.dx;
        values.dy = m.dy;
        solver::set_solver_geometry(r, values);

        solver::SolverRecordLink link;
        py::handle uid = optional_item(d, Field::line_uid);
        if (uid && !uid.is_none()) {
            link.has_line_uid = true;
            link.line_uid = host_index_int64(uid);
        }
        py::handle line = optional_item(d, Field::line);
        if (line && !line.is_none()) {
            std::shared_ptr<const engine::LineGeometry>& cached = lines[line.ptr()];
            if (!cached) cached = std::make_shared<const engine::LineGeometry>(read_line(line));
            link.line = cached.get();
        }
        input.records.push_back(r);
        input.links.push_back(link);
        read_distance.push_back(values.distance);
    }
    if (input.records.empty()) return;

    solver::resolve_collisions(input, sizes.char_width_est, check_host_signals);

    PyObject* dirty_key = field_key_object(Field::matrix_dirty).ptr();
    PyObject* distance_key = field_key_object(Field::distance).ptr();
    PyObject* hidden_key = field_key_object(Field::hidden).ptr();
    for (std::size_t i = 0; i < input.records.size(); ++i) {
        const solver::SolverRecord& r = input.records[i];
        PyObject* d = dicts[static_cast<std::size_t>(r.list_index)].ptr();
        if (solver::solver_moved_label(read_distance[i], r) &&
            PyDict_SetItem(d, dirty_key, Py_True) != 0) {
            throw py::error_already_set();
        }
        py::object value = steal_or_throw(PyFloat_FromDouble(solver::solved_distance(r)));
        if (PyDict_SetItem(d, distance_key, value.ptr()) != 0) throw py::error_already_set();
        if (PyDict_SetItem(d, hidden_key, r.hidden ? Py_True : Py_False) != 0) {
            throw py::error_already_set();
        }
    }
}

// Test aid: the final pass alone on records given column by column.
py::array_t<bool> solver_final_pass(py::array_t<float, py::array::c_style | py::array::forcecast> cx,
                                    py::array_t<float, py::array::c_style | py::array::forcecast> cy,
                                    py::array_t<float, py::array::c_style | py::array::forcecast> dx,
                                    py::array_t<float, py::array::c_style | py::array::forcecast> dy,
                                    py::array_t<float, py::array::c_style | py::array::forcecast> length,
                                    py::array_t<float, py::array::c_style | py::array::forcecast> height,
                                    py::array_t<float, py::array::c_style | py::array::forcecast> weight,
                                    py::array_t<std::int32_t, py::array::c_style | py::array::forcecast> text_len) {
    const py::ssize_t n = cx.size();
    for (const py::array* a : {static_cast<const py::array*>(&cy), static_cast<const py::array*>(&dx),
                               static_cast<const py::array*>(&dy), static_cast<const py::array*>(&length),
                               static_cast<const py::array*>(&height), static_cast<const py::array*>(&weight),
                               static_cast<const py::array*>(&text_len)}) {
        if (a->size() != n) throw py::value_error("all columns must have the same length");
    }
    std::vector<solver::SolverRecord> records(static_cast<std::size_t>(n));
    for (py::ssize_t i = 0; i < n; ++i) {
        solver::SolverRecord& r = records[static_cast<std::size_t>(i)];
        r.list_index = static_cast<std::int32_t>(i);
        r.cx = cx.data()[i];
        r.cy = cy.data()[i];
        r.dx = dx.data()[i];
        r.dy = dy.data()[i];
        r.length = length.data()[i];
        r.height = height.data()[i];
        r.weight = weight.data()[i];
        r.text_len = text_len.data()[i];
    }
    solver::final_overlap_pass(records, check_host_signals);
    py::array_t<bool> hidden(n);
    for (py::ssize_t i = 0; i < n; ++i) hidden.mutable_data()[i] = records[static_cast<std::size_t>(i)].hidden != 0;
    return hidden;
}

}  // namespace

void register_solver_bindings(py::module_& m) {
    m.def("_fast_resolve_collisions", &fast_resolve_collisions, py::arg("labels"),
          py::arg("char_width_est"), py::arg("font_size"), py::arg("letter_spacing"), py::pos_only(),
          "_fast_resolve_collisions(labels, char_width_est, font_size, letter_spacing, /)\n\n"
          "Removes overlaps between the visible labels, in place. Each label is an\n"
          "oriented rectangle (centre and direction from its matrix, length from its\n"
          "text and sizes, height its font size); an overlapping label slides forward\n"
          "along its road together with the labels of its road piece behind it, a label\n"
          "pushed past its road's end is hidden, and a final pass hides one label of\n"
          "every pair still overlapping. Writes `matrix_dirty` (only where the distance\n"
          "changed), `distance` and `hidden` of every label visible on entry. The three\n"
          "sizes are taken in single precision. `labels` is a list of record dicts or a\n"
          "`_LabelRecords`.");
    m.def("_solver_final_pass", &solver_final_pass, py::arg("cx"), py::arg("cy"), py::arg("dx"),
          py::arg("dy"), py::arg("length"), py::arg("height"), py::arg("weight"),
          py::arg("text_len"),
          "Test aid: the solver's final pass alone on records given as columns\n"
          "(float32, text_len int32); returns which records it hides.");
}

}  // namespace glyphway::module
