#include "module/host_bridge.hpp"

#include <utility>

#include "module/engine_convert.hpp"
#include "module/interrupts.hpp"

namespace glyphway::module {

namespace {

py::object steal_or_throw(PyObject* result) {
    if (!result) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(result);
}

// A real number the way arithmetic takes it: ints, floats and anything
// with __float__ or __index__; text is a TypeError.
double real_number(py::handle value) {
    const double v = PyFloat_AsDouble(value.ptr());
    if (v == -1.0 && PyErr_Occurred()) throw py::error_already_set();
    return v;
}

bool differ(py::handle a, py::handle b) {
    return host_truth(steal_or_throw(PyObject_RichCompare(a.ptr(), b.ptr(), Py_NE)));
}

}  // namespace

// Progress goes through the interpreter's own print, so that it lands
// wherever the host has sent standard output.
void HostBridge::progress(const std::string& line) {
    py::module_::import("builtins").attr("print")(py::str(line));
}

void HostBridge::check_interrupt() { check_host_signals(); }

bool HostBridge::open_roads() {
    py::object shp_path = engine_.attr("shp_path");
    name_field_ = engine_.attr("name_field");
    weight_field_ = engine_.attr("weight_field");
    direct_ = read_directly(shp_path, name_field_, weight_field_);
    if (direct_) return direct_->has_names;
    frame_ = py::module_::import("geopandas").attr("read_file")(shp_path);
    py::object columns = frame_.attr("columns").attr("tolist")();
    const int has_names = PySequence_Contains(columns.ptr(), name_field_.ptr());
    if (has_names < 0) throw py::error_already_set();
    return has_names != 0;
}

std::string HostBridge::name_field() {
    // Joined to text as the host joins strings: a field that is no str is
    // the host's TypeError.
    return host_text(steal_or_throw(PyUnicode_Concat(py::str("").ptr(), name_field_.ptr())));
}

bool HostBridge::use_utm() { return host_truth(engine_.attr("use_utm")); }

pipeline::GeoPoint HostBridge::geographic_centre() {
    py::object geometry = direct_ ? geometry_series(*direct_) : frame_.attr("geometry");
    py::object geographic = geometry.attr("to_crs")("EPSG:4326");
    py::object merged =
        py::module_::import("shapely").attr("union_all")(geographic.attr("to_numpy")());
    py::object centre = merged.attr("centroid");
    py::object x = centre.attr("x");  // x first: an empty centre fails there
    py::object y = centre.attr("y");
    return {real_number(x), real_number(y)};
}

void HostBridge::reproject(const std::string& working_crs) {
    const py::str target(working_crs);
    if (direct_) {
        direct_->wkb = py::none();  // only the choice of a zone needed it
        if (differ(direct_->crs, target)) module::reproject(*direct_, target);
        return;
    }
    geometry_ = frame_.attr("geometry");
    if (differ(frame_.attr("crs"), target)) geometry_ = geometry_.attr("to_crs")(target);
}

const pipeline::RoadTable& HostBridge::read_rows() {
    if (direct_) {
        table_ = read_decoded_feature_table(direct_->columns, direct_->lines);
        direct_.reset();  // the coordinate pools, before the stages need room
    } else {
        py::object rows = py::module_::import("glyphway_maker._road_input")
                              .attr("frame_rows")(frame_, geometry_, name_field_, weight_field_);
        frame_ = py::object();
        geometry_ = py::object();
        table_ = read_frame_feature_table(rows);
    }
    return table_;
}

std::string no_utm_zone_message(py::handle longitude, py::handle latitude) {
    return "no UTM zone for longitude " + host_text(py::repr(longitude)) + ", latitude " +
           host_text(py::repr(latitude)) +
           ": a UTM zone needs a finite longitude in [-180, 180] and latitude in [-90, 90]";
}

}  // namespace glyphway::module
