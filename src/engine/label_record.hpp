#pragma once
// The label record: one candidate road-name label, the only data that flows
// between the pipeline's stages.
//
// Every key a record may hold has a typed member here. A record carries only
// the keys some stage has set: `present` says which members hold a value,
// and readers use the fall-backs below for the others. `written` says which
// keys a native stage has set since the record was read from the host, so
// that exactly those (and nothing else) are written back.
#include <array>
#include <initializer_list>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/line_geometry.hpp"
#include "engine/orientation_frame.hpp"
#include "engine/vec3.hpp"

namespace glyphway::engine {

// The record's keys, in the order the pipeline first sets them (creation,
// auto-fit, grouping, placement); a record written out key by key in this
// order has the same key order as one the stages built up in place.
enum class Field : std::uint8_t {
    id,
    feature_id,
    line_uid,
    line_key,
    line_start,
    line_end,
    text,
    text_len,
    distance,
    line,
    line_len,
    weight,
    hidden,
    matrix_dirty,
    effective_text,
    effective_text_len,
    effective_font_size,
    effective_letter_spacing,
    effective_char_width_est,
    group_id,
    cand_idx,
    matrix,
    count_
};

inline constexpr std::size_t kFieldCount = static_cast<std::size_t>(Field::count_);

// Every field, in the order above.
std::array<Field, kFieldCount> all_fields();

// The dictionary key of a field ("_cand_idx" for cand_idx).
std::string_view field_key(Field field);

class FieldSet {
public:
    constexpr FieldSet() = default;
    constexpr FieldSet(std::initializer_list<Field> fields) {
        for (Field f : fields) add(f);
    }
    constexpr bool has(Field f) const { return (bits_ >> static_cast<unsigned>(f)) & 1u; }
    constexpr void add(Field f) { bits_ |= 1u << static_cast<unsigned>(f); }
    constexpr bool empty() const { return bits_ == 0; }
    constexpr FieldSet& operator|=(FieldSet other) {
        bits_ |= other.bits_;
        return *this;
    }
    friend constexpr bool operator==(FieldSet a, FieldSet b) { return a.bits_ == b.bits_; }

private:
    static_assert(kFieldCount <= 32, "FieldSet holds one bit per field");
    std::uint32_t bits_ = 0;
};

// A feature's index label. The pipeline numbers features with integers; a
// record built by hand may carry another value, which is kept by its text
// form (the only thing grouping needs of it).
struct IndexLabel {
    bool is_integer = true;
    std::int64_t value = 0;
    std::string text;  // the host's text form when !is_integer ("None", "a", ...)
};

std::string index_label_text(const IndexLabel& label);

// A line end point. Records the pipeline creates always carry three
// components; a hand-built record may carry two (its z counts as 0.0, but
// two points of different dimensions cannot be compared).
struct EndPoint {
    Vec3 point;
    int dims = 3;
};

struct LabelRecord {
    FieldSet present;
    FieldSet written;

    IndexLabel id;
    IndexLabel feature_id;
    std::int64_t line_uid = 0;
    std::optional<std::string> line_key;   // present but empty: the key holds none
    std::optional<EndPoint> line_start;    // present but empty: none (empty line)
    std::optional<EndPoint> line_end;
    std::string text;
    std::int64_t text_len = 0;
    double distance = 0.0;
    std::shared_ptr<const LineGeometry> line;
    double line_len = 0.0;
    double weight = 1.0;
    bool hidden = false;
    bool matrix_dirty = false;
    std::string effective_text;
    std::int64_t effective_text_len = 0;
    double effective_font_size = 0.0;
    double effective_letter_spacing = 0.0;
    double effective_char_width_est = 0.0;
    std::string group_id;
    std::int64_t cand_idx = 0;
    Mat4 matrix{};
};

// A stage that sets a key marks it both present and written.
inline void mark_written(LabelRecord& record, Field field) {
    record.present.add(field);
    record.written.add(field);
}

// The engine's unfitted sizes, the fall-backs of the effective_ keys.
struct EngineSizes {
    double font_size = 0.0;
    double letter_spacing = 0.0;
    double char_width_est = 0.0;
};

// Fall-backs for absent keys. Defined here: placement and the solver read
// them for every candidate in every pass, too often for a call each.
std::int64_t record_text_len(const LabelRecord& r);              // text_len -> len(text)

inline std::string_view record_text(const LabelRecord& r) {      // text -> ""
    return r.present.has(Field::text) ? std::string_view(r.text) : std::string_view();
}
inline double record_line_len(const LabelRecord& r) {            // line_len -> 0.0
    return r.present.has(Field::line_len) ? r.line_len : 0.0;
}
inline bool record_hidden(const LabelRecord& r) {                // hidden -> false
    return r.present.has(Field::hidden) && r.hidden;
}
inline bool record_matrix_dirty(const LabelRecord& r) {          // matrix_dirty -> false
    return r.present.has(Field::matrix_dirty) && r.matrix_dirty;
}
inline std::string_view effective_text(const LabelRecord& r) {   // -> text -> ""
    return r.present.has(Field::effective_text) ? std::string_view(r.effective_text)
                                                : record_text(r);
}
inline std::int64_t effective_text_len(const LabelRecord& r) {   // -> text_len -> 0
    if (r.present.has(Field::effective_text_len)) return r.effective_text_len;
    return r.present.has(Field::text_len) ? r.text_len : 0;
}
inline double effective_font_size(const LabelRecord& r, const EngineSizes& engine) {
    return r.present.has(Field::effective_font_size) ? r.effective_font_size : engine.font_size;
}
inline double effective_letter_spacing(const LabelRecord& r, const EngineSizes& engine) {
    return r.present.has(Field::effective_letter_spacing) ? r.effective_letter_spacing
                                                          : engine.letter_spacing;
}
inline double effective_char_width_est(const LabelRecord& r, const EngineSizes& engine) {
    return r.present.has(Field::effective_char_width_est) ? r.effective_char_width_est
                                                          : engine.char_width_est;
}

// The feature a record belongs to: feature_id, else id; the host's text for
// none when it has neither.
std::string feature_key_text(const LabelRecord& r);

}  // namespace glyphway::engine
