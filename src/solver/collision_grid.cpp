#include "solver/collision_grid.hpp"

#include <algorithm>
#include <exception>

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

std::uint64_t pairs_sharing_cells(const CellGrid& grid) {
    std::uint64_t pairs = 0;
    for (std::size_t c = 0; c < grid.cell_count(); ++c) {
        const std::uint64_t size = grid.cell_end(c) - grid.cell_begin(c);
        pairs += size * (size - 1) / 2;
    }
    return pairs;
}

std::vector<RecordPair> overlapping_pairs_in_cells(const CellGrid& grid) {
    // Only cells with two or more records can hold a pair.
    std::vector<std::uint32_t> busy;
    for (std::size_t c = 0; c < grid.cell_count(); ++c) {
        if (grid.cell_end(c) - grid.cell_begin(c) > 1) busy.push_back(static_cast<std::uint32_t>(c));
    }
    const long cells = static_cast<long>(busy.size());
    const RectColumns columns = grid.columns();

    std::vector<RecordPair> pairs;
    std::exception_ptr failure;
#pragma omp parallel
    {
        std::vector<RecordPair> local;
        std::vector<std::uint8_t> hits;
        bool failed = false;
        std::exception_ptr error;
#pragma omp for schedule(nonmonotonic : dynamic, 1)
        for (long b = 0; b < cells; ++b) {
            // An exception may not leave a worksharing loop: keep the first
            // one and skip the remaining cells.
            if (failed) continue;
            try {
                const std::size_t c = busy[static_cast<std::size_t>(b)];
                const std::size_t begin = grid.cell_begin(c), end = grid.cell_end(c);
                hits.resize(end - begin);
                for (std::size_t p = begin; p + 1 < end; ++p) {
                    overlap_row(grid.rect_at(p), columns, p + 1, end, hits.data());
                    for (std::size_t q = p + 1; q < end; ++q) {
                        if (hits[q - p - 1]) local.push_back({grid.record_at(p), grid.record_at(q)});
                    }
                }
            } catch (...) {
                failed = true;
                error = std::current_exception();
            }
        }
#pragma omp critical
        {
            if (error && !failure) failure = error;
            try {
                pairs.insert(pairs.end(), local.begin(), local.end());
            } catch (...) {
                if (!failure) failure = std::current_exception();
            }
        }
    }
    if (failure) std::rethrow_exception(failure);
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}

}  // namespace glyphway::solver
