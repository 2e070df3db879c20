#pragma once
// Conversions between host values and the engine's native types.
//
// Each conversion follows the host's own rule for that value (float(),
// int(), truth value, ==, str()): a record dict is host data, and a stage
// that reads it natively must accept, refuse and round exactly what the
// host's operators do, so a run gives the same labels and the same errors
// whichever side reads it.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/label_record.hpp"
#include "engine/line_geometry.hpp"
#include "engine/orientation_frame.hpp"

namespace glyphway::module {

namespace py = pybind11;

// --- host values ----------------------------------------------------------

py::object host_float_object(py::handle value);  // float(value)
double host_float(py::handle value);             // float(value) as a double
std::int64_t host_int(py::handle value);         // int(value); must fit in 64 bits
bool host_truth(py::handle value);               // bool(value)
bool host_equals(py::handle value, const char* text);  // value == text
std::string host_text(py::handle value);         // str(value), as UTF-8

// operator.index(value) (ints, bools and integer-like objects; a float is a
// TypeError) as a C int, a value outside 32 bits an OverflowError; or as a C
// 64-bit int, beyond which the host's own OverflowError.
std::int32_t host_index_int32(py::handle value);
std::int64_t host_index_int64(py::handle value);

// A feature's index label: an integer that fits 64 bits (bools excluded) by
// value, anything else by its text form.
engine::IndexLabel index_label_value(py::handle value);

// --- geometry -------------------------------------------------------------

// The vertices of a Shapely LineString or LinearRing (and of a Point when
// `allow_point`), read in one call. Z is kept when the geometry has it; M
// values are not read.
engine::LineGeometry read_line(py::handle geometry, bool allow_point = false);

// Entries [0][3], [1][3] (centre) and [0][0], [1][0] (direction) of a
// label's matrix: a NumPy array or nested sequences of at least 2 x 4, an
// IndexError when smaller.
struct MatrixEntries {
    double cx, cy, dx, dy;
};
MatrixEntries matrix_entries(py::handle value);

py::array_t<double> vector_array(const engine::EndPoint& p);  // 2 or 3 components
py::array_t<double> matrix_array(const engine::Mat4& m);      // 4 x 4

// --- label records --------------------------------------------------------

// Lines already read during one conversion, by host object, so records that
// share a line read its vertices once.
using LineCache = std::unordered_map<PyObject*, std::shared_ptr<const engine::LineGeometry>>;

// The records of a stage's `labels` argument, each checked to be a dict.
std::vector<py::object> record_dicts(py::handle labels);

// Reads one key of a record dict into the native record, if the key is
// there (marking it present); an absent key stays absent.
void read_field(engine::LabelRecord& record, engine::Field field, py::handle dict,
                LineCache* lines = nullptr);

// The end points (line_start, line_end) of a record with a line key, read
// only for the first record on each key: grouping takes that record's ends
// for its whole piece. `seen_keys` holds the keys met so far.
void read_piece_ends(engine::LabelRecord& record, py::handle dict,
                     std::unordered_set<std::string>& seen_keys);

// The host value of one native field. `line` has no host form here: lines
// pass through the dictionaries untouched.
py::object field_value(const engine::LabelRecord& record, engine::Field field);

// The interned host string of a field's key.
py::handle field_key_object(engine::Field field);

// dict[key] of a key that must be there: KeyError(key) when it is absent.
py::handle required_item(py::handle dict, engine::Field field);

// dict.get(key): a null handle when the key is absent.
py::handle optional_item(py::handle dict, engine::Field field);

// Writes the fields of `order` that a native stage wrote into the dict.
template <typename Fields>
void write_back(py::handle dict, const engine::LabelRecord& record, const Fields& order) {
    for (engine::Field f : order) {
        if (!record.written.has(f)) continue;
        py::object value = field_value(record, f);
        if (PyDict_SetItem(dict.ptr(), field_key_object(f).ptr(), value.ptr()) != 0) {
            throw py::error_already_set();
        }
    }
}

}  // namespace glyphway::module
