#include "engine/utm_zone.hpp"

#include <algorithm>
#include <cmath>

namespace glyphway::engine {

double utm_zone_offset(double lon) { return std::trunc((lon + 180.0) * (1.0 / 6.0)); }

int utm_zone(double lon) {
    return static_cast<int>(std::clamp(utm_zone_offset(lon), 0.0, 59.0)) + 1;
}

std::int64_t utm_code_base(double lat) { return lat >= 0.0 ? 32600 : 32700; }

std::optional<std::string> utm_crs(double lon, double lat) {
    // The comparisons are false for NaN, so NaN is refused with the rest.
    if (!(lon >= -180.0 && lon <= 180.0 && lat >= -90.0 && lat <= 90.0)) return std::nullopt;
    return "EPSG:" + std::to_string(utm_code_base(lat) + utm_zone(lon));
}

}  // namespace glyphway::engine
