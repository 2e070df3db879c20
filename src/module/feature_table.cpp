#include "module/feature_table.hpp"

#include <pybind11/numpy.h>

#include <cstdint>
#include <optional>
#include <string>

#include "module/engine_convert.hpp"

namespace glyphway::module {

namespace {

py::object steal_or_throw(PyObject* result) {
    if (!result) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(result);
}

bool contains(py::handle sequence, py::handle value) {
    const int found = PySequence_Contains(sequence.ptr(), value.ptr());
    if (found < 0) throw py::error_already_set();
    return found == 1;
}

// Shapely's type id of a MultiLineString, for picking those rows out.
constexpr int kMultiLineString = 5;

// One column's values as the rows of `iterrows` hold them. Row iteration
// interleaves the whole table into one array of the columns' common dtype
// (for a table with a geometry column that is always object, which keeps
// every value as its column holds it: a Python int stays an int) and each
// row is a slice of it; the common dtype does not depend on the rows, so
// the table's first zero rows tell it without interleaving anything.
class ColumnValues {
public:
    ColumnValues(py::handle frame, py::handle column)
        : ColumnValues(frame, column,
                       frame.attr("iloc")[py::slice(0, 0, 1)].attr("values").attr("dtype")) {}

    // With the common dtype given: a table read without its geometry column
    // still hands out the values the full table's rows would.
    ColumnValues(py::handle frame, py::handle column, py::handle common) {
        py::object converted = frame[column].attr("to_numpy")(py::arg("dtype") = common);
        values_ = py::array::ensure(converted);
        if (!values_) throw py::error_already_set();
        if (values_.ndim() != 1) {
            throw py::value_error("the column " + host_text(py::repr(column)) +
                                  " is not unique in the shapefile");
        }
        objects_ = values_.dtype().kind() == 'O';
    }

    // The value of row i: the object itself, or the NumPy scalar a typed
    // row would give.
    py::object at(std::size_t i) const {
        if (objects_) {
            const char* base = static_cast<const char*>(values_.data());
            PyObject* item = *reinterpret_cast<PyObject* const*>(
                base + static_cast<py::ssize_t>(i) * values_.strides(0));
            return py::reinterpret_borrow<py::object>(item ? item : Py_None);
        }
        return steal_or_throw(PySequence_GetItem(values_.ptr(), static_cast<Py_ssize_t>(i)));
    }

private:
    py::array values_;
    bool objects_ = true;
};

// The object at position i of a 1-D object array.
py::handle object_at(const py::array& array, std::size_t i) {
    const char* base = static_cast<const char*>(array.data());
    PyObject* item = *reinterpret_cast<PyObject* const*>(
        base + static_cast<py::ssize_t>(i) * array.strides(0));
    return item ? item : Py_None;
}

py::array object_array(py::handle value) {
    py::array array = py::array::ensure(value);
    if (!array || array.ndim() != 1 || array.dtype().kind() != 'O') {
        throw py::type_error("expected a one-dimensional array of geometries");
    }
    return array;
}

// The cleaned name of a row's raw name value; nothing when it is missing.
std::optional<std::string> road_name(py::handle raw) {
    if (raw.is_none()) return std::nullopt;
    return pipeline::cleaned_road_name(host_text(raw));
}

// The lines' vertices, read with one call for all of them.
std::vector<std::shared_ptr<const engine::LineGeometry>> read_lines(
    const std::vector<py::object>& line_objects) {
    py::module_ numpy = py::module_::import("numpy");
    py::module_ shapely = py::module_::import("shapely");
    const std::size_t n = line_objects.size();
    py::object array = numpy.attr("empty")(n, py::arg("dtype") = "object");
    for (std::size_t i = 0; i < n; ++i) {
        if (PySequence_SetItem(array.ptr(), static_cast<Py_ssize_t>(i), line_objects[i].ptr()) != 0) {
            throw py::error_already_set();
        }
    }
    py::tuple coords_and_index = shapely.attr("get_coordinates")(
        array, py::arg("include_z") = true, py::arg("return_index") = true);
    using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;
    using Indices = py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>;
    using Flags = py::array_t<bool, py::array::c_style | py::array::forcecast>;
    const Doubles coords = Doubles::ensure(coords_and_index[0]);
    const Indices owner = Indices::ensure(coords_and_index[1]);
    const Flags has_z = Flags::ensure(shapely.attr("has_z")(array));
    if (!coords || !owner || !has_z) throw py::error_already_set();

    std::vector<std::vector<engine::Vec3>> points(n);
    const double* c = coords.data();
    const std::int64_t* o = owner.data();
    const bool* z = has_z.data();
    for (py::ssize_t k = 0; k < owner.size(); ++k) {
        const auto line = static_cast<std::size_t>(o[k]);
        // Two-dimensional lines come back with NaN for z; they lie at 0.0.
        points[line].push_back({c[3 * k], c[3 * k + 1], z[line] ? c[3 * k + 2] : 0.0});
    }
    std::vector<std::shared_ptr<const engine::LineGeometry>> lines(n);
    for (std::size_t i = 0; i < n; ++i) {
        lines[i] = std::make_shared<const engine::LineGeometry>(
            engine::make_line_geometry(std::move(points[i]), z[i]));
    }
    return lines;
}

// Reads row i's name and weight into `feature`; false when the row carries
// no usable name. The weight is compared by the host, so that a text weight
// raises its TypeError.
bool read_row_values(const ColumnValues& names, const std::optional<ColumnValues>& weights,
                     std::size_t i, engine::SampledFeature& feature, py::object& weight_object) {
    std::optional<std::string> text = road_name(names.at(i));
    if (!text) return false;
    const py::int_ one(1);
    py::object w = weights ? weights->at(i) : py::object(one);
    const int heavier = PyObject_RichCompareBool(w.ptr(), one.ptr(), Py_GT);
    if (heavier < 0) throw py::error_already_set();
    feature.text = std::move(*text);
    feature.weight = heavier ? host_float(w) : 1.0;
    weight_object = heavier ? w : py::object(one);
    return true;
}

// Adds a row whose lines were just appended to the table, when it is a road
// (pipeline::add_road), with its host objects.
void add_feature(FeatureTable& table, engine::SampledFeature feature, std::size_t line_count,
                 py::object label, py::object weight_object) {
    if (!pipeline::add_road(table, std::move(feature), line_count)) return;
    table.features.back().index = index_label_value(label);
    table.index_objects.push_back(std::move(label));
    table.weight_objects.push_back(std::move(weight_object));
}

}  // namespace

FeatureTable read_feature_table(py::handle frame, py::handle geometries, py::handle name_field,
                                py::handle weight_field) {
    py::module_ numpy = py::module_::import("numpy");
    py::module_ shapely = py::module_::import("shapely");

    const py::array geoms = object_array(geometries);
    const std::size_t n = static_cast<std::size_t>(geoms.size());
    using Ints = py::array_t<std::int32_t, py::array::c_style | py::array::forcecast>;
    const Ints type_ids = Ints::ensure(shapely.attr("get_type_id")(geoms));
    if (!type_ids) throw py::error_already_set();
    const std::int32_t* type_id = type_ids.data();

    // The parts of every MultiLineString, in one call; part_begin[k] is where
    // the parts of the k-th MultiLineString row start.
    py::object multi_mask = numpy.attr("equal")(type_ids, kMultiLineString);
    py::tuple parts_and_index = shapely.attr("get_parts")(
        geoms[multi_mask], py::arg("return_index") = true);
    const py::array parts = object_array(parts_and_index[0]);
    using Indices = py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>;
    const Indices part_owner = Indices::ensure(parts_and_index[1]);
    if (!part_owner) throw py::error_already_set();
    std::size_t multi_rows = 0;
    std::vector<engine::RowShape> shapes(n);
    for (std::size_t i = 0; i < n; ++i) {
        shapes[i] = pipeline::row_shape_of_geometry_type(type_id[i]);
        multi_rows += shapes[i] == engine::RowShape::multi_line_string;
    }
    std::vector<std::size_t> part_begin(multi_rows + 1, 0);
    for (py::ssize_t p = 0; p < part_owner.size(); ++p) {
        ++part_begin[static_cast<std::size_t>(part_owner.data()[p]) + 1];
    }
    for (std::size_t k = 0; k < multi_rows; ++k) part_begin[k + 1] += part_begin[k];

    const ColumnValues names(frame, name_field);
    py::object columns = frame.attr("columns").attr("tolist")();
    std::optional<ColumnValues> weights;
    if (contains(columns, weight_field)) weights.emplace(frame, weight_field);
    const py::list index(frame.attr("index"));
    if (static_cast<std::size_t>(index.size()) != n) {
        throw py::value_error("the shapefile's table and geometries differ in length");
    }
    FeatureTable table;
    std::size_t multi_row = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const engine::RowShape shape = shapes[i];
        const std::size_t part_row =
            shape == engine::RowShape::multi_line_string ? multi_row++ : 0;
        if (shape == engine::RowShape::none) continue;
        engine::SampledFeature feature;
        py::object weight_object;
        if (!read_row_values(names, weights, i, feature, weight_object)) continue;

        const std::size_t first_line = table.line_objects.size();
        if (shape == engine::RowShape::line_string) {
            table.line_objects.push_back(py::reinterpret_borrow<py::object>(object_at(geoms, i)));
        } else if (shape == engine::RowShape::multi_line_string) {
            for (std::size_t p = part_begin[part_row]; p < part_begin[part_row + 1]; ++p) {
                table.line_objects.push_back(py::reinterpret_borrow<py::object>(object_at(parts, p)));
            }
        }
        add_feature(table, std::move(feature), table.line_objects.size() - first_line, index[i],
                    std::move(weight_object));
    }
    table.lines = read_lines(table.line_objects);
    return table;
}

FeatureTable read_decoded_feature_table(py::handle attributes, const engine::WkbLines& decoded,
                                        py::handle name_field, py::handle weight_field) {
    const std::size_t n = decoded.shapes.size();
    if (static_cast<std::size_t>(py::len(attributes)) != n) {
        throw py::value_error("the shapefile's table and geometries differ in length");
    }
    // The full table holds a geometry column, so its rows are of object dtype.
    const py::str object_dtype("object");
    const ColumnValues names(attributes, name_field, object_dtype);
    py::object columns = attributes.attr("columns").attr("tolist")();
    std::optional<ColumnValues> weights;
    if (contains(columns, weight_field)) weights.emplace(attributes, weight_field, object_dtype);

    FeatureTable table;
    for (std::size_t i = 0; i < n; ++i) {
        const engine::RowShape shape = decoded.shapes[i];
        if (shape == engine::RowShape::none) continue;
        engine::SampledFeature feature;
        py::object weight_object;
        if (!read_row_values(names, weights, i, feature, weight_object)) continue;

        const std::size_t first_line = table.lines.size();
        if (shape != engine::RowShape::other) {
            for (std::size_t p = decoded.first_part[i]; p < decoded.first_part[i + 1]; ++p) {
                const engine::DecodedPart& part = decoded.parts[p];
                table.lines.push_back(std::make_shared<const engine::LineGeometry>(
                    engine::make_line_geometry(engine::part_points(decoded, part), part.has_z)));
            }
        }
        add_feature(table, std::move(feature), table.lines.size() - first_line, py::int_(i),
                    std::move(weight_object));
    }
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
