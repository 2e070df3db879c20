#pragma once
// The UTM zone of a point, which names the working coordinate system when
// the data is to be measured in a UTM projection around its centre.
#include <cstdint>
#include <optional>
#include <string>

namespace glyphway::engine {

// The zone's number before the 1 is added: (lon + 180) * (1 / 6), truncated
// toward zero. The division is a multiplication by the rounded 1/6, so a
// longitude on a zone border may fall in the zone to its west. NaN and
// infinities pass through (they have no zone).
double utm_zone_offset(double lon);

// The zone of a longitude in [-180, 180], 1 to 60. Longitude 180 is the
// eastern edge of zone 60, not the start of a zone 61 (whose code would be
// one of the polar stereographic systems, 32661 / 32761).
int utm_zone(double lon);

// 32600 in the northern hemisphere (lat >= 0), else 32700.
std::int64_t utm_code_base(double lat);

// "EPSG:" and the zone's code, 32600 / 32700 + zone, or nothing when the
// point is not on the globe: a coordinate that is not finite, a longitude
// outside [-180, 180] or a latitude outside [-90, 90].
std::optional<std::string> utm_crs(double lon, double lat);

}  // namespace glyphway::engine
