// The final pass: hide one label of every pair that still overlaps.
//
// The rule is defined by the plain double loop
//     for i ascending, visible:  for j > i, visible:
//         if overlap(i, j): hide i (and leave j's loop) when i has the
//         greater weight, or equal weight and the longer text; else hide j
// which is quadratic. A pair (i, j) only acts there when it overlaps and
// both are still visible when the loop reaches it, and the loop reaches the
// pairs in ascending (i, j) order. So it is enough to find the overlapping
// pairs and replay them in that order with the same visibility checks: the
// result is the same to the last label. Where the grid tests few pairs
// for the records (ordinary labels) they are all listed cell by cell, then
// sorted; in crowded cells they are found row by row (record i and the
// later records it overlaps) in bounded batches, so a crowd of identical
// labels neither lists its quadratic number of pairs nor tests the rows of
// the labels it has hidden.
//
// Overlapping pairs are found with a grid whose cells are at least as wide
// as any two labels can reach together; records whose reach cannot be
// bounded (non-finite or huge numbers, directions far from unit length,
// labels far larger than the rest) are tested against every other record.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "solver/cell_key.hpp"
#include "solver/collision_grid.hpp"
#include "solver/collision_solver.hpp"
#include "solver/overlap_batches.hpp"
#include "solver/rectangle_overlap.hpp"

namespace glyphway::solver {

namespace {

constexpr std::size_t kCheckEvery = 4096;

// Beyond this a coordinate difference or product may overflow a float in
// the overlap test, and overflow (inf x 0 = NaN) can make far labels
// overlap; such records are tested exhaustively.
constexpr float kLargestRegular = 1.0e18f;

// Reach of a rectangle: no point of any rectangle it overlaps lies farther
// from its centre than its reach plus the other's. The separating-axis
// test passing on A's two axes bounds the centres' offset by
//   |t_A| (L_A + H_A) / 2 + |t_B| (L_B + H_B) / sqrt(2),
// so (L + H) |t| / sqrt(2) is a reach; 0.75 instead of 1/sqrt(2) leaves a
// wide margin for single-precision rounding in the test.
double reach(const SolverRecord& r, double t2) {
    return 0.75 * std::sqrt(t2) *
           (std::fabs(static_cast<double>(r.length)) + std::fabs(static_cast<double>(r.height)));
}

bool is_regular(const SolverRecord& r, double t2) {
    const float v[6] = {r.cx, r.cy, r.dx, r.dy, r.length, r.height};
    for (float x : v) {
        if (!(std::fabs(x) <= kLargestRegular)) return false;  // also NaN and inf
    }
    // A direction much shorter or longer than unit scales the rectangle and
    // the rounding of the test; keep the bound to near-unit directions.
    return t2 >= 0.25 && t2 <= 4.0;
}

std::uint64_t pair_code(std::uint32_t i, std::uint32_t j) {
    return (static_cast<std::uint64_t>(i) << 32) | j;
}

void check_now(std::size_t& counter, std::size_t amount, const InterruptCheck& check) {
    counter += amount;
    if (counter >= kCheckEvery) {
        counter = 0;
        if (check) check();
    }
}

}  // namespace

void final_overlap_pass(std::vector<SolverRecord>& records, const InterruptCheck& check_interrupt) {
    const std::size_t n = records.size();
    std::size_t work = 0;

    std::vector<std::uint32_t> visible;
    std::vector<std::uint32_t> regular;
    std::vector<double> reaches;  // per entry of `regular`
    std::vector<std::uint32_t> exhaustive;
    for (std::size_t i = 0; i < n; ++i) {
        const SolverRecord& r = records[i];
        if (r.hidden) continue;
        const auto idx = static_cast<std::uint32_t>(i);
        visible.push_back(idx);
        const double t2 = static_cast<double>(r.dx) * r.dx + static_cast<double>(r.dy) * r.dy;
        if (is_regular(r, t2)) {
            regular.push_back(idx);
            reaches.push_back(reach(r, t2));
        } else {
            exhaustive.push_back(idx);
        }
    }
    if (visible.size() < 2) return;

    // The cell side follows the labels' reach, capped at a few times the
    // typical one so one huge label does not put everything in one cell;
    // the labels above the cap are tested exhaustively.
    double cap = 0.0;
    if (!reaches.empty()) {
        std::vector<double> sorted_reaches = reaches;
        auto mid = sorted_reaches.begin() + static_cast<std::ptrdiff_t>(sorted_reaches.size() / 2);
        std::nth_element(sorted_reaches.begin(), mid, sorted_reaches.end());
        const double largest = *std::max_element(reaches.begin(), reaches.end());
        cap = *mid > 0.0 ? std::min(largest, 4.0 * *mid) : largest;
    }
    // Two labels overlap only when their centres are within 2 x cap of each
    // other; the 1% keeps the cell division's rounding from splitting a pair
    // more than one cell apart, and the floor keeps degenerate (all zero)
    // sizes from a zero cell.
    const double side = std::max(2.0 * cap * 1.01, 1.0e-30);
    const double inv_side = 1.0 / side;

    std::vector<CellEntry> entries;
    entries.reserve(regular.size());
    for (std::size_t e = 0; e < regular.size(); ++e) {
        const SolverRecord& r = records[regular[e]];
        if (reaches[e] > cap) {
            exhaustive.push_back(regular[e]);
            continue;
        }
        entries.push_back({cell_key(cell_coordinate(r.cx * inv_side), cell_coordinate(r.cy * inv_side)),
                           regular[e]});
    }
    std::sort(exhaustive.begin(), exhaustive.end());

    // Rectangles of the candidates: the grid, the unbounded records and
    // every visible record (only needed for unbounded records).
    const CellGrid grid(std::move(entries), records);
    std::vector<float> exhaustive_cols[6], visible_cols[6];
    const auto columns_of = [&](const std::vector<std::uint32_t>& members, std::vector<float>* cols) {
        for (int c = 0; c < 6; ++c) cols[c].resize(members.size());
        for (std::size_t s = 0; s < members.size(); ++s) {
            const SolverRecord& r = records[members[s]];
            cols[0][s] = r.cx;
            cols[1][s] = r.cy;
            cols[2][s] = r.dx;
            cols[3][s] = r.dy;
            cols[4][s] = r.length;
            cols[5][s] = r.height;
        }
        return RectColumns{cols[0].data(), cols[1].data(), cols[2].data(),
                           cols[3].data(), cols[4].data(), cols[5].data()};
    };
    const RectColumns exhaustive_columns = columns_of(exhaustive, exhaustive_cols);
    const RectColumns visible_columns =
        exhaustive.empty() ? RectColumns{} : columns_of(visible, visible_cols);

    // The eight cells around each cell that hold records.
    std::vector<std::uint32_t> around_start(grid.cell_count() + 1, 0);
    std::vector<std::uint32_t> around;
    {
        std::unordered_map<std::uint64_t, std::uint32_t> cell_of_key;
        cell_of_key.reserve(grid.cell_count() * 2);
        for (std::size_t c = 0; c < grid.cell_count(); ++c) {
            cell_of_key.emplace(grid.cell_key_at(c), static_cast<std::uint32_t>(c));
        }
        for (std::size_t c = 0; c < grid.cell_count(); ++c) {
            const std::uint64_t key = grid.cell_key_at(c);
            const auto cx = static_cast<std::int32_t>(static_cast<std::uint32_t>(key >> 32));
            const auto cy = static_cast<std::int32_t>(static_cast<std::uint32_t>(key));
            for (std::int64_t ox = -1; ox <= 1; ++ox) {
                for (std::int64_t oy = -1; oy <= 1; ++oy) {
                    if (ox == 0 && oy == 0) continue;
                    const std::int64_t nx = cx + ox, ny = cy + oy;
                    if (nx < INT32_MIN || nx > INT32_MAX || ny < INT32_MIN || ny > INT32_MAX) continue;
                    const auto found = cell_of_key.find(
                        cell_key(static_cast<std::int32_t>(nx), static_cast<std::int32_t>(ny)));
                    if (found != cell_of_key.end()) around.push_back(found->second);
                }
            }
            around_start[c + 1] = static_cast<std::uint32_t>(around.size());
        }
    }

    // Replays one overlapping pair, first < second.
    const auto resolve = [&](SolverRecord& a, SolverRecord& b) {
        if (a.hidden || b.hidden) return;
        if (a.weight > b.weight || (a.weight == b.weight && a.text_len > b.text_len)) {
            a.hidden = 1;
        } else {
            b.hidden = 1;
        }
        check_now(work, 1, check_interrupt);
    };

    // The pairs the grid and the unbounded records would have tested.
    std::uint64_t tested = static_cast<std::uint64_t>(exhaustive.size()) * visible.size();
    for (std::size_t c = 0; c < grid.cell_count(); ++c) {
        const std::uint64_t size = grid.cell_end(c) - grid.cell_begin(c);
        std::uint64_t near = 0;
        for (std::uint32_t a = around_start[c]; a < around_start[c + 1]; ++a) {
            near += grid.cell_end(around[a]) - grid.cell_begin(around[a]);
        }
        // Pairs across two cells are counted from both.
        tested += size * (size - 1) / 2 + size * near / 2 + 1;
    }

    if (pairs_fit_in_a_list(tested, visible.size())) {
        std::vector<std::uint64_t> pairs;
        // Gridded records: each against the records of its own and the
        // cells around it, keeping the pairs where it is the first.
        const RectColumns columns = grid.columns();
        std::vector<std::uint8_t> hits;
        for (std::size_t c = 0; c < grid.cell_count(); ++c) {
            for (std::uint32_t a = around_start[c]; a <= around_start[c + 1]; ++a) {
                const std::size_t other = a == around_start[c + 1] ? c : around[a];
                const std::size_t begin = grid.cell_begin(other), end = grid.cell_end(other);
                hits.resize(end - begin);
                for (std::size_t p = grid.cell_begin(c); p < grid.cell_end(c); ++p) {
                    const std::uint32_t i = grid.record_at(p);
                    overlap_row(grid.rect_at(p), columns, begin, end, hits.data());
                    for (std::size_t q = begin; q < end; ++q) {
                        const std::uint32_t j = grid.record_at(q);
                        if (j > i && hits[q - begin]) pairs.push_back(pair_code(i, j));
                    }
                }
            }
            check_now(work, grid.cell_end(c) - grid.cell_begin(c), check_interrupt);
        }
        // Unbounded records: against every other visible record. The test
        // is symmetric to the bit, so one row with the unbounded record
        // first decides the pairs on both sides of it.
        hits.resize(visible.size());
        for (std::uint32_t e : exhaustive) {
            overlap_row(rect_of(records[e]), visible_columns, 0, visible.size(), hits.data());
            for (std::size_t s = 0; s < visible.size(); ++s) {
                const std::uint32_t j = visible[s];
                if (j == e || !hits[s]) continue;
                pairs.push_back(j > e ? pair_code(e, j) : pair_code(j, e));
            }
            check_now(work, visible.size() / 64 + 1, check_interrupt);
        }
        // Two unbounded records find their pair twice.
        std::sort(pairs.begin(), pairs.end());
        pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
        for (const std::uint64_t pair : pairs) resolve(records[pair >> 32], records[pair & 0xffffffffu]);
        return;
    }

    // Crowded cells: a batch of rows at a time.
    OverlapBatch batch(records, {RectSet{grid.columns(), grid.slot_records()},
                                 RectSet{exhaustive_columns, exhaustive.data()},
                                 RectSet{visible_columns, visible.data()}});
    // Row of visible record i: the records after it that it may overlap.
    // Gridded: the rest of its cell, the later records of the cells around
    // it and the later unbounded records. Unbounded: every later visible
    // record. Each pair is tested once, with its first record first; the
    // test is symmetric to the bit, so that decides it whichever record
    // keeps it from the grid.
    std::vector<CandidateRange> ranges;
    const auto row_of = [&](std::size_t v) {
        const std::uint32_t i = visible[v];
        ranges.clear();
        const std::uint32_t slot = grid.slot_of(i);
        if (slot == CellGrid::kNoSlot) {
            ranges.push_back({2, static_cast<std::uint32_t>(v + 1),
                              static_cast<std::uint32_t>(visible.size())});
            return rect_of(records[i]);
        }
        const std::uint32_t cell = grid.cell_of_slot(slot);
        ranges.push_back({0, slot + 1, static_cast<std::uint32_t>(grid.cell_end(cell))});
        const std::uint32_t* slots = grid.slot_records();
        for (std::uint32_t a = around_start[cell]; a < around_start[cell + 1]; ++a) {
            const std::uint32_t* b = slots + grid.cell_begin(around[a]);
            const std::uint32_t* e = slots + grid.cell_end(around[a]);
            ranges.push_back({0, static_cast<std::uint32_t>(std::upper_bound(b, e, i) - slots),
                              static_cast<std::uint32_t>(e - slots)});
        }
        const auto later = std::upper_bound(exhaustive.begin(), exhaustive.end(), i);
        ranges.push_back({1, static_cast<std::uint32_t>(later - exhaustive.begin()),
                          static_cast<std::uint32_t>(exhaustive.size())});
        return grid.rect_at(slot);
    };

    std::size_t next = 0;
    while (next < visible.size()) {
        batch.clear();
        for (; next < visible.size(); ++next) {
            const std::uint32_t i = visible[next];
            if (records[i].hidden) continue;
            const Rect rect = row_of(next);
            if (!batch.add_row(i, rect, ranges)) break;
        }
        if (batch.empty()) break;
        batch.find_overlaps();
        if (check_interrupt) check_interrupt();

        for (std::size_t row = 0; row < batch.row_count(); ++row) {
            SolverRecord& a = records[batch.row_first(row)];
            const std::uint32_t* hits;
            std::size_t hit_count;
            batch.row_hits(row, &hits, &hit_count);
            for (std::size_t h = 0; h < hit_count && !a.hidden; ++h) resolve(a, records[hits[h]]);
        }
    }
}

}  // namespace glyphway::solver
