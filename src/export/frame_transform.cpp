// Compiled without floating-point contraction: the fused steps are written
// out with std::fma and every other product must stay a separate rounding.
#include "export/frame_transform.hpp"

#include <cmath>

namespace glyphway::export_ {

void transform_vertices(const engine::Mat4& m, const double* in, std::size_t count, double* out) {
    if (count == 1) {
        const double v[4] = {in[0], in[1], in[2], 1.0};
        for (int r = 0; r < 3; ++r) {
            const double* row = &m[4 * r];
            out[r] = (row[0] * v[0] + row[2] * v[2]) + (row[1] * v[1] + row[3] * v[3]);
        }
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const double* v = in + 3 * i;
        double* o = out + 3 * i;
        for (int r = 0; r < 3; ++r) {
            const double* row = &m[4 * r];
            // The kernel's accumulator starts at +0.0, so a first product of
            // -0.0 enters as +0.0.
            double acc = std::fma(row[0], v[0], 0.0);
            acc = std::fma(row[1], v[1], acc);
            acc = std::fma(row[2], v[2], acc);
            o[r] = std::fma(row[3], 1.0, acc);
        }
    }
}

}  // namespace glyphway::export_
