#include "module/direct_read.hpp"

#include <pybind11/numpy.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace glyphway::module {

namespace {

bool contains(py::handle sequence, py::handle value) {
    const int found = PySequence_Contains(sequence.ptr(), value.ptr());
    if (found < 0) throw py::error_already_set();
    return found == 1;
}

// The path GeoPandas would hand to pyogrio, when it is a plain local file:
// a str or os.PathLike, `~` expanded, no URL.
std::optional<py::str> plain_path(py::handle shp_path) {
    py::module_ os = py::module_::import("os");
    if (!py::isinstance<py::str>(shp_path) &&
        !py::isinstance(shp_path, os.attr("PathLike"))) {
        return std::nullopt;
    }
    py::object text = os.attr("fspath")(shp_path);
    if (!py::isinstance<py::str>(text)) return std::nullopt;
    if (text.cast<std::string>().find("://") != std::string::npos) return std::nullopt;
    return py::str(os.attr("path").attr("expanduser")(text));
}

// Whether `geopandas.read_file(path)` is GeoPandas' own reader on pyogrio,
// with pyogrio's NumPy (not Arrow) path.
bool geopandas_reads_with_pyogrio() {
    py::module_ geopandas = py::module_::import("geopandas");
    py::module_ file_io = py::module_::import("geopandas.io.file");
    if (!geopandas.attr("read_file").is(file_io.attr("_read_file"))) return false;
    py::object engine = geopandas.attr("options").attr("io_engine");
    if (!engine.is_none() && !(py::isinstance<py::str>(engine) &&
                               engine.cast<std::string>() == "pyogrio")) {
        return false;
    }
    py::object arrow = py::module_::import("os").attr("environ").attr("get")("PYOGRIO_USE_ARROW", "0");
    if (arrow.cast<std::string>() != "0") return false;
    try {
        py::module_::import("pyogrio");
    } catch (const py::error_already_set&) {
        return false;
    }
    // Lines built from a dimension, not from the first z, need GEOS 3.12.
    py::tuple geos = py::module_::import("shapely").attr("geos_version");
    return geos[0].cast<int>() > 3 || (geos[0].cast<int>() == 3 && geos[1].cast<int>() >= 12);
}

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
                                         py::handle weight_field) {
    const std::optional<py::str> path = plain_path(shp_path);
    if (!path || !geopandas_reads_with_pyogrio()) return std::nullopt;
    py::module_ pyogrio = py::module_::import("pyogrio");

    py::dict info;
    {
        // The read that follows gives the file's warnings (a measured type
        // read as plain lines, say); this look at its layout should not give
        // them twice.
        py::module_ warnings = py::module_::import("warnings");
        py::object quiet = warnings.attr("catch_warnings")();
        quiet.attr("__enter__")();
        bool failed = false;
        try {
            warnings.attr("simplefilter")("ignore");
            info = pyogrio.attr("read_info")(*path);
        } catch (const py::error_already_set&) {
            failed = true;  // GeoPandas reports it
        }
        quiet.attr("__exit__")(py::none(), py::none(), py::none());
        if (failed) return std::nullopt;
    }
    if (info["geometry_type"].is_none() || info["crs"].is_none()) return std::nullopt;
    py::list fields = info["fields"].attr("tolist")();
    const py::str geometry_column("geometry");
    if (contains(fields, geometry_column)) return std::nullopt;
    if (py::len(py::set(fields)) != py::len(fields)) return std::nullopt;

    DirectTable table;
    if (!contains(fields, name_field)) {
        // The full table's columns also hold "geometry".
        if (contains(py::make_tuple(geometry_column), name_field)) return std::nullopt;
        table.has_names = false;
        return table;
    }
    // The columns by their names in the file, so that pyogrio is asked for
    // exactly those.
    py::list wanted;
    py::list dtypes = info["dtypes"].attr("tolist")();
    for (std::size_t k = 0; k < py::len(fields); ++k) {
        py::object field = fields[k];
        const bool is_name = contains(py::make_tuple(name_field), field);
        const bool is_weight = contains(py::make_tuple(weight_field), field);
        if (!is_name && !is_weight) continue;
        // Date columns pass through pandas' date parsing in a full read.
        if (dtypes[k].cast<std::string>().rfind("datetime", 0) == 0) return std::nullopt;
        wanted.append(field);
    }

    py::tuple raw = pyogrio.attr("raw").attr("read")(
        *path, py::arg("columns") = wanted, py::arg("read_geometry") = true,
        py::arg("datetime_as_string") = true);
    py::dict meta = raw[0];
    py::object wkb = raw[2];
    py::object field_data = raw[3];
    for (py::handle subtype : meta["ogr_subtypes"]) {
        if (py::str(subtype).cast<std::string>() == "OFSTJSON") return std::nullopt;
    }
    if (wkb.is_none()) return std::nullopt;
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

    // The attribute table as pyogrio builds it from the same arrays.
    py::list columns = meta["fields"].attr("tolist")();
    py::dict data;
    for (std::size_t k = 0; k < py::len(columns); ++k) data[columns[k]] = field_data[py::int_(k)];
    table.attributes = py::module_::import("pandas").attr("DataFrame")(
        data, py::arg("columns") = columns, py::arg("index") = py::none());
    table.crs = py::module_::import("pyproj").attr("CRS").attr("from_user_input")(meta["crs"]);
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
