#include "module/roads_centre.hpp"

#include <pybind11/numpy.h>

#include <cstdint>
#include <vector>

#include "engine/road_centre.hpp"
#include "module/host_calls.hpp"
#include "module/interrupts.hpp"

namespace glyphway::module {

namespace {

constexpr const char* kDegrees = "EPSG:4326";
constexpr std::size_t kTileLines = 10000;

// GEOS's type ids of the geometries that give lines.
constexpr int kLineString = 1, kLinearRing = 2, kMultiLineString = 5;

std::optional<pipeline::GeoPoint> tiled_centre(const std::vector<engine::DegreeLine>& lines,
                                               std::size_t tile_lines) {
    const std::optional<engine::CentrePoint> centre =
        engine::union_centre(lines, check_host_signals, tile_lines);
    if (!centre) return std::nullopt;
    return pipeline::GeoPoint{centre->longitude, centre->latitude};
}

// The centre of decoded lines in `crs`; `applies` runs once the tiled sums
// are sure to give it (and may drop what only the whole union would need).
template <typename Applies>
std::optional<pipeline::GeoPoint> decoded_centre(const engine::WkbLines& decoded, py::handle crs,
                                                 std::size_t tile_lines, Applies applies) {
    for (engine::RowShape shape : decoded.shapes) {
        if (shape == engine::RowShape::other) return std::nullopt;
    }
    // The lines in degrees: the pools themselves when they are there already,
    // else a copy moved as to_crs would move it.
    const engine::WkbLines* lines = &decoded;
    engine::WkbLines moved;
    py::object degrees = py::module_::import("pyproj").attr("CRS").attr("from_user_input")(kDegrees);
    if (!crs.attr("is_exact_same")(degrees).cast<bool>()) {
        moved = decoded;
        reproject_lines(moved, crs, degrees);
        lines = &moved;
    }
    std::vector<engine::DegreeLine> parts;
    parts.reserve(lines->parts.size());
    for (const engine::DecodedPart& part : lines->parts) {
        const engine::CoordinatePool& pool = part.has_z ? lines->raised : lines->flat;
        parts.push_back({pool.x.data() + part.first, pool.y.data() + part.first, part.count, 1});
    }
    if (!engine::tiled_centre_applies(parts)) return std::nullopt;
    applies();
    return tiled_centre(parts, tile_lines);
}


py::object union_centre_function(py::handle wkb, py::handle crs, std::size_t tile_lines) {
    const py::array rows = py::array::ensure(wkb);
    if (!rows || rows.ndim() != 1 || rows.dtype().kind() != 'O') {
        throw py::type_error("expected a one-dimensional object array of WKB");
    }
    py::object system = py::module_::import("pyproj").attr("CRS").attr("from_user_input")(crs);
    engine::WkbLines decoded;
    try {
        decoded = engine::decode_wkb_lines(wkb_views(rows), check_host_signals);
    } catch (const engine::WkbUnsupported& e) {
        throw py::value_error(e.what());
    }
    const std::optional<pipeline::GeoPoint> centre =
        decoded_centre(decoded, system, tile_lines, [] {});
    if (!centre) return py::none();
    return py::make_tuple(centre->longitude, centre->latitude);
}

}  // namespace

std::optional<pipeline::GeoPoint> direct_centre(DirectTable& table, std::size_t tile_lines) {
    // The rows' WKB was kept for the whole union only: once the tiled sums
    // apply, its memory goes before theirs is taken.
    return decoded_centre(table.lines, table.crs, tile_lines ? tile_lines : kTileLines,
                          [&] { table.wkb = py::none(); });
}

std::optional<pipeline::GeoPoint> frame_centre(py::handle geometry, std::size_t tile_lines) {
    py::object geographic = geometry.attr("to_crs")(kDegrees);
    py::module_ road_input = py::module_::import("glyphway_maker._road_input");
    py::tuple rows = road_input.attr("_row_lines")(geographic.attr("to_numpy")());
    using Ints = py::array_t<std::int32_t, py::array::c_style | py::array::forcecast>;
    const Ints type_ids = Ints::ensure(rows[0]);
    if (!type_ids) throw py::error_already_set();
    for (py::ssize_t i = 0; i < type_ids.size(); ++i) {
        const int id = type_ids.data()[i];
        if (id != -1 && id != kLineString && id != kLinearRing && id != kMultiLineString) {
            return std::nullopt;
        }
    }
    py::tuple coordinates = road_input.attr("_coordinates")(rows[2]);
    using Offsets = py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>;
    using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;
    const Offsets first_point = Offsets::ensure(coordinates[0]);
    const Doubles xyz = Doubles::ensure(coordinates[1]);
    if (!first_point || !xyz) throw py::error_already_set();
    std::vector<engine::DegreeLine> lines;
    const double* base = xyz.data();
    for (py::ssize_t k = 0; k + 1 < first_point.size(); ++k) {
        const auto first = static_cast<std::size_t>(first_point.data()[k]);
        const auto count = static_cast<std::size_t>(first_point.data()[k + 1]) - first;
        lines.push_back({base + 3 * first, base + 3 * first + 1, count, 3});
    }
    return tiled_centre(lines, tile_lines ? tile_lines : kTileLines);
}

pipeline::GeoPoint whole_union_centre(py::handle geometry) {
    py::object geographic = geometry.attr("to_crs")(kDegrees);
    py::object merged =
        py::module_::import("shapely").attr("union_all")(geographic.attr("to_numpy")());
    py::object centre = merged.attr("centroid");
    py::object x = centre.attr("x");  // x first: an empty centre fails there
    py::object y = centre.attr("y");
    return {real_number(x), real_number(y)};
}

void register_roads_centre(py::module_& m) {
    m.def("_union_centre", &union_centre_function, py::arg("wkb"), py::arg("crs"),
          py::arg("tile_lines") = kTileLines,
          "The centroid (longitude, latitude) of the union of the rows' lines, taken tile by "
          "tile; None where the union must be taken whole.");
}

}  // namespace glyphway::module
