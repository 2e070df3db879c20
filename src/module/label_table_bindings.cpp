// `_label_table(engine, labels)`: the prepared labels as columns, for
// callers that want the placement itself rather than an export file (a
// table of labels, a preview picture). The labels are drawn as the exports
// draw them (module/drawn_label_sources.hpp), stale frames refreshed the
// same way, and the columns computed from that view
// (export/drawn_label_columns.hpp), so the binding only wraps arrays and
// lists in record order.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/label_footprint.hpp"
#include "export/drawn_label.hpp"
#include "export/drawn_label_columns.hpp"
#include "module/bindings.hpp"
#include "module/cartographic_run.hpp"
#include "module/drawn_label_sources.hpp"
#include "module/engine_convert.hpp"
#include "module/options_reader.hpp"
#include "module/prepared_run.hpp"
#include "module/host_calls.hpp"
#include "pipeline/cartographic_labels.hpp"

namespace glyphway::module {

namespace {

// x, y, rotation_deg, length, height and corners (n x 4 x 2) of footprints,
// each column under its name with `prefix`.
void add_footprints(py::dict& out, const std::vector<engine::LabelFootprint>& footprints,
                    const std::string& prefix) {
    const std::size_t m = footprints.size();
    std::vector<double> x(m), y(m), rotation(m), length(m), height(m);
    py::array_t<double> corners({static_cast<py::ssize_t>(m), py::ssize_t{4}, py::ssize_t{2}});
    double* c = corners.mutable_data();
    for (std::size_t k = 0; k < m; ++k) {
        const engine::LabelFootprint& f = footprints[k];
        x[k] = f.x;
        y[k] = f.y;
        rotation[k] = f.rotation_deg;
        length[k] = f.length;
        height[k] = f.height;
        for (int corner = 0; corner < 4; ++corner) {
            *c++ = f.corners[corner][0];
            *c++ = f.corners[corner][1];
        }
    }
    out[py::str(prefix + "x")] = to_array(x);
    out[py::str(prefix + "y")] = to_array(y);
    out[py::str(prefix + "rotation_deg")] = to_array(rotation);
    if (prefix.empty()) {
        out["length"] = to_array(length);
        out["height"] = to_array(height);
    }
    out[py::str(prefix + "corners")] = corners;
}

// The table's text columns from the drawn labels' own texts.
HostTextColumns text_columns(const std::vector<export_::DrawnLabel>& labels) {
    HostTextColumns out;
    for (const export_::DrawnLabel& label : labels) {
        out.text.append(py::str(label.text));
        out.effective_text.append(py::str(label.effective_text));
        out.group_id.append(label.group_id ? py::object(py::str(*label.group_id)) : py::none());
        out.line_key.append(label.line_key ? py::object(py::str(*label.line_key)) : py::none());
    }
    return out;
}

py::dict table_of(const std::vector<export_::DrawnLabel>& labels, std::size_t record_count,
                  const HostTextColumns& texts) {
    const export_::LabelTableColumns columns = export_::label_table_columns(labels, record_count);
    py::dict out;
    out["visible"] = to_mask(columns.visible);
    out["index"] = to_array(columns.index);
    add_footprints(out, columns.footprints, "");
    out["text"] = texts.text;
    out["effective_text"] = texts.effective_text;
    out["effective_font_size"] = to_array(columns.effective_font_size);
    out["group_id"] = texts.group_id;
    out["weight"] = to_array(columns.weight);
    out["line_key"] = texts.line_key;
    return out;
}

py::dict label_table(py::object engine_object, py::object labels) {
    DictReading reading;
    reading.output = DictOutput::label_table;
    reading.sizes = engine_sizes(engine_object);
    reading.posture = read_posture(engine_object);
    HostTextColumns texts;
    const DrawnDicts drawn = drawn_dicts(labels, reading, &texts);
    return table_of(drawn.labels, drawn.record_count, texts);
}

// The table of the engine's own preparation, read from its native records;
// a replaced `_prepare_data` is called and its dicts read. With the working
// system, as `_prepare_data` answers it.
py::tuple prepared_label_table(py::object engine_object) {
    PreparedLabels prepared = prepare_labels(engine_object);
    if (!prepared.native) {
        return py::make_tuple(label_table(engine_object, prepared.dicts), prepared.working_crs);
    }
    PreparedRun& run = *prepared.native;
    std::vector<export_::DrawnLabel> drawn;
    if (!run.labels.empty()) {
        drawn = drawn_native_points(engine_object, run, read_posture(engine_object));
    }
    return py::make_tuple(table_of(drawn, run.labels.size(), text_columns(drawn)),
                          prepared.working_crs);
}

// The cartographic style's labels as the same columns, each at its middle
// glyph with the span of its run as its length, plus one row per drawn
// glyph (glyph_label: the label's row; glyph_char, glyph_x, glyph_y,
// glyph_rotation_deg and glyph_corners, n x 4 x 2, the glyph's box), since
// a run that follows a bend is not one rectangle.
py::tuple cartographic_label_table(py::object engine_object, py::object max_char_angle,
                                   py::object cjk_orientation) {
    pipeline::Options options;
    options.max_char_angle = checked_max_char_angle(max_char_angle);
    options.cjk_orientation = checked_cjk_orientation(cjk_orientation);
    const CartographicRun run = run_cartographic_style(engine_object, options);
    const std::vector<export_::DrawnLabel> drawn = pipeline::drawn_cartographic_points(
        run.placed, pipeline::measured_posture(run.placed, options));
    py::dict out = table_of(drawn, drawn.size(), text_columns(drawn));
    const export_::GlyphBoxColumns glyphs = export_::placed_glyph_boxes(drawn);
    out["glyph_label"] = to_array(glyphs.label);
    out["glyph_char"] = to_array(glyphs.character);
    add_footprints(out, glyphs.boxes, "glyph_");
    return py::make_tuple(out, run.working_crs);
}

}  // namespace

void register_label_table_bindings(py::module_& m) {
    m.def("_label_table", &label_table, py::arg("engine"), py::arg("labels"),
          "The visible labels of `labels` (as returned by engine._prepare_data()) as columns: "
          "visible (bool mask over all records), index, x, y, rotation_deg, length, height, "
          "corners (n x 4 x 2), effective_font_size and weight as arrays; text, "
          "effective_text, group_id and line_key as lists. Stale frames are rebuilt and stored "
          "back into the records, as the exports do.");
    m.def("_prepared_label_table", &prepared_label_table, py::arg("engine"),
          "(table, working_crs): _label_table of the engine's prepared labels, read from its "
          "native records when its _prepare_data is its own (no record dicts are built); a "
          "replaced _prepare_data is called and its dicts are read.");
    m.def(
        "_check_style",
        [](py::object style, py::object max_char_angle, py::object cjk_orientation) {
            const bool cartographic = is_cartographic_style(style);
            const double degrees = checked_max_char_angle(max_char_angle);
            checked_cjk_orientation(cjk_orientation);
            return py::make_tuple(cartographic, degrees);
        },
        py::arg("style"), py::arg("max_char_angle"),
        py::arg("cjk_orientation") = kDefaultCjkOrientation,
        "(cartographic, max_char_angle as a float) for a placement style, its largest "
        "turn between glyphs and its character orientation; the errors generate() raises "
        "for them.");
    m.def("_cartographic_label_table", &cartographic_label_table, py::arg("engine"),
          py::arg("max_char_angle") = kDefaultMaxCharAngle,
          py::arg("cjk_orientation") = kDefaultCjkOrientation,
          "(table, working_crs) of the cartographic placement of the engine's table (max_char_angle "
          "and cjk_orientation as in generate()): the "
          "columns of _prepared_label_table, each label at its middle glyph (line_key None, "
          "group_id the merged road), and per drawn glyph glyph_label, glyph_char, glyph_x, "
          "glyph_y, glyph_rotation_deg and glyph_corners (n x 4 x 2).");
}

}  // namespace glyphway::module
