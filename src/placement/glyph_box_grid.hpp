#pragma once
// The glyph boxes of accepted labels on a uniform grid, so that a new box is
// tested only against the boxes near it.
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "placement/glyph_run.hpp"

namespace glyphway::placement {

struct GlyphBoxGrid {
    double cell = 1.0;  // side of a grid cell, working units
    std::vector<GlyphBox> boxes;
    // Every cell the bounding box of a stored box touches, to the boxes.
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> cells;
};

// An empty grid of cells of side `cell` (a few glyph heights suits it).
GlyphBoxGrid make_glyph_box_grid(double cell);

// Whether `box` overlaps any box in the grid (touching counts).
bool overlaps_any(const GlyphBoxGrid& grid, const GlyphBox& box);

void insert_box(GlyphBoxGrid& grid, const GlyphBox& box);

}  // namespace glyphway::placement
