#pragma once
// The collision solver: overlapping labels slide forward along their roads
// (the labels behind them on the same road piece keep their gaps), labels
// pushed off the end of their road are hidden, and a final pass hides one
// label of every pair that still overlaps.
//
// Deterministic: pairs are resolved in ascending (first, second) order, so
// the result does not depend on the number of threads.
#include <functional>

#include "solver/solver_record.hpp"

namespace glyphway::solver {

// Called now and then on the calling thread of a long run; it may throw to
// abandon the run (the records are then in an unspecified state).
using InterruptCheck = std::function<void()>;

// Runs the grid iterations and the final pass on `input.records`, in place.
// `char_width_est` sets the slide step (2x) and the gap unit (0.5x).
void resolve_collisions(SolverInput& input, float char_width_est,
                        const InterruptCheck& check_interrupt = {});

// Whether two records' rectangles overlap (touching counts as overlapping).
bool rectangles_overlap(const SolverRecord& a, const SolverRecord& b);

}  // namespace glyphway::solver
