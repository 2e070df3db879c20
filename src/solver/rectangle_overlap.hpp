#pragma once
// The oriented-rectangle overlap test every pass of the solver shares.
//
// One arithmetic for all of them: the row kernel and the single-pair test
// evaluate the same expressions in the same order, without fused
// multiply-adds (the file is built with contraction off), so the grid pass,
// the fast final pass and an exhaustive comparison all agree to the bit, on
// every CPU.
#include <cstddef>
#include <cstdint>

#include "solver/solver_record.hpp"

namespace glyphway::solver {

// One rectangle: centre, reading direction (length runs along it, height
// along its normal; not re-normalised) and size.
struct Rect {
    float cx, cy, dx, dy, length, height;
};

inline Rect rect_of(const SolverRecord& r) {
    return {r.cx, r.cy, r.dx, r.dy, r.length, r.height};
}

// Rectangles held column by column, so a row of tests loads whole vectors.
struct RectColumns {
    const float* cx;
    const float* cy;
    const float* dx;
    const float* dy;
    const float* length;
    const float* height;
};

// out[q - begin] = whether `a` (taken as the first of the pair) overlaps
// column rectangle q, for q in [begin, end). Touching counts as overlapping;
// any comparison with NaN fails to separate, so a NaN rectangle overlaps
// everything. Picks AVX2 code at run time where the CPU has it.
void overlap_row(const Rect& a, const RectColumns& b, std::size_t begin, std::size_t end,
                 std::uint8_t* out);

// The same test for one pair, `a` first.
bool rects_overlap(const Rect& a, const Rect& b);

}  // namespace glyphway::solver
