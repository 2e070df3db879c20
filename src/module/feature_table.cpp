#include "module/feature_table.hpp"

#include <pybind11/numpy.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "module/engine_convert.hpp"
#include "module/host_calls.hpp"
#include "module/interrupts.hpp"

namespace glyphway::module {

namespace {

// The object at position i of a 1-D object array.
py::handle object_at(const py::array& array, std::size_t i) {
    const char* base = static_cast<const char*>(array.data());
    PyObject* item = *reinterpret_cast<PyObject* const*>(
        base + static_cast<py::ssize_t>(i) * array.strides(0));
    return item ? item : Py_None;
}

[[noreturn]] void lengths_differ() {
    throw py::value_error("the shapefile's table and geometries differ in length");
}

// One column's values as the table's rows hold them: the objects of an
// object array, else the NumPy scalars a typed row would give.
class ColumnValues {
public:
    explicit ColumnValues(py::handle values) : values_(py::array::ensure(values)) {
        if (!values_) throw py::error_already_set();
        if (values_.ndim() != 1) throw py::value_error("a road column must be one-dimensional");
        objects_ = values_.dtype().kind() == 'O';
    }

    std::size_t size() const { return static_cast<std::size_t>(values_.size()); }

    py::object at(std::size_t i) const {
        if (objects_) return py::reinterpret_borrow<py::object>(object_at(values_, i));
        return steal_or_throw(PySequence_GetItem(values_.ptr(), static_cast<Py_ssize_t>(i)));
    }

private:
    py::array values_;
    bool objects_ = true;
};

// A _road_input.RoadColumns for `rows` rows.
struct RowColumns {
    RowColumns(py::handle columns, std::size_t rows) : names(columns.attr("names")) {
        py::object weight_values = columns.attr("weights");
        if (!weight_values.is_none()) weights.emplace(weight_values);
        py::object label_values = columns.attr("labels");
        if (!label_values.is_none()) labels = py::list(label_values);
        if (names.size() != rows || (weights && weights->size() != rows) ||
            (labels && static_cast<std::size_t>(labels->size()) != rows)) {
            lengths_differ();
        }
    }

    // Row i's index label: the table's own, or its position.
    py::object label(std::size_t i) const {
        if (!labels) return py::int_(i);
        return py::reinterpret_borrow<py::object>(
            PyList_GET_ITEM(labels->ptr(), static_cast<Py_ssize_t>(i)));
    }

    ColumnValues names;
    std::optional<ColumnValues> weights;  // none: the table has no weight column
    std::optional<py::list> labels;
};

// Reads row i's name and weight into `feature`; false when the row carries
// no usable name: its value is None, or its text is cleaned away
// (pipeline::cleaned_road_name). The weight is `w if w > 1 else 1` (1
// without a weight column), compared by the host, so that a text weight
// raises its TypeError.
bool read_row_values(const RowColumns& columns, std::size_t i, engine::SampledFeature& feature,
                     py::object& weight_object) {
    const py::object raw = columns.names.at(i);
    if (raw.is_none()) return false;
    std::optional<std::string> text = pipeline::cleaned_road_name(host_text(raw));
    if (!text) return false;
    const py::int_ one(1);
    py::object w = columns.weights ? columns.weights->at(i) : py::object(one);
    const int heavier = PyObject_RichCompareBool(w.ptr(), one.ptr(), Py_GT);
    if (heavier < 0) throw py::error_already_set();
    feature.text = std::move(*text);
    feature.weight = heavier ? host_float(w) : 1.0;
    weight_object = heavier ? w : py::object(one);
    return true;
}

// Reads the rows in order: a row without geometry (`shape_of(i)` none) or
// without a usable name is skipped; for the rest `append_lines(i)` appends
// the row's lines to the table and answers how many, and the row becomes a
// road when it gave any (pipeline::add_road), with its host objects.
template <typename ShapeOf, typename AppendLines>
void read_rows(const RowColumns& columns, std::size_t rows, ShapeOf shape_of,
               AppendLines append_lines, FeatureTable& table) {
    for (std::size_t i = 0; i < rows; ++i) {
        // A few milliseconds of rows between looks at Ctrl-C.
        if (i % 16384 == 16383) check_host_signals();
        if (shape_of(i) == engine::RowShape::none) continue;
        engine::SampledFeature feature;
        py::object weight_object;
        if (!read_row_values(columns, i, feature, weight_object)) continue;
        const std::size_t line_count = append_lines(i);
        if (!pipeline::add_road(table, std::move(feature), line_count)) continue;
        py::object label = columns.label(i);
        table.features.back().index = index_label_value(label);
        table.index_objects.push_back(std::move(label));
        table.weight_objects.push_back(std::move(weight_object));
    }
}

using Offsets = py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>;

// A run of offsets into `total` items: `count` + 1 entries, none going back
// and the last one `total`.
Offsets offsets_of(py::handle value, std::size_t count, std::size_t total) {
    Offsets offsets = Offsets::ensure(value);
    if (!offsets) throw py::error_already_set();
    if (offsets.ndim() != 1 || static_cast<std::size_t>(offsets.size()) != count + 1) {
        lengths_differ();
    }
    const std::int64_t* o = offsets.data();
    for (std::size_t k = 0; k < count; ++k) {
        if (o[k] < 0 || o[k] > o[k + 1]) throw py::value_error("road line offsets go back");
    }
    if (static_cast<std::size_t>(o[count]) != total) lengths_differ();
    return offsets;
}

}  // namespace

FeatureTable read_decoded_feature_table(py::handle columns, const engine::WkbLines& decoded) {
    const std::size_t rows = decoded.shapes.size();
    const RowColumns values(columns, rows);
    FeatureTable table;
    const auto shape_of = [&](std::size_t i) { return decoded.shapes[i]; };
    const auto append_lines = [&](std::size_t i) -> std::size_t {
        if (decoded.shapes[i] == engine::RowShape::other) return 0;
        for (std::size_t p = decoded.first_part[i]; p < decoded.first_part[i + 1]; ++p) {
            const engine::DecodedPart& part = decoded.parts[p];
            table.lines.push_back(std::make_shared<const engine::LineGeometry>(
                engine::make_line_geometry(engine::part_points(decoded, part), part.has_z)));
        }
        return decoded.first_part[i + 1] - decoded.first_part[i];
    };
    read_rows(values, rows, shape_of, append_lines, table);
    return table;
}

FeatureTable read_frame_feature_table(py::handle frame_rows) {
    py::object lines = frame_rows.attr("lines");
    using Ints = py::array_t<std::int32_t, py::array::c_style | py::array::forcecast>;
    using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;
    using Flags = py::array_t<bool, py::array::c_style | py::array::forcecast>;
    const Ints type_ids = Ints::ensure(lines.attr("type_ids"));
    const py::array objects = py::array::ensure(lines.attr("lines"));
    const Doubles xyz = Doubles::ensure(lines.attr("xyz"));
    const Flags has_z = Flags::ensure(lines.attr("has_z"));
    if (!type_ids || !objects || !xyz || !has_z) throw py::error_already_set();
    if (objects.ndim() != 1 || objects.dtype().kind() != 'O' ||
        (xyz.size() > 0 && (xyz.ndim() != 2 || xyz.shape(1) != 3))) {
        throw py::type_error("expected the lines as Shapely objects and their coordinates as rows of x, y, z");
    }
    const auto rows = static_cast<std::size_t>(type_ids.size());
    const auto line_total = static_cast<std::size_t>(objects.size());
    const auto point_total = static_cast<std::size_t>(xyz.size() / 3);
    if (static_cast<std::size_t>(has_z.size()) != line_total) lengths_differ();
    const Offsets first_line = offsets_of(lines.attr("first_line"), rows, line_total);
    const Offsets first_point = offsets_of(lines.attr("first_point"), line_total, point_total);
    const RowColumns values(frame_rows.attr("columns"), rows);

    const std::int32_t* type_id = type_ids.data();
    const std::int64_t* row_first = first_line.data();
    const std::int64_t* line_first = first_point.data();
    const double* c = xyz.data();
    const bool* z = has_z.data();
    FeatureTable table;
    const auto shape_of = [&](std::size_t i) {
        return pipeline::row_shape_of_geometry_type(type_id[i]);
    };
    const auto append_lines = [&](std::size_t i) -> std::size_t {
        const auto begin = static_cast<std::size_t>(row_first[i]);
        const auto end = static_cast<std::size_t>(row_first[i + 1]);
        for (std::size_t k = begin; k < end; ++k) {
            std::vector<engine::Vec3> points;
            points.reserve(static_cast<std::size_t>(line_first[k + 1] - line_first[k]));
            for (auto p = static_cast<std::size_t>(line_first[k]);
                 p < static_cast<std::size_t>(line_first[k + 1]); ++p) {
                // Two-dimensional lines come with NaN for z; they lie at 0.0.
                points.push_back({c[3 * p], c[3 * p + 1], z[k] ? c[3 * p + 2] : 0.0});
            }
            table.lines.push_back(std::make_shared<const engine::LineGeometry>(
                engine::make_line_geometry(std::move(points), z[k])));
            table.line_objects.push_back(py::reinterpret_borrow<py::object>(object_at(objects, k)));
        }
        return end - begin;
    };
    read_rows(values, rows, shape_of, append_lines, table);
    return table;
}

std::vector<py::object> line_objects_for(const FeatureTable& table,
                                         const std::vector<bool>& wanted) {
    if (!table.line_objects.empty()) return table.line_objects;
    py::module_ shapely = py::module_::import("shapely");
    std::vector<py::object> out(table.lines.size());
    // Two calls, one per dimension, each over the lines of two or more
    // points; an empty line is the empty LineString of its dimension.
    for (const bool with_z : {false, true}) {
        std::vector<std::size_t> uids;
        std::size_t points = 0;
        for (std::size_t uid = 0; uid < table.lines.size(); ++uid) {
            const engine::LineGeometry& line = *table.lines[uid];
            if (!wanted[uid] || line.has_z != with_z) continue;
            if (line.points.empty()) {
                out[uid] = shapely.attr("from_wkt")(with_z ? "LINESTRING Z EMPTY" : "LINESTRING EMPTY");
                continue;
            }
            uids.push_back(uid);
            points += line.points.size();
        }
        if (uids.empty()) continue;
        const py::ssize_t width = with_z ? 3 : 2;
        py::array_t<double> coords({static_cast<py::ssize_t>(points), width});
        py::array_t<std::int64_t> owner(static_cast<py::ssize_t>(points));
        double* c = coords.mutable_data();
        std::int64_t* o = owner.mutable_data();
        for (std::size_t k = 0; k < uids.size(); ++k) {
            for (const engine::Vec3& p : table.lines[uids[k]]->points) {
                *c++ = p.x;
                *c++ = p.y;
                if (with_z) *c++ = p.z;
                *o++ = static_cast<std::int64_t>(k);
            }
        }
        py::array made = py::array::ensure(
            shapely.attr("linestrings")(coords, py::arg("indices") = owner));
        if (!made) throw py::error_already_set();
        for (std::size_t k = 0; k < uids.size(); ++k) {
            out[uids[k]] = py::reinterpret_borrow<py::object>(object_at(made, k));
        }
    }
    return out;
}

}  // namespace glyphway::module
