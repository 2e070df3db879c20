#pragma once
// Vertices carried into a label's (or a glyph's) frame: each row (x, y, z)
// becomes the first three components of matrix · (x, y, z, 1).
//
// The sums are evaluated the way NumPy's matmul evaluates
// `(matrix @ np.hstack([verts, ones]).T).T[:, :3]` on this platform, so a
// file is byte-identical to one written from the NumPy arrays: for two or
// more vertices NumPy hands the product to its BLAS, whose kernel
// accumulates each element as a chain of fused multiply-adds over k = 0..3
// starting from zero; for a single vertex it takes a matrix-vector path that
// adds the products in two interleaved pairs, (p0 + p2) + (p1 + p3).
#include <cstddef>

#include "engine/orientation_frame.hpp"

namespace glyphway::export_ {

// `in` and `out` hold `count` rows of three doubles; they may not overlap.
void transform_vertices(const engine::Mat4& matrix, const double* in, std::size_t count,
                        double* out);

}  // namespace glyphway::export_
