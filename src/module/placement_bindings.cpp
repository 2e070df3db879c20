// `auto_place_labels`: candidate placement as an engine method.
//
// Record dicts are read once for the keys placement, grouping and the
// solver use, placement runs natively, and the keys it wrote go back into
// the same dicts; the result is a new list of the kept dicts (the same
// objects), in input order. A `_LabelRecords` runs natively with no
// conversion: its records are updated (every record gains group_id,
// _cand_idx and hidden) and the result is a new `_LabelRecords` holding
// copies of the kept records.
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "placement/candidate_placement.hpp"
#include "module/engine_convert.hpp"
#include "module/engine_label_records.hpp"
#include "module/engine_stages.hpp"
#include "module/error_translation.hpp"
#include "module/interrupts.hpp"
#include "module/options_reader.hpp"

namespace glyphway::module {

namespace {

using engine::Field;

// Placement on native records, its failures (a missing key, a line with
// no point, a key the solver cannot read) as host errors.
std::vector<std::size_t> place(std::vector<engine::LabelRecord>& records,
                               const placement::PlacementSettings& settings) {
    return with_host_errors(
        [&] { return placement::auto_place_labels(records, settings, &check_host_signals); });
}

// The keys of one record dict that placement, grouping (in `mode`) and the
// solver read; what only the solver reads is skipped on hidden records,
// which it never looks at.
struct DictReader {
    engine::RepeatMode mode;
    LineCache lines;
    std::unordered_set<std::string> seen_keys;

    void read(engine::LabelRecord& r, py::handle d) {
        read_field(r, Field::hidden, d);
        read_field(r, Field::id, d);
        read_field(r, Field::feature_id, d);
        read_field(r, Field::text, d);
        read_field(r, Field::text_len, d);
        read_field(r, Field::line_key, d);
        if (mode == engine::RepeatMode::name_connected) read_piece_ends(r, d, seen_keys);
        read_field(r, Field::distance, d);
        read_field(r, Field::line, d, &lines);
        read_field(r, Field::line_len, d);
        read_field(r, Field::effective_text_len, d);
        read_field(r, Field::effective_letter_spacing, d);
        read_field(r, Field::effective_char_width_est, d);
        if (engine::record_hidden(r)) return;
        read_field(r, Field::effective_font_size, d);
        read_field(r, Field::line_uid, d);
        read_field(r, Field::weight, d);
    }
};

}  // namespace

std::vector<std::size_t> place_native_records(py::handle self,
                                              std::vector<engine::LabelRecord>& records) {
    const placement::PlacementSettings settings = read_placement_settings(self, records);
    return place(records, settings);
}

py::object auto_place_labels_method(py::object self, py::object labels) {
    if (!host_truth(self.attr("curved_text"))) return labels;

    if (NativeLabels* native = as_native_labels(labels)) {
        // Run on a copy, so a failure leaves the records as they were.
        std::vector<engine::LabelRecord> records = native->records;
        const placement::PlacementSettings settings = read_placement_settings(self, records);
        const std::vector<std::size_t> kept = place(records, settings);
        native->records.swap(records);
        native->note_stage(placement::kPlacementOrder);
        NativeLabels out;
        out.write_order = native->write_order;
        out.records.reserve(kept.size());
        out.sources.reserve(kept.size());
        for (std::size_t i : kept) {
            out.records.push_back(native->records[i]);
            out.sources.push_back(native->sources[i]);
        }
        return py::cast(std::move(out));
    }

    std::vector<py::object> dicts = record_dicts(labels);
    std::vector<engine::LabelRecord> records(dicts.size());
    DictReader reader{read_repeat_mode(self), {}, {}};
    for (std::size_t i = 0; i < dicts.size(); ++i) reader.read(records[i], dicts[i]);
    const placement::PlacementSettings settings = read_placement_settings(self, records);
    const std::vector<std::size_t> kept = place(records, settings);
    for (std::size_t i = 0; i < dicts.size(); ++i) {
        write_back(dicts[i], records[i], placement::kPlacementOrder);
    }
    py::list out(kept.size());
    for (std::size_t k = 0; k < kept.size(); ++k) {
        out[k] = dicts[kept[k]];
    }
    return std::move(out);
}

}  // namespace glyphway::module
