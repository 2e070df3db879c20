#include "solver/cell_key.hpp"

#include <cmath>
#include <limits>

namespace glyphway::solver {

namespace {

template <typename T>
std::int32_t clamped_floor(T v) {
    constexpr auto lo = std::numeric_limits<std::int32_t>::min();
    constexpr auto hi = std::numeric_limits<std::int32_t>::max();
    if (std::isnan(v)) return 0;
    const T f = std::floor(v);
    // Both bounds are exact in float and double (powers of two), so every
    // value that passes converts without overflow.
    if (f >= static_cast<T>(2147483648.0)) return hi;
    if (f <= static_cast<T>(-2147483648.0)) return lo;
    return static_cast<std::int32_t>(f);
}

}  // namespace

std::int32_t cell_coordinate(float v) { return clamped_floor(v); }
std::int32_t cell_coordinate(double v) { return clamped_floor(v); }

}  // namespace glyphway::solver
