#pragma once
// The road lines of a table's geometries, decoded from their WKB.
//
// Labelling reads only LineStrings and the parts of MultiLineStrings; every
// other geometry type is noted and left undecoded. The coordinates go into
// two pools, one for the rows without z and one for the rows with z, so the
// host can reproject each pool with one call, in place, before the lines
// are built.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/coordinate_limits.hpp"

#include "engine/line_geometry.hpp"
#include "engine/periodic_check.hpp"

namespace glyphway::engine {

enum class RowShape : std::uint8_t { none, line_string, multi_line_string, other };

// Columns of plain numbers: x[i], y[i] (and z[i] in the pool with z).
struct CoordinatePool {
    std::vector<double> x, y, z;
    std::size_t size() const { return x.size(); }
};

struct DecodedPart {
    bool has_z = false;       // which pool its points are in
    std::size_t first = 0;    // its first point in that pool
    std::size_t count = 0;
};

struct WkbLines {
    std::vector<RowShape> shapes;        // one per row
    std::vector<std::size_t> first_part; // rows + 1 entries: row r owns parts [first_part[r], first_part[r + 1])
    std::vector<DecodedPart> parts;
    CoordinatePool flat;                 // rows without z
    CoordinatePool raised;               // rows with z
};

// Whether every decoded coordinate is a usable point (coordinate_limits.hpp).
bool coordinates_within(const WkbLines& lines);

// A geometry this decoder does not read the way the host library would:
// measured (M) coordinates, a LineString of one point, a type code it does
// not know, or bytes that end early or run on. The caller reads such a
// table the slow way, which reports the problem as the host does.
struct WkbUnsupported : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One row's WKB; data == nullptr is a row without geometry.
struct WkbView {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

// Decodes every row, in order. Both ISO (1002) and extended (0x80000000)
// type codes for z are read; a leading SRID is skipped. `check` runs now
// and then (every 16 MiB of WKB), so that a large table can be abandoned.
WkbLines decode_wkb_lines(const std::vector<WkbView>& rows, const InterruptCallback& check = {});

// The points of a part, as the line's vertices (z = 0.0 without z).
std::vector<Vec3> part_points(const WkbLines& lines, const DecodedPart& part);

}  // namespace glyphway::engine
