#pragma once
// The roads' centre for the choice of a UTM zone: the centroid of the union
// of every row's geometry in EPSG:4326. Lines go to the tiled sums of
// engine/road_centre.hpp, in degrees as GeoPandas' to_crs would give them;
// a table with rows of other kinds (points, polygons ...), or whose lines
// the sums cannot take, is united whole with Shapely, as the host would.
#include <pybind11/pybind11.h>

#include <optional>

#include "module/direct_read.hpp"
#include "pipeline/host.hpp"

namespace glyphway::module {

namespace py = pybind11;

// The centre of a table read directly, or nothing when it must be united
// whole. The table's WKB is dropped when the tiled sums apply (only the
// whole union needs it). `tile_lines` 0: the default.
std::optional<pipeline::GeoPoint> direct_centre(DirectTable& table, std::size_t tile_lines);

// The same for a GeoSeries (with its CRS), as GeoPandas read it.
std::optional<pipeline::GeoPoint> frame_centre(py::handle geometry, std::size_t tile_lines);

// The centroid of shapely.union_all of the GeoSeries in EPSG:4326.
pipeline::GeoPoint whole_union_centre(py::handle geometry);

// `_union_centre(wkb, crs, tile_lines)`: the tiled centre of rows given as
// WKB in `crs`, or None where the union must be taken whole (for tests and
// benchmarks).
void register_roads_centre(py::module_& m);

}  // namespace glyphway::module
