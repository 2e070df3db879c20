#pragma once
// The glyph boxes of accepted labels on a uniform grid, so that a new box is
// tested only against the boxes near it.
#include <cstdint>
#include <vector>

#include "placement/glyph_run.hpp"

namespace glyphway::placement {

struct GlyphBoxGrid {
    double cell = 1.0;  // side of a grid cell, working units
    std::vector<GlyphBox> boxes;

    // Every cell the bounding box of a stored box touches holds a chain of
    // entries, newest first. The cells are an open-addressing table and the
    // chains one shared list: a country's placement stores millions of
    // boxes, and a hash node plus a vector per cell spent most of its time
    // in the allocator.
    struct Entry {
        std::uint32_t box;
        std::uint32_t next;  // kEnd after the oldest
    };
    static constexpr std::uint32_t kEnd = 0xFFFFFFFFu;
    std::vector<std::uint64_t> slot_keys;
    std::vector<std::uint32_t> slot_heads;  // kEnd: an empty slot
    std::size_t used_slots = 0;
    std::vector<Entry> entries;
    // Boxes too wide for the cells, tested against every query.
    std::vector<std::uint32_t> wide_boxes;
};

// An empty grid of cells of side `cell` (a few glyph heights suits it).
GlyphBoxGrid make_glyph_box_grid(double cell);

// Whether `box` overlaps any box in the grid (touching counts).
bool overlaps_any(const GlyphBoxGrid& grid, const GlyphBox& box);

void insert_box(GlyphBoxGrid& grid, const GlyphBox& box);

}  // namespace glyphway::placement
