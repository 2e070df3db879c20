#include "solver/label_solver_adaptor.hpp"

#include <cstdint>
#include <limits>
#include <string>

namespace glyphway::solver {

namespace {

using engine::Field;

std::string key_text(Field f) { return std::string(engine::field_key(f)); }

std::int32_t to_int32(std::int64_t v, Field f) {
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max()) {
        throw LabelFieldOverflow(f);
    }
    return static_cast<std::int32_t>(v);
}

// max(a, b) the way the host evaluates it: the first argument unless the
// second is greater (so a NaN first argument survives).
double host_max(double a, double b) { return b > a ? b : a; }

}  // namespace

MissingLabelField::MissingLabelField(Field f)
    : std::runtime_error("label lacks the key '" + key_text(f) + "'"), field(f) {}

LabelFieldOverflow::LabelFieldOverflow(Field f)
    : std::overflow_error("label key '" + key_text(f) + "': value too large to convert to int"),
      field(f) {}

LabelFieldType::LabelFieldType(Field f)
    : std::invalid_argument("label key '" + key_text(f) + "' must be an integer"), field(f) {}

double solver_label_length(double text_len, double char_width, double letter_spacing) {
    return text_len * char_width + host_max(text_len - 1.0, 0.0) * letter_spacing;
}

void set_solver_geometry(SolverRecord& r, const SolverLabelValues& v) {
    r.distance = narrow_to_float(v.distance);
    r.line_len = narrow_to_float(v.line_len);
    r.weight = narrow_to_float(v.weight);
    r.cx = narrow_to_float(v.cx);
    r.cy = narrow_to_float(v.cy);
    r.dx = narrow_to_float(v.dx);
    r.dy = narrow_to_float(v.dy);
    r.length = narrow_to_float(solver_label_length(v.text_len, v.char_width, v.letter_spacing));
    r.height = narrow_to_float(v.font_size);
}

void gather_solver_input(const std::vector<engine::LabelRecord>& labels,
                         const std::vector<std::size_t>& indices, const SolverSizes& sizes,
                         SolverInput& input, std::vector<std::size_t>& owners) {
    input.records.clear();
    input.links.clear();
    owners.clear();
    input.records.reserve(indices.size());
    input.links.reserve(indices.size());
    owners.reserve(indices.size());
    const engine::EngineSizes fallback{sizes.font_size, sizes.letter_spacing, sizes.char_width_est};
    constexpr Field kRequired[] = {Field::text_len, Field::id, Field::distance,
                                   Field::line_len, Field::weight, Field::matrix};

    for (std::size_t index : indices) {
        const engine::LabelRecord& label = labels[index];
        if (engine::record_hidden(label)) continue;
        for (Field f : kRequired) {
            if (!label.present.has(f)) throw MissingLabelField(f);
        }
        if (!label.id.is_integer) throw LabelFieldType(Field::id);

        SolverRecord r;
        r.list_index = static_cast<std::int32_t>(index);
        r.id = to_int32(label.id.value, Field::id);
        r.text_len = to_int32(label.text_len, Field::text_len);
        const engine::Mat4& m = label.matrix;
        SolverLabelValues values;
        values.distance = label.distance;
        values.line_len = label.line_len;
        values.weight = label.weight;
        values.cx = m[0 * 4 + 3];
        values.cy = m[1 * 4 + 3];
        values.dx = m[0 * 4 + 0];
        values.dy = m[1 * 4 + 0];
        values.text_len = static_cast<double>(engine::effective_text_len(label));
        values.char_width = engine::effective_char_width_est(label, fallback);
        values.letter_spacing = engine::effective_letter_spacing(label, fallback);
        values.font_size = engine::effective_font_size(label, fallback);
        set_solver_geometry(r, values);

        SolverRecordLink link;
        link.has_line_uid = label.present.has(Field::line_uid);
        link.line_uid = label.line_uid;
        if (label.present.has(Field::line)) link.line = label.line.get();

        input.records.push_back(r);
        input.links.push_back(link);
        owners.push_back(index);
    }
}

void write_solver_results(std::vector<engine::LabelRecord>& labels, const SolverInput& input,
                          const std::vector<std::size_t>& owners) {
    for (std::size_t i = 0; i < input.records.size(); ++i) {
        const SolverRecord& r = input.records[i];
        engine::LabelRecord& label = labels[owners[i]];
        if (solver_moved_label(label.distance, r)) {
            label.matrix_dirty = true;
            engine::mark_written(label, Field::matrix_dirty);
        }
        label.distance = solved_distance(r);
        engine::mark_written(label, Field::distance);
        label.hidden = r.hidden != 0;
        engine::mark_written(label, Field::hidden);
    }
}

void resolve_label_collisions(std::vector<engine::LabelRecord>& labels,
                              const std::vector<std::size_t>& indices, const SolverSizes& sizes,
                              const InterruptCheck& check_interrupt) {
    SolverInput input;
    std::vector<std::size_t> owners;  // label index of each record
    gather_solver_input(labels, indices, sizes, input, owners);
    if (input.records.empty()) return;
    resolve_collisions(input, sizes.char_width_est, check_interrupt);
    write_solver_results(labels, input, owners);
}

}  // namespace glyphway::solver
