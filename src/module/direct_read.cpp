#include "module/direct_read.hpp"

#include <pybind11/numpy.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "module/interrupts.hpp"

namespace glyphway::module {

namespace {

// Points per pyproj call: PROJ transforms every point on its own, so the
// slices give exactly what one call would, and Ctrl-C is looked at between
// them (a million points take a few tenths of a second).
constexpr std::size_t kPointsPerTransform = std::size_t{1} << 20;

// A slice of a pool column as an array over its own memory, for pyproj to
// write into.
py::array_t<double> column_view(double* first, std::size_t size) {
    // The capsule only marks the memory as borrowed: the pool outlives the call.
    py::capsule borrowed(first, [](void*) {});
    return py::array_t<double>({static_cast<py::ssize_t>(size)}, {sizeof(double)}, first, borrowed);
}

// Copies back whatever pyproj returned, should it have worked on a copy.
void take_result(py::handle result, double* first, std::size_t size) {
    py::array_t<double> array = py::array_t<double>::ensure(result);
    if (!array) throw py::error_already_set();
    if (array.data() == first) return;
    if (static_cast<std::size_t>(array.size()) != size) {
        throw py::value_error("the transformer returned a different number of coordinates");
    }
    std::copy(array.data(), array.data() + array.size(), first);
}

// Transforms a pool in place, slice by slice: through (x, y), or through
// (x, y, z) for the pool with z.
void transform_pool(py::handle transform, engine::CoordinatePool& pool, bool with_z) {
    for (std::size_t first = 0; first < pool.size(); first += kPointsPerTransform) {
        check_host_signals();
        const std::size_t n = std::min(kPointsPerTransform, pool.size() - first);
        double* x = pool.x.data() + first;
        double* y = pool.y.data() + first;
        if (with_z) {
            double* z = pool.z.data() + first;
            py::tuple out = transform(column_view(x, n), column_view(y, n), column_view(z, n),
                                      py::arg("inplace") = true);
            take_result(out[0], x, n);
            take_result(out[1], y, n);
            take_result(out[2], z, n);
        } else {
            py::tuple out = transform(column_view(x, n), column_view(y, n), py::arg("inplace") = true);
            take_result(out[0], x, n);
            take_result(out[1], y, n);
        }
    }
}

}  // namespace

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
        table.lines = engine::decode_wkb_lines(wkb_views(wkb_rows), check_host_signals);
    } catch (const engine::WkbUnsupported&) {
        return std::nullopt;
    }
    // Lines with unusable coordinates are dropped, with a warning, by the
    // general reader.
    if (!engine::coordinates_within(table.lines)) {
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
    reproject_lines(table.lines, table.crs, working_crs);
}

void reproject_lines(engine::WkbLines& lines, py::handle from_crs, py::handle to_crs) {
    py::module_ pyproj = py::module_::import("pyproj");
    py::object target = pyproj.attr("CRS").attr("from_user_input")(to_crs);
    if (from_crs.attr("is_exact_same")(target).cast<bool>()) return;
    py::object transformer = pyproj.attr("Transformer").attr("from_crs")(
        from_crs, target, py::arg("always_xy") = true);
    py::object transform = transformer.attr("transform");
    transform_pool(transform, lines.flat, false);
    transform_pool(transform, lines.raised, true);
}

}  // namespace glyphway::module
