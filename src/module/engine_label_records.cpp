#include "module/engine_label_records.hpp"

#include "module/engine_convert.hpp"
#include "module/host_calls.hpp"

namespace glyphway::module {

NativeLabels read_native_labels(py::handle labels) {
    NativeLabels native;
    LineCache lines;
    for (py::object& dict : record_dicts(labels)) {
        engine::LabelRecord record;
        for (engine::Field f : engine::all_fields()) read_field(record, f, dict, &lines);
        native.sources.push_back(steal_or_throw(PyDict_Copy(dict.ptr())));
        native.records.push_back(std::move(record));
    }
    return native;
}

py::list native_labels_to_dicts(const NativeLabels& labels) {
    py::list out;
    for (std::size_t i = 0; i < labels.records.size(); ++i) {
        py::object dict = steal_or_throw(PyDict_Copy(labels.sources[i].ptr()));
        write_back(dict, labels.records[i], labels.write_order);
        out.append(dict);
    }
    return out;
}

NativeLabels* as_native_labels(py::handle labels) {
    if (!py::isinstance<NativeLabels>(labels)) return nullptr;
    return &labels.cast<NativeLabels&>();
}

void register_label_records(py::module_& m) {
    py::class_<NativeLabels>(m, "_LabelRecords",
                             "Label records held natively between stages of the engine.")
        .def(py::init(&read_native_labels), py::arg("labels"),
             "Reads every known key of each record dict once.")
        .def("__len__", [](const NativeLabels& labels) { return labels.records.size(); })
        .def("to_dicts", &native_labels_to_dicts,
             "New record dicts: copies of the sources with the keys native stages wrote.");
}

}  // namespace glyphway::module
