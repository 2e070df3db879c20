#include "solver/collision_solver.hpp"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "solver/cell_key.hpp"
#include "solver/collision_grid.hpp"
#include "solver/label_chains.hpp"
#include "solver/overlap_batches.hpp"

namespace glyphway::solver {

namespace {

// The grid iterations run a fixed number of times: enough for chains to
// settle in practice, bounded so the solver's cost is predictable.
constexpr int kIterations = 3;
// The cell side is 1.5 x the longest label.
constexpr float kCellScale = 0.6666667f;
constexpr std::size_t kCheckEvery = 4096;

// The record of a pair that gives way: the greater weight, then (equal or
// unordered weights) the longer text, then the second.
std::uint32_t yielding(const std::vector<SolverRecord>& records, std::uint32_t first,
                       std::uint32_t second) {
    const SolverRecord& a = records[first];
    const SolverRecord& b = records[second];
    if (a.weight > b.weight) return first;
    if (b.weight > a.weight) return second;
    if (a.text_len > b.text_len) return first;
    return second;
}

}  // namespace

void resolve_collisions(SolverInput& input, float char_width_est,
                        const InterruptCheck& check_interrupt) {
    std::vector<SolverRecord>& records = input.records;
    if (records.empty()) return;

    float max_len = 0.0f;
    for (const SolverRecord& r : records) {
        if (r.length > max_len) max_len = r.length;
    }
    // No label has any length: nothing can be tested or moved.
    if (!(max_len > 0.0f)) return;

    const float step = 2.0f * char_width_est;
    const float gap_unit = 0.5f * char_width_est;
    const float k = kCellScale / max_len;

    ChainIndex chains(input);
    std::vector<std::uint32_t> chain;
    std::size_t since_check = 0;

    for (int iteration = 0; iteration < kIterations; ++iteration) {
        std::vector<CellEntry> entries;
        entries.reserve(records.size());
        for (std::size_t i = 0; i < records.size(); ++i) {
            const SolverRecord& r = records[i];
            if (!r.hidden) entries.push_back({cell_key_of(r.cx, r.cy, k), static_cast<std::uint32_t>(i)});
        }
        // Every pair of records sharing a cell whose rectangles overlapped
        // when the iteration began, in ascending (first, second) order: the
        // grid keeps those rectangles while the records slide.
        const CellGrid grid(std::move(entries), records);
        const auto resolve = [&](std::uint32_t first, std::uint32_t second) {
            if (++since_check == kCheckEvery) {
                since_check = 0;
                if (check_interrupt) check_interrupt();
            }
            if (records[first].hidden || records[second].hidden) return;
            const std::uint32_t y = yielding(records, first, second);
            chains.visible_chain(y, records, chain);
            std::size_t from = 0;
            while (from < chain.size() && chain[from] != y) ++from;
            if (from == chain.size()) return;
            slide_chain(input, chain, from, step, gap_unit);
            chains.moved(y);
        };
        bool any_pair = false;
        if (pairs_fit_in_a_list(pairs_sharing_cells(grid), records.size())) {
            const std::vector<RecordPair> pairs = overlapping_pairs_in_cells(grid);
            if (check_interrupt) check_interrupt();
            any_pair = !pairs.empty();
            for (const RecordPair& pair : pairs) resolve(pair.first, pair.second);
        } else {
            // A crowded cell: a batch of rows at a time. A cell's records are
            // in record order, so the row of a record is the rest of its cell.
            OverlapBatch batch(records, {RectSet{grid.columns(), grid.slot_records()}});
            std::vector<CandidateRange> ranges(1);
            std::uint32_t next = 0;
            const auto count = static_cast<std::uint32_t>(records.size());
            while (next < count) {
                batch.clear();
                for (; next < count; ++next) {
                    // Hidden now, or before the iteration: none of its pairs can act.
                    if (records[next].hidden) continue;
                    const std::uint32_t slot = grid.slot_of(next);
                    const std::uint32_t end = grid.cell_end_of(next);
                    if (slot + 1 == end) continue;  // last of its cell: no row
                    ranges[0] = {0, slot + 1, end};
                    if (!batch.add_row(next, grid.rect_at(slot), ranges)) break;
                }
                if (batch.empty()) break;
                batch.find_overlaps();
                if (check_interrupt) check_interrupt();
                for (std::size_t row = 0; row < batch.row_count(); ++row) {
                    const std::uint32_t first = batch.row_first(row);
                    const std::uint32_t* hits;
                    std::size_t hit_count;
                    batch.row_hits(row, &hits, &hit_count);
                    any_pair = any_pair || hit_count > 0;
                    // A hidden first record leaves the rest of its row idle.
                    for (std::size_t h = 0; h < hit_count && !records[first].hidden; ++h) {
                        resolve(first, hits[h]);
                    }
                }
            }
            if (check_interrupt) check_interrupt();
        }
        // No overlap left in any cell: further iterations would find none.
        if (!any_pair) break;
    }

    final_overlap_pass(records, check_interrupt);
}

}  // namespace glyphway::solver
