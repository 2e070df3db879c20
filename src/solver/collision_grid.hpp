#pragma once
// A uniform grid over solver records: records grouped by cell key, each
// cell's records in record order, with their rectangles copied out column by
// column in the same order for the row overlap test.
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
    std::vector<float> cx_, cy_, dx_, dy_, length_, height_;
};

struct RecordPair {
    std::uint32_t first;
    std::uint32_t second;
    friend bool operator<(const RecordPair& a, const RecordPair& b) {
        return a.first != b.first ? a.first < b.first : a.second < b.second;
    }
    friend bool operator==(const RecordPair& a, const RecordPair& b) {
        return a.first == b.first && a.second == b.second;
    }
};

// Every overlapping pair of records sharing a cell, first < second (the
// first taken as the test's first rectangle), sorted ascending. The cells
// are shared out over an OpenMP thread team; sorting makes the list the same
// for every team size and schedule.
std::vector<RecordPair> overlapping_pairs_in_cells(const CellGrid& grid);

}  // namespace glyphway::solver
