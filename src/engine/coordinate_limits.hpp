#pragma once
// Which coordinates a road may have. A NaN or an infinity, or a value so
// large that reprojection overflows (1e308 written into a file), would
// reach the geometry library as an empty point or a noding error naming
// no row; such lines are dropped where the table is read.
#include <cmath>

namespace glyphway::engine {

struct CoordinateLimits {
    double x = 0.0;  // the largest |x| and |y| of a usable point
    double y = 0.0;
};

// Longitude within ±540° and latitude within ±90° in a geographic system;
// in any other, both within 1e9 of its units (a million kilometres in
// metres, far beyond any map of the Earth).
inline CoordinateLimits coordinate_limits(bool geographic) {
    return geographic ? CoordinateLimits{540.0, 90.0} : CoordinateLimits{1e9, 1e9};
}

// x and y finite and within the limits, z finite (0 for a point without z).
inline bool usable_point(double x, double y, double z, const CoordinateLimits& limits) {
    return std::fabs(x) <= limits.x && std::fabs(y) <= limits.y && std::isfinite(z);
}

}  // namespace glyphway::engine
