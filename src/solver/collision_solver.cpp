#include "solver/collision_solver.hpp"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "solver/cell_key.hpp"
#include "solver/collision_grid.hpp"
#include "solver/label_chains.hpp"

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
std::uint32_t yielding(const std::vector<SolverRecord>& records, const RecordPair& pair) {
    const SolverRecord& a = records[pair.first];
    const SolverRecord& b = records[pair.second];
    if (a.weight > b.weight) return pair.first;
    if (b.weight > a.weight) return pair.second;
    if (a.text_len > b.text_len) return pair.first;
    return pair.second;
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
        std::vector<RecordPair> pairs;
        {
            const CellGrid grid(std::move(entries), records);
            pairs = overlapping_pairs_in_cells(grid);
        }
        if (check_interrupt) check_interrupt();
        if (pairs.empty()) break;

        for (const RecordPair& pair : pairs) {
            if (++since_check == kCheckEvery) {
                since_check = 0;
                if (check_interrupt) check_interrupt();
            }
            if (records[pair.first].hidden || records[pair.second].hidden) continue;
            const std::uint32_t y = yielding(records, pair);
            chains.visible_chain(y, records, chain);
            std::size_t from = 0;
            while (from < chain.size() && chain[from] != y) ++from;
            if (from == chain.size()) continue;
            slide_chain(input, chain, from, step, gap_unit);
            chains.moved(y);
        }
    }

    final_overlap_pass(records, check_interrupt);
}

}  // namespace glyphway::solver
