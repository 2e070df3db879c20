// `_label_table(engine, labels)`: the prepared labels as columns, for
// callers that want the placement itself rather than an export file (a
// table of labels, a preview picture). It reads each visible record once,
// refreshes the frames the collision solver made stale exactly as the
// exports do, and returns NumPy arrays and lists in record order, so the
// host only assembles them.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/label_footprint.hpp"
#include "engine/label_record.hpp"
#include "engine/utf8_text.hpp"
#include "text/text_mesh_engine.hpp"
#include "module/bindings.hpp"
#include "module/cartographic_run.hpp"
#include "module/engine_convert.hpp"
#include "module/options_reader.hpp"
#include "module/label_frame_refresh.hpp"
#include "module/prepared_run.hpp"

namespace glyphway::module {

namespace {

using engine::Field;

// A key's host object, or `fallback` when the record lacks it.
py::object item_or(py::handle dict, Field field, py::handle fallback) {
    PyObject* v = PyDict_GetItemWithError(dict.ptr(), field_key_object(field).ptr());
    if (!v && PyErr_Occurred()) throw py::error_already_set();
    return py::reinterpret_borrow<py::object>(v ? py::handle(v) : fallback);
}

template <typename T>
py::array_t<T> to_array(const std::vector<T>& values) {
    py::array_t<T> out(static_cast<py::ssize_t>(values.size()));
    T* data = out.mutable_data();
    for (std::size_t i = 0; i < values.size(); ++i) data[i] = values[i];
    return out;
}

// The columns of the visible labels, filled one label at a time.
struct Columns {
    std::vector<bool> visible;
    std::vector<std::int64_t> index;
    std::vector<engine::LabelFootprint> footprints;
    std::vector<double> font_sizes, weights;
    py::list texts, fitted_texts, group_ids, line_keys;

    // A visible record, its size fields and frame read.
    void add(std::size_t i, const engine::LabelRecord& r, const engine::Mat4& frame,
             const engine::EngineSizes& sizes) {
        const double font_size = engine::effective_font_size(r, sizes);
        footprints.push_back(
            engine::label_footprint(frame, engine::label_text_length(r, sizes), font_size));
        visible[i] = true;
        index.push_back(static_cast<std::int64_t>(i));
        font_sizes.push_back(font_size);
        weights.push_back(r.weight);
    }

    py::dict finish() const;
};

engine::EngineSizes engine_sizes(py::handle engine_object) {
    return {host_float(engine_object.attr("font_size")),
            host_float(engine_object.attr("letter_spacing")),
            host_float(engine_object.attr("char_width_est"))};
}

py::dict label_table(py::object engine_object, py::object labels) {
    const engine::EngineSizes sizes = engine_sizes(engine_object);
    const engine::Posture posture = read_posture(engine_object);

    std::vector<py::object> dicts = record_dicts(labels);
    Columns columns;
    columns.visible.assign(dicts.size(), false);
    LineCache lines;
    constexpr Field kSizeFields[] = {Field::text, Field::text_len, Field::effective_text_len,
                                     Field::effective_font_size, Field::effective_letter_spacing,
                                     Field::effective_char_width_est, Field::weight};
    for_each_visible(dicts, [&](std::size_t i, engine::LabelRecord& r, py::handle d) {
        const engine::Mat4 frame = label_frame(r, d, posture, lines, true);
        for (Field f : kSizeFields) read_field(r, f, d);
        py::handle text = required_item(d, Field::text);
        columns.add(i, r, frame, sizes);
        columns.texts.append(text);
        columns.fitted_texts.append(item_or(d, Field::effective_text, text));
        columns.group_ids.append(item_or(d, Field::group_id, py::none()));
        columns.line_keys.append(item_or(d, Field::line_key, py::none()));
    });
    return columns.finish();
}

// The table of the engine's own preparation, read from its native records;
// a replaced `_prepare_data` is called and its dicts read. With the working
// system, as `_prepare_data` answers it.
py::tuple prepared_label_table(py::object engine_object) {
    if (!uses_own_prepare_data(engine_object)) {
        py::object prepared = engine_object.attr("_prepare_data")();
        py::object labels = prepared[py::int_(0)];
        return py::make_tuple(label_table(engine_object, labels), prepared[py::int_(1)]);
    }
    PreparedRun run = prepare_native(engine_object);
    Columns columns;
    columns.visible.assign(run.labels.size(), false);
    if (!run.labels.empty()) {
        const engine::EngineSizes sizes = engine_sizes(engine_object);
        const engine::Posture posture = read_posture(engine_object);
        const auto value_or = [](const engine::LabelRecord& r, Field f, py::handle fallback) {
            return r.present.has(f) ? field_value(r, f)
                                    : py::reinterpret_borrow<py::object>(fallback);
        };
        for_each_visible_record(run.labels, [&](std::size_t i, engine::LabelRecord& r) {
            const engine::Mat4 frame = record_frame(r, posture, true);
            columns.add(i, r, frame, sizes);
            py::object text = field_value(r, Field::text);
            columns.texts.append(text);
            columns.fitted_texts.append(value_or(r, Field::effective_text, text));
            columns.group_ids.append(value_or(r, Field::group_id, py::none()));
            columns.line_keys.append(value_or(r, Field::line_key, py::none()));
        });
    }
    return py::make_tuple(columns.finish(), run.working_crs);
}

// The cartographic style's labels as the same columns, each at its middle
// glyph with the span of its run as its length, plus one row per drawn
// glyph (glyph_label: the label's row; glyph_char, glyph_x, glyph_y,
// glyph_rotation_deg and glyph_corners, n x 4 x 2, the glyph's box), since
// a run that follows a bend is not one rectangle.
py::tuple cartographic_label_table(py::object engine_object, py::object max_char_angle) {
    const CartographicRun run =
        run_cartographic_style(engine_object, checked_max_char_angle(max_char_angle));
    Columns columns;
    columns.visible.assign(run.labels.size(), true);
    std::vector<engine::LabelFootprint> glyph_boxes;
    std::vector<std::int64_t> glyph_label;
    std::vector<std::uint32_t> glyph_char;
    const engine::Posture posture =
        run.labels.empty() ? engine::Posture::flat : read_posture(engine_object);
    for (std::size_t i = 0; i < run.labels.size(); ++i) {
        const placement::CartographicLabel& label = run.labels[i];
        const engine::Mat4 frame = cartographic_glyph_frame(anchor_glyph(label), posture);
        columns.footprints.push_back(
            engine::label_footprint(frame, label.run.length, label.font_size));
        columns.index.push_back(static_cast<std::int64_t>(i));
        columns.font_sizes.push_back(label.font_size);
        columns.weights.push_back(run.weights[i]);
        py::str text(label.text);
        columns.texts.append(text);
        columns.fitted_texts.append(text);
        columns.group_ids.append(py::str(cartographic_group_id(label)));
        columns.line_keys.append(py::none());
        const std::u32string characters = engine::code_points(label.text);
        for (std::size_t k = 0; k < label.run.glyphs.size() && k < characters.size(); ++k) {
            const placement::PlacedGlyph& g = label.run.glyphs[k];
            if (text::is_whitespace(characters[k]) || !(g.advance > 0.0)) continue;
            glyph_boxes.push_back(engine::label_footprint(cartographic_glyph_frame(g, posture),
                                                          g.advance, label.font_size));
            glyph_label.push_back(static_cast<std::int64_t>(i));
            glyph_char.push_back(static_cast<std::uint32_t>(characters[k]));
        }
    }
    py::dict out = columns.finish();
    Columns glyphs;
    glyphs.footprints = std::move(glyph_boxes);
    py::dict glyph_columns = glyphs.finish();
    out["glyph_label"] = to_array(glyph_label);
    out["glyph_char"] = to_array(glyph_char);
    out["glyph_x"] = glyph_columns["x"];
    out["glyph_y"] = glyph_columns["y"];
    out["glyph_rotation_deg"] = glyph_columns["rotation_deg"];
    out["glyph_corners"] = glyph_columns["corners"];
    return py::make_tuple(out, run.working_crs);
}

py::dict Columns::finish() const {
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
    py::array_t<bool> visible_mask(static_cast<py::ssize_t>(visible.size()));
    for (std::size_t i = 0; i < visible.size(); ++i) visible_mask.mutable_data()[i] = visible[i];

    py::dict out;
    out["visible"] = visible_mask;
    out["index"] = to_array(index);
    out["x"] = to_array(x);
    out["y"] = to_array(y);
    out["rotation_deg"] = to_array(rotation);
    out["length"] = to_array(length);
    out["height"] = to_array(height);
    out["corners"] = corners;
    out["text"] = texts;
    out["effective_text"] = fitted_texts;
    out["effective_font_size"] = to_array(font_sizes);
    out["group_id"] = group_ids;
    out["weight"] = to_array(weights);
    out["line_key"] = line_keys;
    return out;
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
        [](py::object style, py::object max_char_angle) {
            const bool cartographic = is_cartographic_style(style);
            return py::make_tuple(cartographic, checked_max_char_angle(max_char_angle));
        },
        py::arg("style"), py::arg("max_char_angle"),
        "(cartographic, max_char_angle as a float) for a placement style and its largest "
        "turn between glyphs; the errors generate() raises for them.");
    m.def("_cartographic_label_table", &cartographic_label_table, py::arg("engine"),
          py::arg("max_char_angle") = kDefaultMaxCharAngle,
          "(table, working_crs) of the cartographic placement of the engine's table: the "
          "columns of _prepared_label_table, each label at its middle glyph (line_key None, "
          "group_id the merged road), and per drawn glyph glyph_label, glyph_char, glyph_x, "
          "glyph_y, glyph_rotation_deg and glyph_corners (n x 4 x 2).");
}

}  // namespace glyphway::module
