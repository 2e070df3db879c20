#include "module/engine_convert.hpp"

#include <array>
#include <cstring>
#include <stdexcept>

#include "module/host_calls.hpp"

namespace glyphway::module {

namespace {

std::string type_name(py::handle value) { return Py_TYPE(value.ptr())->tp_name; }

// The UTF-8 bytes of a host string (a string with lone surrogates has none
// and raises the host's encoding error).
std::string utf8(py::handle text) {
    Py_ssize_t size = 0;
    const char* bytes = PyUnicode_AsUTF8AndSize(text.ptr(), &size);
    if (!bytes) throw py::error_already_set();
    return std::string(bytes, static_cast<std::size_t>(size));
}

// Shapely's pieces, looked up once and kept for the life of the process (the
// module stays imported; nothing is released at exit).
struct ShapelyApi {
    py::handle line_string;
    py::handle point;
    py::handle get_coordinates;
};

const ShapelyApi& shapely_api() {
    static const ShapelyApi api = [] {
        py::module_ shapely = py::module_::import("shapely");
        const auto keep = [&](const char* name) { return py::object(shapely.attr(name)).release(); };
        return ShapelyApi{keep("LineString"), keep("Point"), keep("get_coordinates")};
    }();
    return api;
}

bool is_instance(py::handle value, py::handle type) {
    const int result = PyObject_IsInstance(value.ptr(), type.ptr());
    if (result < 0) throw py::error_already_set();
    return result == 1;
}

std::string text_value(py::handle value, engine::Field field) {
    if (!PyUnicode_Check(value.ptr())) {
        throw py::type_error("label key '" + std::string(engine::field_key(field)) +
                             "' must be a string, not " + type_name(value));
    }
    return utf8(value);
}

// operator.index(value) as a long long; `overflow` is set (and the result
// meaningless) when it does not fit 64 bits.
long long index_long_long(py::handle value, int& overflow) {
    py::object index = steal_or_throw(PyNumber_Index(value.ptr()));
    overflow = 0;
    const long long n = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    if (n == -1 && PyErr_Occurred()) throw py::error_already_set();
    return n;
}

[[noreturn]] void raise_overflow() {
    PyErr_SetString(PyExc_OverflowError, "value too large to convert to int");
    throw py::error_already_set();
}

engine::IndexLabel index_label(py::handle value) {
    engine::IndexLabel label;
    PyObject* v = value.ptr();
    if (!PyBool_Check(v) && PyIndex_Check(v)) {
        int overflow = 0;
        const long long n = index_long_long(value, overflow);
        if (overflow == 0) {
            label.value = n;
            return label;
        }
    }
    label.is_integer = false;
    label.text = host_text(value);
    return label;
}

engine::EndPoint end_point(py::handle value, engine::Field field) {
    auto array = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(value);
    if (!array) throw py::error_already_set();
    if (array.ndim() != 1 || (array.shape(0) != 2 && array.shape(0) != 3)) {
        throw py::value_error("label key '" + std::string(engine::field_key(field)) +
                              "' must be a point of 2 or 3 components");
    }
    const double* p = array.data();
    engine::EndPoint point;
    point.dims = static_cast<int>(array.shape(0));
    point.point = {p[0], p[1], point.dims == 3 ? p[2] : 0.0};
    return point;
}

engine::Mat4 matrix_value(py::handle value) {
    auto array = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(value);
    if (!array) throw py::error_already_set();
    if (array.ndim() != 2 || array.shape(0) != 4 || array.shape(1) != 4) {
        throw py::value_error("label key 'matrix' must be a 4x4 array");
    }
    engine::Mat4 m{};
    std::memcpy(m.data(), array.data(), sizeof(m));
    return m;
}

}  // namespace

// --- host values ----------------------------------------------------------

engine::IndexLabel index_label_value(py::handle value) { return index_label(value); }

py::object host_float_object(py::handle value) {
    return steal_or_throw(PyNumber_Float(value.ptr()));
}

double host_float(py::handle value) {
    if (PyFloat_CheckExact(value.ptr())) return PyFloat_AS_DOUBLE(value.ptr());
    return PyFloat_AS_DOUBLE(host_float_object(value).ptr());
}

std::int64_t host_int(py::handle value) {
    py::object number = steal_or_throw(PyNumber_Long(value.ptr()));
    const long long n = PyLong_AsLongLong(number.ptr());
    if (n == -1 && PyErr_Occurred()) throw py::error_already_set();
    return n;
}

bool host_truth(py::handle value) {
    const int result = PyObject_IsTrue(value.ptr());
    if (result < 0) throw py::error_already_set();
    return result == 1;
}

bool host_equals(py::handle value, const char* text) {
    py::object result = steal_or_throw(PyObject_RichCompare(value.ptr(), py::str(text).ptr(), Py_EQ));
    return host_truth(result);
}

std::string host_text(py::handle value) {
    py::object text = steal_or_throw(PyObject_Str(value.ptr()));
    return utf8(text);
}

std::int32_t host_index_int32(py::handle value) {
    int overflow = 0;
    const long long n = index_long_long(value, overflow);
    if (overflow != 0 || n < INT32_MIN || n > INT32_MAX) raise_overflow();
    return static_cast<std::int32_t>(n);
}

std::int64_t host_index_int64(py::handle value) {
    py::object index = steal_or_throw(PyNumber_Index(value.ptr()));
    const long long n = PyLong_AsLongLong(index.ptr());
    if (n == -1 && PyErr_Occurred()) throw py::error_already_set();
    return n;
}

// --- geometry -------------------------------------------------------------

engine::LineGeometry read_line(py::handle geometry, bool allow_point) {
    const ShapelyApi& shapely = shapely_api();
    if (!is_instance(geometry, shapely.line_string) &&
        !(allow_point && is_instance(geometry, shapely.point))) {
        throw py::type_error("expected a Shapely LineString, not " + type_name(geometry));
    }
    const bool has_z = host_truth(geometry.attr("has_z"));
    py::object coords = shapely.get_coordinates(geometry, py::arg("include_z") = has_z);
    auto array = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(coords);
    if (!array) throw py::error_already_set();
    const auto n = static_cast<std::size_t>(array.shape(0));
    const auto dims = static_cast<std::size_t>(array.ndim() == 2 ? array.shape(1) : 0);
    std::vector<engine::Vec3> points(n);
    const double* c = array.data();
    for (std::size_t i = 0; i < n; ++i) {
        points[i] = {c[i * dims], c[i * dims + 1], has_z ? c[i * dims + 2] : 0.0};
    }
    return engine::make_line_geometry(std::move(points), has_z);
}

py::array_t<double> vector_array(const engine::EndPoint& p) {
    py::array_t<double> array(p.dims);
    double* out = array.mutable_data();
    out[0] = p.point.x;
    out[1] = p.point.y;
    if (p.dims == 3) out[2] = p.point.z;
    return array;
}

py::array_t<double> matrix_array(const engine::Mat4& m) {
    py::array_t<double> array({4, 4});
    std::memcpy(array.mutable_data(), m.data(), sizeof(m));
    return array;
}

MatrixEntries matrix_entries(py::handle value) {
    // The usual case, a float64 NumPy array, read in place: no conversion
    // object per label.
    if (py::isinstance<py::array>(value)) {
        const auto* a = py::detail::array_proxy(value.ptr());
        const auto* descr = py::detail::array_descriptor_proxy(a->descr);
        if (descr->type_num == py::detail::npy_api::NPY_DOUBLE_ && descr->byteorder != '>' &&
            a->nd == 2 && a->dimensions[0] >= 2 && a->dimensions[1] >= 4) {
            const char* base = a->data;
            const auto at = [&](py::ssize_t r, py::ssize_t c) {
                double v;
                std::memcpy(&v, base + r * a->strides[0] + c * a->strides[1], sizeof v);
                return v;
            };
            return {at(0, 3), at(1, 3), at(0, 0), at(1, 0)};
        }
    }
    py::array_t<double, py::array::forcecast> array(py::reinterpret_borrow<py::object>(value));
    if (array.ndim() != 2 || array.shape(0) < 2 || array.shape(1) < 4) {
        throw py::index_error("label key 'matrix' must be a 4x4 array");
    }
    const char* base = reinterpret_cast<const char*>(array.data());
    const auto at = [&](py::ssize_t r, py::ssize_t c) {
        return *reinterpret_cast<const double*>(base + r * array.strides(0) + c * array.strides(1));
    };
    return {at(0, 3), at(1, 3), at(0, 0), at(1, 0)};
}

// --- label records --------------------------------------------------------

py::handle field_key_object(engine::Field field) {
    // Interned once and kept: record keys are looked up for every record.
    static const std::array<PyObject*, engine::kFieldCount> keys = [] {
        std::array<PyObject*, engine::kFieldCount> k{};
        for (engine::Field f : engine::all_fields()) {
            k[static_cast<std::size_t>(f)] = PyUnicode_InternFromString(engine::field_key(f).data());
        }
        return k;
    }();
    return keys[static_cast<std::size_t>(field)];
}

py::handle required_item(py::handle dict, engine::Field field) {
    PyObject* key = field_key_object(field).ptr();
    PyObject* item = PyDict_GetItemWithError(dict.ptr(), key);
    if (!item) {
        if (!PyErr_Occurred()) PyErr_SetObject(PyExc_KeyError, key);
        throw py::error_already_set();
    }
    return item;
}

py::handle optional_item(py::handle dict, engine::Field field) {
    PyObject* item = PyDict_GetItemWithError(dict.ptr(), field_key_object(field).ptr());
    if (!item && PyErr_Occurred()) throw py::error_already_set();
    return item;
}

std::vector<py::object> record_dicts(py::handle labels) {
    std::vector<py::object> records;
    for (py::handle item : py::iter(labels)) {
        if (!PyDict_Check(item.ptr())) {
            throw py::type_error("a label record must be a dict, not " + type_name(item));
        }
        records.push_back(py::reinterpret_borrow<py::object>(item));
    }
    return records;
}

void read_field(engine::LabelRecord& r, engine::Field field, py::handle dict, LineCache* lines) {
    using engine::Field;
    const py::handle v = optional_item(dict, field);
    if (!v) return;
    PyObject* raw = v.ptr();
    switch (field) {
        case Field::id: r.id = index_label(v); break;
        case Field::feature_id: r.feature_id = index_label(v); break;
        case Field::line_uid: r.line_uid = host_int(v); break;
        case Field::line_key:
            r.line_key = v.is_none() ? std::nullopt : std::optional(text_value(v, field));
            break;
        case Field::line_start:
            r.line_start = v.is_none() ? std::nullopt : std::optional(end_point(v, field));
            break;
        case Field::line_end:
            r.line_end = v.is_none() ? std::nullopt : std::optional(end_point(v, field));
            break;
        case Field::text: r.text = text_value(v, field); break;
        case Field::text_len: r.text_len = host_int(v); break;
        case Field::distance: r.distance = host_float(v); break;
        case Field::line: {
            std::shared_ptr<const engine::LineGeometry>* cached = nullptr;
            if (lines) cached = &(*lines)[raw];
            if (cached && *cached) {
                r.line = *cached;
            } else {
                r.line = std::make_shared<const engine::LineGeometry>(read_line(v));
                if (cached) *cached = r.line;
            }
            break;
        }
        case Field::line_len: r.line_len = host_float(v); break;
        case Field::weight: r.weight = host_float(v); break;
        case Field::hidden: r.hidden = host_truth(v); break;
        case Field::matrix_dirty: r.matrix_dirty = host_truth(v); break;
        case Field::effective_text: r.effective_text = text_value(v, field); break;
        case Field::effective_text_len: r.effective_text_len = host_int(v); break;
        case Field::effective_font_size: r.effective_font_size = host_float(v); break;
        case Field::effective_letter_spacing: r.effective_letter_spacing = host_float(v); break;
        case Field::effective_char_width_est: r.effective_char_width_est = host_float(v); break;
        case Field::group_id: r.group_id = text_value(v, field); break;
        case Field::cand_idx: r.cand_idx = host_int(v); break;
        case Field::matrix: r.matrix = matrix_value(v); break;
        case Field::count_: return;
    }
    r.present.add(field);
}

void read_piece_ends(engine::LabelRecord& r, py::handle dict,
                     std::unordered_set<std::string>& seen_keys) {
    if (!r.line_key || !seen_keys.insert(*r.line_key).second) return;
    read_field(r, engine::Field::line_start, dict);
    read_field(r, engine::Field::line_end, dict);
}

py::object field_value(const engine::LabelRecord& r, engine::Field field) {
    using engine::Field;
    const auto index_value = [](const engine::IndexLabel& label) -> py::object {
        if (label.is_integer) return py::int_(label.value);
        return py::str(label.text);
    };
    const auto point_value = [](const std::optional<engine::EndPoint>& p) -> py::object {
        if (!p) return py::none();
        return vector_array(*p);
    };
    switch (field) {
        case Field::id: return index_value(r.id);
        case Field::feature_id: return index_value(r.feature_id);
        case Field::line_uid: return py::int_(r.line_uid);
        case Field::line_key: return r.line_key ? py::object(py::str(*r.line_key)) : py::none();
        case Field::line_start: return point_value(r.line_start);
        case Field::line_end: return point_value(r.line_end);
        case Field::text: return py::str(r.text);
        case Field::text_len: return py::int_(r.text_len);
        case Field::distance: return py::float_(r.distance);
        case Field::line: break;
        case Field::line_len: return py::float_(r.line_len);
        case Field::weight: return py::float_(r.weight);
        case Field::hidden: return py::bool_(r.hidden);
        case Field::matrix_dirty: return py::bool_(r.matrix_dirty);
        case Field::effective_text: return py::str(r.effective_text);
        case Field::effective_text_len: return py::int_(r.effective_text_len);
        case Field::effective_font_size: return py::float_(r.effective_font_size);
        case Field::effective_letter_spacing: return py::float_(r.effective_letter_spacing);
        case Field::effective_char_width_est: return py::float_(r.effective_char_width_est);
        case Field::group_id: return py::str(r.group_id);
        case Field::cand_idx: return py::int_(r.cand_idx);
        case Field::matrix: return matrix_array(r.matrix);
        case Field::count_: break;
    }
    throw std::logic_error("label key '" + std::string(engine::field_key(field)) +
                           "' has no host value to write");
}

}  // namespace glyphway::module
