// The final pass: hide one label of every pair that still overlaps.
//
// The rule is defined by the plain double loop
//     for i ascending, visible:  for j > i, visible:
//         if overlap(i, j): hide i (and leave j's loop) when i has the
//         greater weight, or equal weight and the longer text; else hide j
// which is quadratic. A pair (i, j) only acts there when it overlaps and
// both are still visible when the loop reaches it, and the loop reaches the
// pairs in ascending (i, j) order. So it is enough to find every
// overlapping pair once, sort them, and replay them in that order with the
// same visibility checks: the result is the same to the last label.
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

    std::vector<std::uint64_t> pairs;

    // Gridded records: each against the records of its own and the eight
    // neighbouring cells, keeping the pairs where it is the first.
    {
        const CellGrid grid(std::move(entries), records);
        std::unordered_map<std::uint64_t, std::uint32_t> cell_of_key;
        cell_of_key.reserve(grid.cell_count() * 2);
        for (std::size_t c = 0; c < grid.cell_count(); ++c) {
            cell_of_key.emplace(grid.cell_key_at(c), static_cast<std::uint32_t>(c));
        }
        const RectColumns columns = grid.columns();
        std::vector<std::uint8_t> hits;
        for (std::size_t c = 0; c < grid.cell_count(); ++c) {
            const std::uint64_t key = grid.cell_key_at(c);
            const auto cx = static_cast<std::int32_t>(static_cast<std::uint32_t>(key >> 32));
            const auto cy = static_cast<std::int32_t>(static_cast<std::uint32_t>(key));
            for (std::int64_t ox = -1; ox <= 1; ++ox) {
                for (std::int64_t oy = -1; oy <= 1; ++oy) {
                    const std::int64_t nx = cx + ox, ny = cy + oy;
                    if (nx < INT32_MIN || nx > INT32_MAX || ny < INT32_MIN || ny > INT32_MAX) continue;
                    const auto found = cell_of_key.find(
                        cell_key(static_cast<std::int32_t>(nx), static_cast<std::int32_t>(ny)));
                    if (found == cell_of_key.end()) continue;
                    const std::size_t begin = grid.cell_begin(found->second);
                    const std::size_t end = grid.cell_end(found->second);
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
            }
            check_now(work, grid.cell_end(c) - grid.cell_begin(c), check_interrupt);
        }
    }

    // Unbounded records: against every other visible record. The test is
    // symmetric to the bit, so one row with the unbounded record first
    // decides the pairs on both sides of it.
    if (!exhaustive.empty()) {
        std::vector<float> cols[6];
        for (auto& col : cols) col.resize(visible.size());
        for (std::size_t s = 0; s < visible.size(); ++s) {
            const SolverRecord& r = records[visible[s]];
            cols[0][s] = r.cx;
            cols[1][s] = r.cy;
            cols[2][s] = r.dx;
            cols[3][s] = r.dy;
            cols[4][s] = r.length;
            cols[5][s] = r.height;
        }
        const RectColumns columns{cols[0].data(), cols[1].data(), cols[2].data(),
                                  cols[3].data(), cols[4].data(), cols[5].data()};
        std::vector<std::uint8_t> hits(visible.size());
        for (std::uint32_t e : exhaustive) {
            overlap_row(rect_of(records[e]), columns, 0, visible.size(), hits.data());
            for (std::size_t s = 0; s < visible.size(); ++s) {
                const std::uint32_t j = visible[s];
                if (j == e || !hits[s]) continue;
                pairs.push_back(j > e ? pair_code(e, j) : pair_code(j, e));
            }
            check_now(work, visible.size() / 64 + 1, check_interrupt);
        }
    }

    // Two unbounded records find their pair twice.
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());

    for (std::size_t p = 0; p < pairs.size(); ++p) {
        SolverRecord& a = records[pairs[p] >> 32];
        SolverRecord& b = records[pairs[p] & 0xffffffffu];
        if (a.hidden || b.hidden) continue;
        if (a.weight > b.weight || (a.weight == b.weight && a.text_len > b.text_len)) {
            a.hidden = 1;
        } else {
            b.hidden = 1;
        }
        check_now(work, 1, check_interrupt);
    }
}

}  // namespace glyphway::solver
