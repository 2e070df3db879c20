#include "module/label_frame_refresh.hpp"

namespace glyphway::module {

using engine::Field;

void read_required(engine::LabelRecord& r, Field field, py::handle dict, LineCache& lines) {
    required_item(dict, field);
    read_field(r, field, dict, &lines);
}

void read_curved_road(engine::LabelRecord& r, py::handle dict, LineCache& lines,
                      export_::DrawnLabel& label) {
    read_required(r, Field::line, dict, lines);
    read_required(r, Field::distance, dict, lines);
    read_required(r, Field::line_len, dict, lines);
    label.line = r.line;
    label.distance = r.distance;
    label.line_len = r.line_len;
}

engine::Mat4 label_frame(engine::LabelRecord& r, py::handle dict, engine::Posture posture,
                         LineCache& lines, bool need_stored) {
    read_field(r, Field::matrix_dirty, dict);
    if (engine::record_matrix_dirty(r)) {
        read_required(r, Field::line, dict, lines);
        read_required(r, Field::distance, dict, lines);
        const auto frame = engine::build_tbn_matrix(*r.line, r.distance, true, posture);
        if (!frame) raise_no_point(r.line->points.empty());
        py::object stored = matrix_array(*frame);
        if (PyDict_SetItem(dict.ptr(), field_key_object(Field::matrix).ptr(), stored.ptr()) != 0) {
            throw py::error_already_set();
        }
        return *frame;
    }
    if (!need_stored) return {};
    read_required(r, Field::matrix, dict, lines);
    return r.matrix;
}

bool is_hidden(engine::LabelRecord& r, py::handle dict) {
    read_field(r, Field::hidden, dict);
    return engine::record_hidden(r);
}

}  // namespace glyphway::module
