// Compiled without floating-point contraction: every product and sum below
// is rounded to float on its own, so a row's angles do not depend on whether
// the compiler fuses a multiply and an add.
#include "export/billboard_rotation.hpp"

#include <cmath>

namespace glyphway::export_ {

Rotation3f rotation_block(const engine::Mat4& matrix) {
    Rotation3f m{};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) m.r[r][c] = static_cast<float>(matrix[4 * r + c]);
    }
    return m;
}

Quaternion rotation_quaternion(const Rotation3f& rot) {
    const auto& m = rot.r;
    const float t[4] = {m[0][0] + m[1][1] + m[2][2], m[0][0] - m[1][1] - m[2][2],
                        m[1][1] - m[0][0] - m[2][2], m[2][2] - m[0][0] - m[1][1]};
    int best = 0;
    for (int i = 1; i < 4; ++i) {
        if (t[i] > t[best]) best = i;
    }
    const float s = std::sqrt(t[best] + 1.0f);
    const float f = 0.5f / s;
    const float half = 0.5f * s;
    Quaternion q;
    switch (best) {
        case 0:
            q.w = half;
            q.x = (m[2][1] - m[1][2]) * f;
            q.y = (m[0][2] - m[2][0]) * f;
            q.z = (m[1][0] - m[0][1]) * f;
            break;
        case 1:
            q.x = half;
            q.y = (m[0][1] + m[1][0]) * f;
            q.z = (m[0][2] + m[2][0]) * f;
            q.w = (m[2][1] - m[1][2]) * f;
            break;
        case 2:
            q.y = half;
            q.x = (m[0][1] + m[1][0]) * f;
            q.z = (m[1][2] + m[2][1]) * f;
            q.w = (m[0][2] - m[2][0]) * f;
            break;
        default:
            q.z = half;
            q.x = (m[0][2] + m[2][0]) * f;
            q.y = (m[1][2] + m[2][1]) * f;
            q.w = (m[1][0] - m[0][1]) * f;
            break;
    }
    return q;
}

EulerAngles rotation_euler(const Rotation3f& rot, bool degrees) {
    const auto& m = rot.r;
    EulerAngles a;
    a.z = std::atan2(m[1][0], m[0][0]);
    const float sz = std::sin(a.z);
    const float cz = std::cos(a.z);
    a.y = std::atan2(-m[2][0], std::sqrt(m[2][1] * m[2][1] + m[2][2] * m[2][2]));
    a.x = std::atan2(sz * m[0][2] - cz * m[1][2], cz * m[1][1] - sz * m[0][1]);
    if (degrees) {
        a.x *= kDegreesPerRadian;
        a.y *= kDegreesPerRadian;
        a.z *= kDegreesPerRadian;
    }
    return a;
}

}  // namespace glyphway::export_
