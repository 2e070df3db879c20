#include "engine/label_footprint.hpp"

#include <algorithm>
#include <cmath>

namespace glyphway::engine {

namespace {
constexpr double kPi = 3.14159265358979323846;
}  // namespace

double label_text_length(const LabelRecord& r, const EngineSizes& engine) {
    const double n = static_cast<double>(effective_text_len(r));
    return n * effective_char_width_est(r, engine) +
           std::max(n - 1.0, 0.0) * effective_letter_spacing(r, engine);
}

LabelFootprint label_footprint(const Mat4& frame, double length, double height) {
    LabelFootprint out;
    out.x = frame[3];
    out.y = frame[7];
    out.length = length;
    out.height = height;
    const double dx = frame[0];
    const double dy = frame[4];
    out.rotation_deg = std::atan2(dy, dx) * (180.0 / kPi);
    const double norm = std::hypot(dx, dy);
    // A vertical or degenerate first axis has no heading on the ground.
    const double ux = norm > 0.0 ? dx / norm : 1.0;
    const double uy = norm > 0.0 ? dy / norm : 0.0;
    const double hl = 0.5 * length;
    const double hh = 0.5 * height;
    constexpr double kSigns[4][2] = {{-1.0, -1.0}, {1.0, -1.0}, {1.0, 1.0}, {-1.0, 1.0}};
    for (int k = 0; k < 4; ++k) {
        const double a = kSigns[k][0] * hl;  // along the text
        const double b = kSigns[k][1] * hh;  // across it
        out.corners[k] = {out.x + a * ux - b * uy, out.y + a * uy + b * ux};
    }
    return out;
}

}  // namespace glyphway::engine
