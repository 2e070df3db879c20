#include "engine/label_record.hpp"

#include "engine/utf8_text.hpp"

namespace glyphway::engine {

std::array<Field, kFieldCount> all_fields() {
    std::array<Field, kFieldCount> fields{};
    for (std::size_t i = 0; i < kFieldCount; ++i) fields[i] = static_cast<Field>(i);
    return fields;
}

std::string_view field_key(Field field) {
    switch (field) {
        case Field::id: return "id";
        case Field::feature_id: return "feature_id";
        case Field::line_uid: return "line_uid";
        case Field::line_key: return "line_key";
        case Field::line_start: return "line_start";
        case Field::line_end: return "line_end";
        case Field::text: return "text";
        case Field::text_len: return "text_len";
        case Field::distance: return "distance";
        case Field::line: return "line";
        case Field::line_len: return "line_len";
        case Field::weight: return "weight";
        case Field::hidden: return "hidden";
        case Field::matrix_dirty: return "matrix_dirty";
        case Field::effective_text: return "effective_text";
        case Field::effective_text_len: return "effective_text_len";
        case Field::effective_font_size: return "effective_font_size";
        case Field::effective_letter_spacing: return "effective_letter_spacing";
        case Field::effective_char_width_est: return "effective_char_width_est";
        case Field::group_id: return "group_id";
        case Field::cand_idx: return "_cand_idx";
        case Field::matrix: return "matrix";
        case Field::count_: break;
    }
    return {};
}

std::string index_label_text(const IndexLabel& label) {
    return label.is_integer ? std::to_string(label.value) : label.text;
}

std::int64_t record_text_len(const LabelRecord& r) {
    return r.present.has(Field::text_len) ? r.text_len : code_point_count(record_text(r));
}

std::string feature_key_text(const LabelRecord& r) {
    if (r.present.has(Field::feature_id)) return index_label_text(r.feature_id);
    if (r.present.has(Field::id)) return index_label_text(r.id);
    return "None";
}

}  // namespace glyphway::engine
