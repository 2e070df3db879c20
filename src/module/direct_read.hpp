#pragma once
// The shapefile read the short way: pyogrio hands over the rows' WKB and
// only the name and weight columns, the lines are decoded natively and
// reprojected in place with one pyproj call per coordinate pool. No Shapely
// geometry is made, and no column labelling does not read is loaded.
//
// It gives exactly the table `geopandas.read_file` followed by `to_crs`
// would: the same reader underneath, the same transformer, the same rows.
// When that holds, and the read itself, is decided in Python
// (glyphway_maker/_direct_read.py); what it hands down that this decoder
// cannot vouch for (measured coordinates, a geometry the host would
// refuse ...) is left to GeoPandas as well, which then reads it or reports
// the problem in its own words.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <optional>
#include <vector>

#include "engine/wkb_lines.hpp"

namespace glyphway::module {

namespace py = pybind11;

struct DirectTable {
    bool has_names = true;        // false: the name column is missing, nothing else was read
    py::object columns;           // the name (and weight) column, a _road_input.RoadColumns
    py::object crs;               // the file's CRS, a pyproj.CRS
    py::object wkb;               // the rows' WKB, kept until the working system is chosen
    engine::WkbLines lines;
};

// Views of a one-dimensional object array of WKB bytes (None: no
// geometry); anything else is engine::WkbUnsupported.
std::vector<engine::WkbView> wkb_views(const py::array& wkb);

// Reads `shp_path` for the name and weight fields, or answers nothing when
// the table must be read through GeoPandas. `reading`: the reading options
// (layer, encoding, ...) by name.
std::optional<DirectTable> read_directly(py::handle shp_path, py::handle name_field,
                                         py::handle weight_field, const py::dict& reading);

// The rows' geometries as a GeoSeries in the file's CRS, for the choice of
// a UTM zone.
py::object geometry_series(const DirectTable& table);

// Moves the decoded lines into `working_crs` as GeoPandas' `to_crs` would:
// nothing when the systems are exactly the same, else one always_xy
// transformer, two-dimensional rows through (x, y) and the rest through
// (x, y, z).
void reproject(DirectTable& table, py::handle working_crs);

// The same for decoded lines in `from_crs` (a pyproj.CRS).
void reproject_lines(engine::WkbLines& lines, py::handle from_crs, py::handle to_crs);

}  // namespace glyphway::module
