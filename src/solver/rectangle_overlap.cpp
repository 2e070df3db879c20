#include "solver/rectangle_overlap.hpp"

#include <cmath>

#include "solver/collision_solver.hpp"

namespace glyphway::solver {

namespace {

// Separating axes of two oriented rectangles: A's direction and normal, B's
// direction and normal. The pair is separated when the centres' offset
// projected on an axis exceeds the two half-extents on it. Written so that
// swapping A and B swaps the axis tests exactly (the offset only changes
// sign), which keeps the result symmetric.
inline bool overlap_core(float acx, float acy, float adx, float ady, float alen, float ah,
                         float bcx, float bcy, float bdx, float bdy, float blen, float bh) {
    const float ox = bcx - acx;
    const float oy = bcy - acy;
    const float dot_abs = std::fabs(adx * bdx + ady * bdy);
    const float cross_abs = std::fabs(adx * bdy - ady * bdx);
    const float ta2 = adx * adx + ady * ady;
    const float tb2 = bdx * bdx + bdy * bdy;

    const float pa = std::fabs(adx * ox + ady * oy);
    const float qa = std::fabs(adx * oy - ady * ox);
    const float pb = std::fabs(bdx * ox + bdy * oy);
    const float qb = std::fabs(bdx * oy - bdy * ox);

    const float ra = 0.5f * (ta2 * alen + dot_abs * blen + cross_abs * bh);
    const float sa = 0.5f * (ta2 * ah + cross_abs * blen + dot_abs * bh);
    const float rb = 0.5f * (tb2 * blen + dot_abs * alen + cross_abs * ah);
    const float sb = 0.5f * (tb2 * bh + cross_abs * alen + dot_abs * ah);

    // Non-short-circuit so the loop below stays branch-free.
    const bool separated = (pa > ra) | (qa > sa) | (pb > rb) | (qb > sb);
    return !separated;
}

}  // namespace

__attribute__((target_clones("avx2", "default")))
void overlap_row(const Rect& a, const RectColumns& b, std::size_t begin, std::size_t end,
                 std::uint8_t* out) {
    const float acx = a.cx, acy = a.cy, adx = a.dx, ady = a.dy, alen = a.length, ah = a.height;
    const float* __restrict bcx = b.cx;
    const float* __restrict bcy = b.cy;
    const float* __restrict bdx = b.dx;
    const float* __restrict bdy = b.dy;
    const float* __restrict blen = b.length;
    const float* __restrict bh = b.height;
    std::uint8_t* __restrict o = out;
    const std::size_t n = end - begin;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t q = begin + i;
        o[i] = overlap_core(acx, acy, adx, ady, alen, ah, bcx[q], bcy[q], bdx[q], bdy[q], blen[q],
                            bh[q]);
    }
}

bool rects_overlap(const Rect& a, const Rect& b) {
    return overlap_core(a.cx, a.cy, a.dx, a.dy, a.length, a.height, b.cx, b.cy, b.dx, b.dy,
                        b.length, b.height);
}

bool rectangles_overlap(const SolverRecord& a, const SolverRecord& b) {
    return rects_overlap(rect_of(a), rect_of(b));
}

}  // namespace glyphway::solver
