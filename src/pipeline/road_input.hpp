#pragma once
// The first part of every run: the road table read through the host and
// moved into the working system, with the progress lines the reader sees
// and the warning for a table without its name column.
#include <optional>
#include <stdexcept>
#include <string>

#include "pipeline/host.hpp"

namespace glyphway::pipeline {

inline constexpr const char* kWebMercator = "EPSG:3857";

// The centre of the roads has no UTM zone: the data is not in degrees (a
// projected file without its .prj, say) or has broken coordinates.
struct NoUtmZone : std::domain_error {
    explicit NoUtmZone(GeoPoint centre);
    GeoPoint centre;
};

// Opens the host's road table, chooses the working system (the UTM zone
// around the centroid of all its geometries when the host asks for UTM,
// else Web Mercator), moves the table there and reads its rows
// (host.read_rows()). The working system's name; nothing when the table
// has no name column, after a warning saying so.
std::optional<std::string> load_roads(Host& host);

}  // namespace glyphway::pipeline
