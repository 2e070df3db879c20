#pragma once
// A point or direction in the working coordinate system. Two-dimensional
// data carries z = 0.0, so every computation on points is three-dimensional.
#include <cmath>

namespace glyphway::engine {

struct Vec3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

inline Vec3 operator-(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator-(const Vec3& a) { return {-a.x, -a.y, -a.z}; }
inline Vec3 operator/(const Vec3& a, double s) { return {a.x / s, a.y / s, a.z / s}; }

// The products and differences NumPy's cross uses for 3-vectors, in its
// order, so frames match NumPy to the bit (signs of zeros included).
inline Vec3 cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// Plain sum of squares, no rescaling: squares that underflow give length 0
// and squares that overflow give an infinite length, as NumPy's norm does.
// Callers that divide by a length test it first.
inline double norm(const Vec3& a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

inline bool is_finite(const Vec3& a) {
    return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z);
}

}  // namespace glyphway::engine
