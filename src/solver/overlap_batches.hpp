#pragma once
// Overlapping pairs found a bounded batch at a time.
//
// Both solver passes resolve pairs in ascending (first, second) order, each
// pair only while both of its records are still visible. Listing every
// overlapping pair up front costs memory quadratic in the labels of a
// crowded cell (100,000 labels stacked in one cell are 5e9 pairs). Instead,
// where cells are crowded, a pass hands over rows: one first record with
// the stretches of candidate rectangles it is to be tested against. A batch
// holds consecutive rows up to a fixed number of candidates (a single row
// may exceed it; a row is at most all records), tests them on the thread
// team and gives back, per row, the overlapping records in ascending order. The pass resolves them, then
// fills the next batch. Rows whose first record is hidden by then are left
// out, and so are records already hidden when the batch is tested: neither
// could act, and skipping them is what lets a crowd that is hidden early
// finish in about linear time.
//
// The hits of a row depend only on the rectangles and the visibility at
// the batch's start, never on the thread count or schedule.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "solver/rectangle_overlap.hpp"
#include "solver/solver_record.hpp"

namespace glyphway::solver {

// Whether a pass may list its overlapping pairs all at once instead: when
// the pairs it would test are few for the records (ordinary labels, a few
// to a cell), the list is as small as the batches' bookkeeping, and finding
// it cell by cell reads the grid in its own order, which is faster.
inline bool pairs_fit_in_a_list(std::uint64_t tested_pairs, std::size_t records) {
    constexpr std::uint64_t kAlways = std::uint64_t{1} << 22;
    constexpr std::uint64_t kPerRecord = 16;
    return tested_pairs <= kAlways || tested_pairs <= kPerRecord * records;
}

// Rectangles column by column and the record each one belongs to.
struct RectSet {
    RectColumns columns;
    const std::uint32_t* records;
};

// Entries [begin, end) of rectangle set `set`, their records in ascending
// order.
struct CandidateRange {
    std::uint32_t set;
    std::uint32_t begin;
    std::uint32_t end;
};

class OverlapBatch {
public:
    // `records` only supplies the visibility, read by find_overlaps(); the
    // rectangles are the sets' and the rows' own, so records may move while
    // a pass resolves. The sets must outlive the batch.
    OverlapBatch(const std::vector<SolverRecord>& records, std::vector<RectSet> sets);

    void clear();

    // Appends the row of record `first`, rectangle `rect` (taken as the
    // first of every test: a pass that moves records tests the rectangles it
    // started from), against `ranges`, which together hold its candidates,
    // none twice, each range ascending. A row without candidates is dropped.
    // Returns false, adding nothing, when the batch is not empty and the row
    // would overfill it.
    bool add_row(std::uint32_t first, const Rect& rect, const std::vector<CandidateRange>& ranges);

    bool empty() const { return rows_.empty(); }

    // Tests every row of the batch (on the OpenMP thread team).
    void find_overlaps();

    std::size_t row_count() const { return rows_.size(); }
    std::uint32_t row_first(std::size_t row) const { return rows_[row].first; }

    // The records overlapping row `row`'s first record and visible when the
    // batch was tested, ascending: [*begin, *begin + count). Valid until
    // clear(); called once per row, in any order.
    void row_hits(std::size_t row, const std::uint32_t** begin, std::size_t* count);

private:
    struct Row {
        Rect rect;
        std::uint32_t first;
        std::uint32_t range_begin, range_end;  // into ranges_
        std::size_t offset;                    // into hits_, one slot per candidate
        std::size_t candidates;
        std::uint32_t piece_begin, piece_end;  // into pieces_
    };
    // A share of one row's candidates, tested by one thread.
    struct Piece {
        std::uint32_t row;
        std::size_t begin, end;  // candidate positions within the row
    };

    void test_piece(std::size_t piece);

    const std::vector<SolverRecord>& records_;
    std::vector<RectSet> sets_;
    std::vector<Row> rows_;
    std::vector<CandidateRange> ranges_;
    std::vector<Piece> pieces_;
    std::vector<std::size_t> piece_hits_;  // per piece, after find_overlaps()
    std::vector<std::uint32_t> hits_;
    std::size_t candidates_ = 0;
};

}  // namespace glyphway::solver
