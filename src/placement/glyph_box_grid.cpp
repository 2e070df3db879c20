#include "placement/glyph_box_grid.hpp"

#include <cmath>

#include "solver/cell_key.hpp"

namespace glyphway::placement {

namespace detail {

struct CellRange {
    std::int32_t x0, y0, x1, y1;
};

CellRange cells_of(const GlyphBoxGrid& grid, const GlyphBox& b) {
    const double hx = 0.5 * (std::fabs(b.dx) * b.width + std::fabs(b.dy) * b.height);
    const double hy = 0.5 * (std::fabs(b.dy) * b.width + std::fabs(b.dx) * b.height);
    const double k = 1.0 / grid.cell;
    return {solver::cell_coordinate((b.cx - hx) * k), solver::cell_coordinate((b.cy - hy) * k),
            solver::cell_coordinate((b.cx + hx) * k), solver::cell_coordinate((b.cy + hy) * k)};
}

// splitmix64's finaliser: neighbouring cells land far apart in the table.
inline std::size_t slot_hash(std::uint64_t key) {
    key ^= key >> 30;
    key *= 0xbf58476d1ce4e5b9ull;
    key ^= key >> 27;
    key *= 0x94d049bb133111ebull;
    key ^= key >> 31;
    return static_cast<std::size_t>(key);
}

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
    if (grid.used_slots == 0) return false;
    const detail::CellRange r = detail::cells_of(grid, box);
    for (std::int32_t x = r.x0; x <= r.x1; ++x) {
        for (std::int32_t y = r.y0; y <= r.y1; ++y) {
            const std::size_t slot = detail::find_slot(grid, solver::cell_key(x, y));
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
    for (std::int32_t x = r.x0; x <= r.x1; ++x) {
        for (std::int32_t y = r.y0; y <= r.y1; ++y) {
            const std::uint64_t key = solver::cell_key(x, y);
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
