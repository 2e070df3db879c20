#pragma once
// Label records held natively between stages: `_LabelRecords`.
//
// A list of record dicts is converted once (every key the native record
// knows); stages then run on the native records with no further
// conversion, and `to_dicts()` converts back once: each output dict is a
// shallow copy of its source, with the keys native stages wrote set in the
// order the stages first wrote them. Values the native side does not own
// (`line`, unknown keys) pass through in the copy untouched.
#include <pybind11/pybind11.h>

#include <vector>

#include "engine/label_record.hpp"

namespace glyphway::module {

namespace py = pybind11;

struct NativeLabels {
    std::vector<engine::LabelRecord> records;
    std::vector<py::object> sources;          // shallow copies of the source dicts
    std::vector<engine::Field> write_order;   // keys written so far, first write first

    // After a stage: remember the keys it writes, in its order.
    template <typename Fields>
    void note_stage(const Fields& fields) {
        for (engine::Field f : fields) {
            bool known = false;
            for (engine::Field g : write_order) known = known || g == f;
            if (!known) write_order.push_back(f);
        }
    }
};

NativeLabels read_native_labels(py::handle labels);
py::list native_labels_to_dicts(const NativeLabels& labels);

// The native list behind `labels`, or nothing when it is not a `_LabelRecords`.
NativeLabels* as_native_labels(py::handle labels);

void register_label_records(py::module_& m);

}  // namespace glyphway::module
