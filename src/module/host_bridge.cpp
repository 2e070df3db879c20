#include "module/host_bridge.hpp"

#include <pybind11/numpy.h>

#include <utility>

#include "module/drawn_label_sources.hpp"
#include "module/engine_convert.hpp"
#include "module/interrupts.hpp"
#include "module/output_errors.hpp"
#include "module/roads_centre.hpp"
#include "module/host_calls.hpp"
#include "module/option_table.hpp"

namespace glyphway::module {

namespace {

bool differ(py::handle a, py::handle b) {
    return host_truth(steal_or_throw(PyObject_RichCompare(a.ptr(), b.ptr(), Py_NE)));
}

// The engine's reading options (layer, encoding, ...), each at the option
// table's default where the engine has no such attribute.
py::dict reading_options(py::handle engine) {
    py::dict out;
    for (const pipeline::OptionInfo* o : options_of<pipeline::kReading>()) {
        out[o->name] = py::getattr(engine, o->name, option_default(*o));
    }
    return out;
}

}  // namespace

// Progress goes through the interpreter's own print, so that it lands
// wherever the host has sent standard output.
void HostBridge::progress(const std::string& line) { print_progress(line); }

void HostBridge::check_interrupt() { check_host_signals(); }

bool HostBridge::open_roads() {
    py::object shp_path = engine_.attr("shp_path");
    name_field_ = engine_.attr("name_field");
    weight_field_ = engine_.attr("weight_field");
    const py::dict reading = reading_options(engine_);
    direct_ = read_directly(shp_path, name_field_, weight_field_, reading);
    if (direct_) return direct_->has_names;
    frame_ = py::module_::import("glyphway_maker._road_input")
                 .attr("read_frame")(shp_path, py::arg("name_field") = name_field_,
                                     py::arg("weight_field") = weight_field_, **reading);
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
    // Tile by tile where the rows are lines; united whole otherwise, as the
    // host would unite them (a table with points or polygons, lines without
    // length, coordinates that are no degrees).
    const std::optional<pipeline::GeoPoint> tiled =
        direct_ ? direct_centre(*direct_, 0) : frame_centre(frame_.attr("geometry"), 0);
    if (tiled) return *tiled;
    return whole_union_centre(direct_ ? geometry_series(*direct_) : frame_.attr("geometry"));
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

// --- The writers' host ---------------------------------------------------

void OutputBridge::progress(const std::string& line) { print_progress(line); }

void OutputBridge::check_interrupt() { check_host_signals(); }

void OutputBridge::warning(const std::string& line) { print_warning(line); }

std::string OutputBridge::output_path() { return output_fs_path(output_); }

std::string OutputBridge::output_shown() { return host_text(output_); }

bool OutputBridge::target_differs_from_working() { return differ(working_crs_, target_crs_); }

void OutputBridge::start_reprojection() {
    transformer_ = py::module_::import("pyproj").attr("Transformer").attr("from_crs")(
        working_crs_, target_crs_, py::arg("always_xy") = true);
}

void OutputBridge::reproject_to_target(std::vector<export_::BillboardPoint>& points) {
    // One call for all anchors: PROJ transforms the arrays point by point
    // exactly as it would single points.
    py::array_t<double> xs(static_cast<py::ssize_t>(points.size()));
    py::array_t<double> ys(static_cast<py::ssize_t>(points.size()));
    double* x = xs.mutable_data();
    double* y = ys.mutable_data();
    for (std::size_t i = 0; i < points.size(); ++i) {
        x[i] = points[i].x;
        y[i] = points[i].y;
    }
    auto [out_x, out_y] = unpack_pair(transformer_.attr("transform")(xs, ys));
    using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;
    Doubles east = Doubles::ensure(out_x);
    Doubles north = Doubles::ensure(out_y);
    if (!east || !north) throw py::error_already_set();
    if (static_cast<std::size_t>(east.size()) != points.size() ||
        static_cast<std::size_t>(north.size()) != points.size()) {
        throw py::value_error("the transformer returned a different number of points");
    }
    for (std::size_t i = 0; i < points.size(); ++i) {
        points[i].x = east.data()[i];
        points[i].y = north.data()[i];
    }
}

bool OutputBridge::is_geographic(pipeline::CrsRole crs) {
    py::handle system = crs == pipeline::CrsRole::target ? target_crs_ : py::handle(working_crs_);
    return host_truth(py::module_::import("pyproj").attr("CRS")(system).attr("is_geographic"));
}

export_::GlbCrs OutputBridge::describe_working_crs() { return describe_crs(working_crs_); }

export_::GlbCrs describe_crs(py::handle working_crs) {
    export_::GlbCrs out;
    if (working_crs.is_none()) return out;
    py::object crs = py::module_::import("pyproj").attr("CRS").attr("from_user_input")(working_crs);
    py::object epsg = crs.attr("to_epsg")();
    if (!epsg.is_none()) out.epsg = host_int(epsg);
    out.name = host_text(crs.attr("name"));
    out.wkt = host_text(crs.attr("to_wkt")());
    py::object axes = crs.attr("axis_info");
    if (py::len(axes) > 0) out.unit = host_text(axes[py::int_(0)].attr("unit_name"));
    return out;
}

}  // namespace glyphway::module
