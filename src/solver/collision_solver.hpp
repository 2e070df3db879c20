#pragma once
// The collision solver: overlapping labels slide forward along their roads
// (the labels behind them on the same road piece keep their gaps), labels
// pushed off the end of their road are hidden, and a final pass hides one
// label of every pair that still overlaps.
//
// Deterministic: pairs are resolved in ascending (first, second) order, so
// the result does not depend on the number of threads.
#include <functional>
#include <vector>

#include "solver/solver_record.hpp"

namespace glyphway::solver {

// Called now and then on the calling thread of a long run; it may throw to
// abandon the run (the records are then in an unspecified state).
using InterruptCheck = std::function<void()>;

// Runs the grid iterations and the final pass on `input.records`, in place.
// `char_width_est` sets the slide step (2x) and the gap unit (0.5x).
void resolve_collisions(SolverInput& input, float char_width_est,
                        const InterruptCheck& check_interrupt = {});

// The final pass alone: of every pair of visible records that overlap, one
// is hidden, exactly as comparing each visible record (in order) with every
// later visible one would: record i yields when its weight is greater than
// j's, or equal with the longer text; else j does; a hidden i compares no
// further. Runs in about linear time on ordinary labels.
void final_overlap_pass(std::vector<SolverRecord>& records,
                        const InterruptCheck& check_interrupt = {});

// Whether two records' rectangles overlap (touching counts as overlapping),
// `a` taken as the first of the pair (the test is symmetric anyway).
bool rectangles_overlap(const SolverRecord& a, const SolverRecord& b);

}  // namespace glyphway::solver
