// Python face of the input checks: the encoding of a dBASE table's text,
// its raw text fields, and the damage of a shapefile's parts. Paths and
// messages travel as the file system's bytes (os.fsencode / os.fsdecode).
#include <pybind11/pybind11.h>
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "engine/coordinate_limits.hpp"
#include "engine/shapefile_records.hpp"
#include "module/bindings.hpp"
#include "pipeline/input_checks.hpp"

namespace py = pybind11;
using namespace pybind11::literals;

namespace glyphway::module {

namespace {

template <typename Read>
auto unreadable_as_value_error(Read read) {
    try {
        return read();
    } catch (const engine::ShapefileUnreadable& e) {
        throw py::value_error(e.what());
    }
}

py::tuple dbf_encoding(const std::string& dbf_path, const std::optional<std::string>& cpg) {
    const text::EncodingChoice choice =
        unreadable_as_value_error([&] { return pipeline::dbf_text_encoding(dbf_path, cpg); });
    return py::make_tuple(choice.codec, choice.replace, py::bytes(choice.reason));
}

py::list dbf_text_columns(const std::string& dbf_path) {
    const engine::DbfTable table =
        unreadable_as_value_error([&] { return engine::read_dbf(dbf_path, true); });
    py::list out;
    for (std::size_t k = 0; k < table.text_fields.size(); ++k) {
        py::list values;
        for (std::string_view value : table.text_columns[k]) {
            values.append(py::bytes(value.data(), value.size()));
        }
        out.append(py::make_tuple(py::bytes(table.fields[table.text_fields[k]].name), values));
    }
    return out;
}

py::tuple shapefile_damage(const std::string& shp_path, const std::optional<std::string>& shx_path,
                           const std::optional<std::string>& dbf_path) {
    const engine::ShapefileCheck check = unreadable_as_value_error(
        [&] { return pipeline::shapefile_damage(shp_path, shx_path, dbf_path); });
    py::list problems;
    for (const std::string& problem : check.problems) problems.append(py::bytes(problem));
    return py::make_tuple(check.rows, problems, check.bad_rows);
}

using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;
using Indexes = py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>;

py::array_t<bool> unusable_rows(const Doubles& xyz, const Indexes& owner, py::ssize_t rows) {
    if (xyz.ndim() != 2 || xyz.shape(1) != 3 || owner.ndim() != 1 || owner.size() != xyz.shape(0)) {
        throw py::value_error("expected (points, 3) coordinates and one owner per point");
    }
    py::array_t<bool> out(rows);
    bool* bad = out.mutable_data();
    std::fill(bad, bad + rows, false);
    const double* p = xyz.data();
    for (py::ssize_t i = 0; i < owner.size(); ++i, p += 3) {
        const std::int64_t row = owner.data()[i];
        if (row < 0 || row >= rows) throw py::value_error("a point's owner is no row");
        if (!engine::usable_point(p[0], p[1], p[2])) bad[row] = true;
    }
    return out;
}

}  // namespace

void register_input_check_bindings(py::module_& m) {
    m.def("_dbf_encoding", &dbf_encoding, "dbf_path"_a, "cpg"_a,
          "(codec, replace, reason) of a dBASE table's text: codec '' keeps its declaration; "
          "reason b'' when nothing is to be said");
    m.def("_dbf_text_columns", &dbf_text_columns, "dbf_path"_a,
          "[(field name, [raw value bytes per record])] of the table's text fields");
    m.def("_shapefile_damage", &shapefile_damage, "shp_path"_a, "shx_path"_a, "dbf_path"_a,
          "(rows, [problem], [bad row]) of a shapefile's parts");
    m.def("_unusable_rows", &unusable_rows, "xyz"_a, "owner"_a, "rows"_a,
          "bool per row: some point of it (z 0 where it has none) is not usable");
}

}  // namespace glyphway::module
