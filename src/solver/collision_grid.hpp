#pragma once
// A uniform grid over solver records: records grouped by cell key, each
// cell's records in record order, with their rectangles copied out column by
// column in the same order for the row overlap test. The copies keep the
// rectangles as they were when the grid was built, while records move.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "solver/rectangle_overlap.hpp"
#include "solver/solver_record.hpp"

namespace glyphway::solver {

struct CellEntry {
    std::uint64_t key;
    std::uint32_t record;
};

class CellGrid {
public:
    // Groups `entries` (any order; each record at most once) by key.
    CellGrid(std::vector<CellEntry> entries, const std::vector<SolverRecord>& records);

    std::size_t cell_count() const { return starts_.size() - 1; }
    std::size_t cell_begin(std::size_t cell) const { return starts_[cell]; }
    std::size_t cell_end(std::size_t cell) const { return starts_[cell + 1]; }
    std::uint64_t cell_key_at(std::size_t cell) const { return keys_[starts_[cell]]; }

    // Slot s (in cell order) holds record record_at(s) and its rectangle.
    std::uint32_t record_at(std::size_t slot) const { return records_[slot]; }
    const std::uint32_t* slot_records() const { return records_.data(); }
    // The slot of a record, kNoSlot for records not in the grid.
    static constexpr std::uint32_t kNoSlot = 0xffffffffu;
    std::uint32_t slot_of(std::uint32_t record) const { return slot_of_[record]; }
    std::uint32_t cell_of_slot(std::size_t slot) const { return cell_of_slot_[slot]; }
    // The end of the cell holding a record in the grid, read in record
    // order without touching the cell.
    std::uint32_t cell_end_of(std::uint32_t record) const { return cell_end_of_[record]; }
    Rect rect_at(std::size_t slot) const {
        return {cx_[slot], cy_[slot], dx_[slot], dy_[slot], length_[slot], height_[slot]};
    }
    RectColumns columns() const {
        return {cx_.data(), cy_.data(), dx_.data(), dy_.data(), length_.data(), height_.data()};
    }

private:
    std::vector<std::uint64_t> keys_;     // per slot
    std::vector<std::uint32_t> records_;  // per slot
    std::vector<std::uint32_t> starts_;   // cell c holds slots [starts_[c], starts_[c + 1])
    std::vector<std::uint32_t> slot_of_;       // per record
    std::vector<std::uint32_t> cell_end_of_;   // per record
    std::vector<std::uint32_t> cell_of_slot_;  // per slot
    std::vector<float> cx_, cy_, dx_, dy_, length_, height_;
};

struct RecordPair {
    std::uint32_t first;
    std::uint32_t second;
    friend bool operator<(const RecordPair& a, const RecordPair& b) {
        return a.first != b.first ? a.first < b.first : a.second < b.second;
    }
};

// How many pairs of records share a cell: what overlapping_pairs_in_cells
// tests, and the most it can list.
std::uint64_t pairs_sharing_cells(const CellGrid& grid);

// Every overlapping pair of records sharing a cell, first < second (the
// first taken as the test's first rectangle), sorted ascending. The cells
// are shared out over an OpenMP thread team; sorting makes the list the same
// for every team size and schedule. Its memory follows the pairs found, so
// it suits grids whose pairs_sharing_cells is bounded; crowded cells go
// through OverlapBatch instead.
std::vector<RecordPair> overlapping_pairs_in_cells(const CellGrid& grid);

}  // namespace glyphway::solver
