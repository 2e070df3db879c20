#include "module/direct_read.hpp"

#include <pybind11/numpy.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace glyphway::module {

namespace {

std::vector<engine::WkbView> wkb_views(const py::array& wkb) {
    std::vector<engine::WkbView> views(static_cast<std::size_t>(wkb.size()));
    const char* base = static_cast<const char*>(wkb.data());
    for (std::size_t i = 0; i < views.size(); ++i) {
        PyObject* item = *reinterpret_cast<PyObject* const*>(
            base + static_cast<py::ssize_t>(i) * wkb.strides(0));
        if (!item || item == Py_None) continue;
        if (!PyBytes_Check(item)) throw engine::WkbUnsupported("a geometry that is no WKB");
        views[i].data = reinterpret_cast<const unsigned char*>(PyBytes_AS_STRING(item));
        views[i].size = static_cast<std::size_t>(PyBytes_GET_SIZE(item));
    }
    return views;
}

// A pool column as an array over its own memory, for pyproj to write into.
py::array_t<double> column_view(std::vector<double>& column) {
    // The capsule only marks the memory as borrowed: the pool outlives the call.
    py::capsule borrowed(column.data(), [](void*) {});
    return py::array_t<double>({static_cast<py::ssize_t>(column.size())}, {sizeof(double)},
                               column.data(), borrowed);
}

// Copies back whatever pyproj returned, should it have worked on a copy.
void take_result(py::handle result, std::vector<double>& column) {
    py::array_t<double> array = py::array_t<double>::ensure(result);
    if (!array) throw py::error_already_set();
    if (array.data() == column.data()) return;
    if (static_cast<std::size_t>(array.size()) != column.size()) {
        throw py::value_error("the transformer returned a different number of coordinates");
    }
    std::copy(array.data(), array.data() + array.size(), column.begin());
}

}  // namespace

std::optional<DirectTable> read_directly(py::handle shp_path, py::handle name_field,
                                         py::handle weight_field, const py::dict& reading) {
    py::object read = py::module_::import("glyphway_maker._direct_read")
                          .attr("read_table")(shp_path, name_field, weight_field, **reading);
    if (read.is_none()) return std::nullopt;
    DirectTable table;
    if (!py::bool_(read.attr("has_names"))) {
        table.has_names = false;
        return table;
    }
    py::object wkb = read.attr("wkb");
    const py::array wkb_rows = py::array::ensure(wkb);
    if (!wkb_rows || wkb_rows.ndim() != 1 || wkb_rows.dtype().kind() != 'O') return std::nullopt;
    try {
        table.lines = engine::decode_wkb_lines(wkb_views(wkb_rows));
    } catch (const engine::WkbUnsupported&) {
        return std::nullopt;
    }
    // Rows that are no lines are never read, but the host would still refuse
    // a broken one; let it look at them.
    std::vector<std::size_t> others;
    for (std::size_t i = 0; i < table.lines.shapes.size(); ++i) {
        if (table.lines.shapes[i] == engine::RowShape::other) others.push_back(i);
    }
    if (!others.empty()) {
        py::array_t<std::int64_t> rows(static_cast<py::ssize_t>(others.size()));
        for (std::size_t k = 0; k < others.size(); ++k) rows.mutable_at(k) = static_cast<std::int64_t>(others[k]);
        py::module_::import("shapely").attr("from_wkb")(wkb_rows[rows]);
    }
    table.columns = read.attr("columns");
    table.crs = read.attr("crs");
    table.wkb = wkb;
    return table;
}

py::object geometry_series(const DirectTable& table) {
    py::object geometries = py::module_::import("shapely").attr("from_wkb")(table.wkb);
    return py::module_::import("geopandas").attr("GeoSeries")(geometries,
                                                             py::arg("crs") = table.crs);
}

void reproject(DirectTable& table, py::handle working_crs) {
    py::module_ pyproj = py::module_::import("pyproj");
    py::object target = pyproj.attr("CRS").attr("from_user_input")(working_crs);
    if (table.crs.attr("is_exact_same")(target).cast<bool>()) return;
    py::object transformer = pyproj.attr("Transformer").attr("from_crs")(
        table.crs, target, py::arg("always_xy") = true);
    py::object transform = transformer.attr("transform");
    engine::CoordinatePool& flat = table.lines.flat;
    if (flat.size() > 0) {
        py::tuple out = transform(column_view(flat.x), column_view(flat.y),
                                  py::arg("inplace") = true);
        take_result(out[0], flat.x);
        take_result(out[1], flat.y);
    }
    engine::CoordinatePool& raised = table.lines.raised;
    if (raised.size() > 0) {
        py::tuple out = transform(column_view(raised.x), column_view(raised.y),
                                  column_view(raised.z), py::arg("inplace") = true);
        take_result(out[0], raised.x);
        take_result(out[1], raised.y);
        take_result(out[2], raised.z);
    }
}

}  // namespace glyphway::module
