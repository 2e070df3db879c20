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

}  // namespace detail

GlyphBoxGrid make_glyph_box_grid(double cell) {
    GlyphBoxGrid grid;
    grid.cell = cell > 0.0 && std::isfinite(cell) ? cell : 1.0;
    return grid;
}

bool overlaps_any(const GlyphBoxGrid& grid, const GlyphBox& box) {
    const detail::CellRange r = detail::cells_of(grid, box);
    for (std::int32_t x = r.x0; x <= r.x1; ++x) {
        for (std::int32_t y = r.y0; y <= r.y1; ++y) {
            const auto it = grid.cells.find(solver::cell_key(x, y));
            if (it == grid.cells.end()) continue;
            for (std::uint32_t i : it->second) {
                if (glyph_boxes_overlap(box, grid.boxes[i])) return true;
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
        for (std::int32_t y = r.y0; y <= r.y1; ++y) grid.cells[solver::cell_key(x, y)].push_back(index);
    }
}

}  // namespace glyphway::placement
