#include "placement/glyph_box_grid.hpp"

#include <algorithm>
#include <cmath>

#include "placement/keyed_cell.hpp"

namespace glyphway::placement {

namespace detail {

// Cells are counted in 64 bits. At font size 0.001 a UTM northing of 4,400
// km is 2.2e9 cells of two font sizes, past the 32-bit range: a box's cells,
// clamped there, ended at INT32_MAX and the loop over them wrapped round and
// filled memory with entries. The clamp at 2^61 leaves room to step past
// the last cell and to take the span of a range; coordinates that far out (font sizes far below the data's
// precision) share the edge cells, which costs tests, never answers.
struct CellRange {
    std::int64_t x0, y0, x1, y1;
};

constexpr double kCellLimit = 2305843009213693952.0;  // 2^61

std::int64_t cell_index(double v) {
    if (std::isnan(v)) return 0;
    return static_cast<std::int64_t>(std::clamp(std::floor(v), -kCellLimit, kCellLimit));
}

CellRange cells_of(const GlyphBoxGrid& grid, const GlyphBox& b) {
    const double hx = 0.5 * (std::fabs(b.dx) * b.width + std::fabs(b.dy) * b.height);
    const double hy = 0.5 * (std::fabs(b.dy) * b.width + std::fabs(b.dx) * b.height);
    const double k = 1.0 / grid.cell;
    return {cell_index((b.cx - hx) * k), cell_index((b.cy - hy) * k), cell_index((b.cx + hx) * k),
            cell_index((b.cy + hy) * k)};
}

// A box over more than this many cells along an axis (a letter spacing far
// above the font size) stays out of the cells, so that its insertion walks
// no more than that; it is tested against every query instead.
constexpr std::int64_t kMaxCellsAcross = 64;

bool spans_many_cells(const CellRange& r) {
    return r.x1 - r.x0 >= kMaxCellsAcross || r.y1 - r.y0 >= kMaxCellsAcross;
}

// One key per cell; two cells sharing a key only share a chain of entries,
// every one of which is still tested exactly.
inline std::uint64_t cell_key(std::int64_t x, std::int64_t y) {
    return static_cast<std::uint64_t>(x) * 0x9e3779b97f4a7c15ull ^ static_cast<std::uint64_t>(y);
}

inline std::size_t slot_hash(std::uint64_t key) { return static_cast<std::size_t>(finish_hash(key)); }

// The slot of `key`: its own, or the empty one where it would go.
std::size_t find_slot(const GlyphBoxGrid& grid, std::uint64_t key) {
    const std::size_t mask = grid.slot_keys.size() - 1;
    std::size_t i = slot_hash(key) & mask;
    while (grid.slot_heads[i] != GlyphBoxGrid::kEnd && grid.slot_keys[i] != key) i = (i + 1) & mask;
    return i;
}

void grow(GlyphBoxGrid& grid) {
    std::vector<std::uint64_t> keys(grid.slot_keys.size() * 2);
    std::vector<std::uint32_t> heads(keys.size(), GlyphBoxGrid::kEnd);
    keys.swap(grid.slot_keys);
    heads.swap(grid.slot_heads);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (heads[i] == GlyphBoxGrid::kEnd) continue;
        const std::size_t j = find_slot(grid, keys[i]);
        grid.slot_keys[j] = keys[i];
        grid.slot_heads[j] = heads[i];
    }
}

}  // namespace detail

GlyphBoxGrid make_glyph_box_grid(double cell) {
    GlyphBoxGrid grid;
    grid.cell = cell > 0.0 && std::isfinite(cell) ? cell : 1.0;
    grid.slot_keys.assign(1024, 0);
    grid.slot_heads.assign(1024, GlyphBoxGrid::kEnd);
    return grid;
}

bool overlaps_any(const GlyphBoxGrid& grid, const GlyphBox& box) {
    if (grid.boxes.empty()) return false;
    for (std::uint32_t wide : grid.wide_boxes) {
        if (glyph_boxes_overlap(box, grid.boxes[wide])) return true;
    }
    const detail::CellRange r = detail::cells_of(grid, box);
    if (detail::spans_many_cells(r)) {
        for (const GlyphBox& other : grid.boxes) {
            if (glyph_boxes_overlap(box, other)) return true;
        }
        return false;
    }
    for (std::int64_t x = r.x0; x <= r.x1; ++x) {
        for (std::int64_t y = r.y0; y <= r.y1; ++y) {
            const std::size_t slot = detail::find_slot(grid, detail::cell_key(x, y));
            for (std::uint32_t e = grid.slot_heads[slot]; e != GlyphBoxGrid::kEnd;
                 e = grid.entries[e].next) {
                if (glyph_boxes_overlap(box, grid.boxes[grid.entries[e].box])) return true;
            }
        }
    }
    return false;
}

void insert_box(GlyphBoxGrid& grid, const GlyphBox& box) {
    const auto index = static_cast<std::uint32_t>(grid.boxes.size());
    grid.boxes.push_back(box);
    const detail::CellRange r = detail::cells_of(grid, box);
    if (detail::spans_many_cells(r)) {
        grid.wide_boxes.push_back(index);
        return;
    }
    for (std::int64_t x = r.x0; x <= r.x1; ++x) {
        for (std::int64_t y = r.y0; y <= r.y1; ++y) {
            const std::uint64_t key = detail::cell_key(x, y);
            std::size_t slot = detail::find_slot(grid, key);
            if (grid.slot_heads[slot] == GlyphBoxGrid::kEnd) {
                // At most half full, so probes stay short.
                if (2 * (grid.used_slots + 1) > grid.slot_keys.size()) {
                    detail::grow(grid);
                    slot = detail::find_slot(grid, key);
                }
                grid.slot_keys[slot] = key;
                ++grid.used_slots;
            }
            const auto entry = static_cast<std::uint32_t>(grid.entries.size());
            grid.entries.push_back({index, grid.slot_heads[slot]});
            grid.slot_heads[slot] = entry;
        }
    }
}

}  // namespace glyphway::placement
