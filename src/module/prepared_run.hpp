#pragma once
// The engine's data preparation held natively: the feature table it read,
// the kept label records and the working system. `_prepare_data` turns this
// into record dicts; the exports read the records as they are.
#include <pybind11/pybind11.h>

#include <vector>

#include "engine/label_record.hpp"
#include "module/feature_table.hpp"
#include "pipeline/options.hpp"

namespace glyphway::module {

namespace py = pybind11;

struct PreparedRun {
    FeatureTable table;
    std::vector<engine::LabelRecord> labels;
    // The working system; None when the table has no name column.
    py::object working_crs = py::none();
};

// What `_prepare_data` computes, before any record becomes a dict.
PreparedRun prepare_native(py::object self);

// Its first half: the table read and the run's settings taken from the
// engine, no stage run yet (`labels` stays empty; `working_crs` is None
// when the table has no name column).
PreparedRun read_native_table(py::object self, pipeline::Options& settings);

// Whether `self._prepare_data` is the engine's own method. A subclass or an
// instance attribute that replaces it must be called, and its dicts read.
bool uses_own_prepare_data(py::handle self);

// Notes the class's `_prepare_data` as the engine's own; called once, when
// the class is built.
void remember_own_prepare_data(py::handle cls);

}  // namespace glyphway::module
