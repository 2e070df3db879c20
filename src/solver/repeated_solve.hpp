#pragma once
// The solver run again and again over a selection that changes little
// between runs (placement's passes: one label added per pass, a few moved).
//
// Why a run can often be skipped: when the solver's final pass has run, no
// two visible labels overlap at the rectangles they end with (every
// overlapping pair had one label hidden). The next run starts from those
// rectangles, except for labels that are new or whose rectangle changed
// since (call them fresh). Every overlapping pair of that run then holds a
// fresh label. If no fresh label overlaps any other, the grid iterations
// find no pair (theirs are overlapping pairs too) and stop after the first,
// and the final pass finds none either: the run changes nothing but the
// narrowing of distances to single precision, which the write-back does
// alike. So only the fresh labels' rows are tested, against every record;
// any hit, or too many fresh labels, runs the solver in full. The result is
// that of resolve_label_collisions to the bit, run after run.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "solver/label_solver_adaptor.hpp"
#include "solver/rectangle_overlap.hpp"

namespace glyphway::solver {

class RepeatedSolve {
public:
    // resolve_label_collisions(labels, indices, sizes, check_interrupt), with
    // `labels` the same list in every call (indices name the same labels).
    void resolve(std::vector<engine::LabelRecord>& labels, const std::vector<std::size_t>& indices,
                 const SolverSizes& sizes, const InterruptCheck& check_interrupt = {});

    // How many runs the last calls skipped and ran in full (for tests and
    // benchmarks).
    std::size_t skipped_runs() const { return skipped_; }
    std::size_t full_runs() const { return full_; }

private:
    bool quiet(const std::vector<std::uint32_t>& fresh);

    // Gathered anew each run; kept to reuse their memory.
    SolverInput input_;
    std::vector<std::size_t> owners_;
    std::vector<std::uint32_t> fresh_;
    std::vector<float> columns_[6];
    std::vector<std::uint8_t> hits_;

    // The labels visible after the last run and their rectangles then, by
    // label index; `settled_` says whether the last run left no two of them
    // overlapping.
    bool settled_ = false;
    std::vector<std::uint8_t> is_settled_;
    std::vector<Rect> settled_rect_;
    std::vector<std::size_t> settled_labels_;

    std::size_t skipped_ = 0;
    std::size_t full_ = 0;
};

}  // namespace glyphway::solver
