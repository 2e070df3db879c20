#pragma once
// Which coordinates a road may have. A NaN or an infinity, or a value so
// large that reprojection overflows (1e308 written into a file), would
// reach the geometry library as an empty point or a noding error naming
// no row; such lines are dropped where the table is read.
#include <cmath>

namespace glyphway::engine {

// The largest |x| and |y| of a usable point, in any system's units: a
// million kilometres in metres, far beyond any map of the Earth in metres,
// feet or degrees. (Degrees off the globe but below it, longitude 1000
// say, stay: the choice of a UTM zone refuses them by name.)
inline constexpr double kCoordinateLimit = 1e9;

// x and y finite and within the limit, z finite (0 for a point without z).
inline bool usable_point(double x, double y, double z) {
    return std::fabs(x) <= kCoordinateLimit && std::fabs(y) <= kCoordinateLimit &&
           std::isfinite(z);
}

}  // namespace glyphway::engine
