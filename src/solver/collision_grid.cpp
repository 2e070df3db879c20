#include "solver/collision_grid.hpp"

#include <algorithm>

namespace glyphway::solver {

CellGrid::CellGrid(std::vector<CellEntry> entries, const std::vector<SolverRecord>& records) {
    // Sorting by (key, record) groups the cells and keeps record order in
    // each; which cell comes first does not matter to any caller.
    std::sort(entries.begin(), entries.end(), [](const CellEntry& a, const CellEntry& b) {
        return a.key != b.key ? a.key < b.key : a.record < b.record;
    });
    const std::size_t n = entries.size();
    keys_.resize(n);
    records_.resize(n);
    cx_.resize(n);
    cy_.resize(n);
    dx_.resize(n);
    dy_.resize(n);
    length_.resize(n);
    height_.resize(n);
    starts_.reserve(n / 2 + 2);
    slot_of_.assign(records.size(), kNoSlot);
    cell_of_slot_.resize(n);
    for (std::size_t s = 0; s < n; ++s) {
        const CellEntry& e = entries[s];
        if (s == 0 || e.key != entries[s - 1].key) starts_.push_back(static_cast<std::uint32_t>(s));
        slot_of_[e.record] = static_cast<std::uint32_t>(s);
        cell_of_slot_[s] = static_cast<std::uint32_t>(starts_.size() - 1);
        keys_[s] = e.key;
        records_[s] = e.record;
        const SolverRecord& r = records[e.record];
        cx_[s] = r.cx;
        cy_[s] = r.cy;
        dx_[s] = r.dx;
        dy_[s] = r.dy;
        length_[s] = r.length;
        height_[s] = r.height;
    }
    starts_.push_back(static_cast<std::uint32_t>(n));
    cell_end_of_.assign(records.size(), 0);
    for (std::size_t s = 0; s < n; ++s) cell_end_of_[records_[s]] = starts_[cell_of_slot_[s] + 1];
}

}  // namespace glyphway::solver
