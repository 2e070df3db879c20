#include "engine/orientation_frame.hpp"

namespace glyphway::engine {

namespace {

constexpr Vec3 kUp{0.0, 0.0, 1.0};
constexpr Vec3 kFallbackTangent{1.0, 0.0, 0.0};

// The host language's max(a, b) and min(a, b): the first argument wins ties
// and comparisons with NaN, so a NaN first argument survives.
double host_max(double a, double b) { return b > a ? b : a; }
double host_min(double a, double b) { return b < a ? b : a; }

struct Axes {
    Vec3 b1;
    Vec3 b2;
    bool finite;
};

Axes side_axes(const Vec3& tangent, Posture posture) {
    const Vec3 across = posture == Posture::flat ? cross(kUp, tangent) : cross(tangent, kUp);
    const double length = norm(across);
    if (!(length > 0.0)) return {kUp, kUp, false};
    const Vec3 unit = across / length;
    if (!is_finite(unit)) return {kUp, kUp, false};
    if (posture == Posture::flat) return {unit, kUp, true};
    return {kUp, unit, true};
}

}  // namespace

std::optional<Mat4> build_tbn_matrix(const LineGeometry& line, double distance, bool auto_flip,
                                     Posture posture) {
    const std::optional<Vec3> anchor = interpolate(line, distance);
    if (!anchor) return std::nullopt;
    const std::optional<Vec3> before = interpolate(line, host_max(distance - kTangentHalfChord, 0.0));
    const std::optional<Vec3> after =
        interpolate(line, host_min(distance + kTangentHalfChord, line_length(line)));
    if (!before || !after) return std::nullopt;

    Vec3 tangent = *after - *before;
    const double chord = norm(tangent);
    tangent = chord > 0.0 ? tangent / chord : kFallbackTangent;
    if (auto_flip && tangent.x < 0.0) tangent = -tangent;

    Axes axes = side_axes(tangent, posture);
    if (!axes.finite) {
        // A vertical tangent (a 3D line climbing straight up or down) has no
        // direction across the road; frame it like a zero-length line so no
        // non-finite value reaches the solver or the files.
        tangent = kFallbackTangent;
        axes = side_axes(tangent, posture);
    }

    Mat4 m{};
    const Vec3 columns[4] = {tangent, axes.b1, axes.b2, *anchor};
    for (int c = 0; c < 4; ++c) {
        m[0 * 4 + c] = columns[c].x;
        m[1 * 4 + c] = columns[c].y;
        m[2 * 4 + c] = columns[c].z;
    }
    m[15] = 1.0;
    return m;
}

}  // namespace glyphway::engine
