#include "engine/utm_zone.hpp"

#include <cmath>

namespace glyphway::engine {

double utm_zone_offset(double lon) { return std::trunc((lon + 180.0) * (1.0 / 6.0)); }

std::int64_t utm_code_base(double lat) { return lat >= 0.0 ? 32600 : 32700; }

std::optional<std::string> utm_crs(double lon, double lat) {
    constexpr double kExactLimit = 9007199254740992.0;  // 2^53
    const double offset = utm_zone_offset(lon);
    if (!(std::fabs(offset) < kExactLimit)) return std::nullopt;
    const std::int64_t code = utm_code_base(lat) + static_cast<std::int64_t>(offset) + 1;
    return "EPSG:" + std::to_string(code);
}

}  // namespace glyphway::engine
