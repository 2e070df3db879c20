#include "engine/road_centre.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>
#include <cstdint>
#include <exception>

#include <omp.h>

#define GEOS_USE_ONLY_R_API
#include <geos_c.h>

namespace glyphway::engine {

namespace {

constexpr double kSmallestTile = 1.0 / 4096.0;  // degrees

struct GeosContext {
    GEOSContextHandle_t handle;
    std::string last_error;

    GeosContext() : handle(GEOS_init_r()) {
        GEOSContext_setErrorMessageHandler_r(handle, &GeosContext::on_error, this);
    }
    ~GeosContext() { GEOS_finish_r(handle); }
    GeosContext(const GeosContext&) = delete;
    GeosContext& operator=(const GeosContext&) = delete;

    static void on_error(const char* message, void* userdata) {
        static_cast<GeosContext*>(userdata)->last_error = message ? message : "unknown GEOS error";
    }
};

GeosContext& geos() {
    thread_local GeosContext context;
    return context;
}

struct GeometryDeleter {
    void operator()(GEOSGeometry* g) const { GEOSGeom_destroy_r(geos().handle, g); }
};
using OwnedGeometry = std::unique_ptr<GEOSGeometry, GeometryDeleter>;

GEOSGeometry* checked(GEOSGeometry* geometry, const char* what) {
    if (geometry == nullptr) {
        throw std::runtime_error(std::string("the roads' centre: ") + what +
                                 " failed: " + geos().last_error);
    }
    return geometry;
}

TileBox line_bounds(const DegreeLine& line) {
    TileBox b{INFINITY, INFINITY, -INFINITY, -INFINITY};
    for (std::size_t i = 0; i < line.count; ++i) {
        const double x = line.x[i * line.stride];
        const double y = line.y[i * line.stride];
        b.x0 = std::min(b.x0, x);
        b.y0 = std::min(b.y0, y);
        b.x1 = std::max(b.x1, x);
        b.y1 = std::max(b.y1, y);
    }
    return b;
}

bool meets(const TileBox& bounds, const TileBox& box, double reach) {
    return bounds.x0 - reach <= box.x1 && bounds.x1 + reach >= box.x0 &&
           bounds.y0 - reach <= box.y1 && bounds.y1 + reach >= box.y0;
}

bool inside(const TileBox& bounds, const TileBox& box) {
    return bounds.x0 >= box.x0 && bounds.x1 <= box.x1 && bounds.y0 >= box.y0 && bounds.y1 <= box.y1;
}

bool in_quadtree(double v) { return v >= -kQuadtreeHalf && v < kQuadtreeHalf; }

// The squared distance from (px, py) to the segment a-b (of length > 0).
double squared_distance(double px, double py, double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay;
    double t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy);
    t = std::clamp(t, 0.0, 1.0);
    const double ex = ax + t * dx - px, ey = ay + t * dy - py;
    return ex * ex + ey * ey;
}

// Whether a segment from vertex `j` of `line` to the next distinct vertex
// either way overlaps the segment a-b over a length: that vertex lies on the
// line through a-b (within the reach, widened by its distance from `j`)
// and the two spans along a-b share more than a rounding's length.
bool overlaps_from(const DegreeLine& line, std::size_t j, double ax, double ay, double bx,
                   double by) {
    const double vx = line.x[j * line.stride], vy = line.y[j * line.stride];
    const double dx = bx - ax, dy = by - ay;
    const double length2 = dx * dx + dy * dy;
    const double length = std::sqrt(length2);
    const double tv = ((vx - ax) * dx + (vy - ay) * dy) / length2;
    auto overlaps = [&](std::size_t k) {
        const double wx = line.x[k * line.stride], wy = line.y[k * line.stride];
        const double off = std::abs(dx * (wy - ay) - dy * (wx - ax)) / length;
        if (off > kOverlapReach * (1.0 + std::hypot(wx - vx, wy - vy) / length)) return false;
        const double tw = ((wx - ax) * dx + (wy - ay) * dy) / length2;
        return std::min(std::max(tv, tw), 1.0) - std::max(std::min(tv, tw), 0.0) > 1e-12;
    };
    auto same = [&](std::size_t k) {
        return line.x[k * line.stride] == vx && line.y[k * line.stride] == vy;
    };
    std::size_t k = j;
    while (k > 0 && same(k - 1)) --k;
    if (k > 0 && overlaps(k - 1)) return true;
    k = j;
    while (k + 1 < line.count && same(k + 1)) ++k;
    return k + 1 < line.count && overlaps(k + 1);
}

// The vertices of a tile's lines near its box, bucketed on a grid of cells.
struct VertexGrid {
    TileBox area;  // the box widened by the reach
    double cell = 1.0;
    std::size_t columns = 1, rows = 1;
    std::vector<std::uint32_t> first;  // cells + 1 entries into `points`
    struct Point {
        double x, y;
        std::size_t line;
        std::size_t vertex;
    };
    std::vector<Point> points;

    std::size_t column(double x) const {
        const double c = std::floor((x - area.x0) / cell);
        return static_cast<std::size_t>(std::clamp(c, 0.0, static_cast<double>(columns - 1)));
    }
    std::size_t row(double y) const {
        const double r = std::floor((y - area.y0) / cell);
        return static_cast<std::size_t>(std::clamp(r, 0.0, static_cast<double>(rows - 1)));
    }
};

VertexGrid vertex_grid(const std::vector<DegreeLine>& lines, const CentreTile& tile) {
    VertexGrid grid;
    const double r = kOverlapReach;
    grid.area = {tile.box.x0 - r, tile.box.y0 - r, tile.box.x1 + r, tile.box.y1 + r};
    std::vector<VertexGrid::Point> near;
    double extents = 0.0;  // of the segments, each its larger side
    std::size_t segments = 0;
    for (std::size_t id : tile.lines) {
        const DegreeLine& line = lines[id];
        for (std::size_t i = 0; i < line.count; ++i) {
            const double x = line.x[i * line.stride], y = line.y[i * line.stride];
            if (x >= grid.area.x0 && x <= grid.area.x1 && y >= grid.area.y0 && y <= grid.area.y1) {
                near.push_back({x, y, id, i});
                if (i + 1 < line.count) {
                    extents += std::max(std::abs(line.x[(i + 1) * line.stride] - x),
                                        std::abs(line.y[(i + 1) * line.stride] - y));
                    ++segments;
                }
            }
        }
    }
    // The grid spans the vertices found (the tile may be far larger than
    // its roads). A cell is a few segments wide, so a segment looks at one
    // or a few cells of some dozens of vertices, however the roads crowd
    // (finer cells cost more in cells visited than they save); at most two
    // cells to a vertex, and 4M in all.
    TileBox spread{INFINITY, INFINITY, -INFINITY, -INFINITY};
    for (const VertexGrid::Point& p : near) {
        spread = {std::min(spread.x0, p.x), std::min(spread.y0, p.y), std::max(spread.x1, p.x),
                  std::max(spread.y1, p.y)};
    }
    if (!near.empty()) grid.area = {spread.x0 - r, spread.y0 - r, spread.x1 + r, spread.y1 + r};
    const double width = grid.area.x1 - grid.area.x0, height = grid.area.y1 - grid.area.y0;
    const double typical = segments > 0 ? extents / static_cast<double>(segments) : 0.0;
    const double cells = std::min(4e6, 2.0 * static_cast<double>(near.size()) + 1.0);
    grid.cell = std::max({3.0 * typical, std::sqrt(width * height / cells), width / 4096.0,
                          height / 4096.0});
    if (!(grid.cell > 0.0)) grid.cell = 1.0;
    grid.columns = static_cast<std::size_t>(std::clamp(std::ceil(width / grid.cell), 1.0, 4096.0));
    grid.rows = static_cast<std::size_t>(std::clamp(std::ceil(height / grid.cell), 1.0, 4096.0));
    grid.first.assign(grid.columns * grid.rows + 1, 0);
    std::vector<std::size_t> cell_of(near.size());
    for (std::size_t k = 0; k < near.size(); ++k) {
        cell_of[k] = grid.row(near[k].y) * grid.columns + grid.column(near[k].x);
        ++grid.first[cell_of[k] + 1];
    }
    for (std::size_t c = 0; c + 1 < grid.first.size(); ++c) grid.first[c + 1] += grid.first[c];
    grid.points.resize(near.size());
    std::vector<std::size_t> next(grid.first.begin(), grid.first.end() - 1);
    for (std::size_t k = 0; k < near.size(); ++k) grid.points[next[cell_of[k]]++] = near[k];
    return grid;
}

// A line's piece of a tile's union as GEOS gives it: a LineString, or a
// collection of them (points, which clipping may leave, have no length).
void add_pieces(GEOSContextHandle_t h, const GEOSGeometry* g, const TileBox& box,
                SegmentSums& sums) {
    const int type = GEOSGeomTypeId_r(h, g);
    if (type == GEOS_LINESTRING || type == GEOS_LINEARRING) {
        const GEOSCoordSequence* seq = GEOSGeom_getCoordSeq_r(h, g);
        unsigned int size = 0;
        if (seq == nullptr || !GEOSCoordSeq_getSize_r(h, seq, &size) || size < 2) return;
        double ax = 0.0, ay = 0.0;
        GEOSCoordSeq_getXY_r(h, seq, 0, &ax, &ay);
        for (unsigned int i = 1; i < size; ++i) {
            double bx = 0.0, by = 0.0;
            GEOSCoordSeq_getXY_r(h, seq, i, &bx, &by);
            // On the east or north edge: the neighbour's union holds it too,
            // and that one counts it (on its west or south edge).
            const bool on_east = ax >= box.x1 && bx >= box.x1;
            const bool on_north = ay >= box.y1 && by >= box.y1;
            if (!on_east && !on_north) sums.add(ax, ay, bx, by);
            ax = bx;
            ay = by;
        }
        return;
    }
    if (type == GEOS_MULTILINESTRING || type == GEOS_GEOMETRYCOLLECTION) {
        const int parts = GEOSGetNumGeometries_r(h, g);
        for (int i = 0; i < parts; ++i) add_pieces(h, GEOSGetGeometryN_r(h, g, i), box, sums);
    }
}

GEOSGeometry* line_geometry(GEOSContextHandle_t h, const DegreeLine& line) {
    GEOSCoordSequence* seq = GEOSCoordSeq_create_r(h, static_cast<unsigned int>(line.count), 2);
    if (seq == nullptr) checked(nullptr, "a coordinate sequence");
    for (std::size_t i = 0; i < line.count; ++i) {
        GEOSCoordSeq_setXY_r(h, seq, static_cast<unsigned int>(i), line.x[i * line.stride],
                             line.y[i * line.stride]);
    }
    return checked(GEOSGeom_createLineString_r(h, seq), "a line");
}

// Runs `work(tile, result)` for every tile, a few tiles at a time spread
// over the threads, then `take(result)` in tile order on this thread, with
// `check` between the batches (never inside the parallel region). The first
// error a tile throws is thrown here once its batch is done.
template <typename Result, typename Work, typename Take>
void in_tile_batches(std::size_t tiles, const InterruptCallback& check, Work work, Take take) {
    const std::size_t batch = 4 * static_cast<std::size_t>(std::max(1, omp_get_max_threads()));
    std::vector<Result> results(batch);
    std::vector<std::exception_ptr> errors(batch);
    for (std::size_t first = 0; first < tiles; first += batch) {
        if (check) check();
        const std::size_t count = std::min(batch, tiles - first);
        std::fill(errors.begin(), errors.end(), nullptr);
#pragma omp parallel for schedule(dynamic, 1)
        for (std::size_t k = 0; k < count; ++k) {
            try {
                results[k] = Result{};
                work(first + k, results[k]);
            } catch (...) {
                errors[k] = std::current_exception();
            }
        }
        for (std::size_t k = 0; k < count; ++k) {
            if (errors[k]) std::rethrow_exception(errors[k]);
            take(results[k]);
        }
    }
}

}  // namespace

void SegmentSums::add(double ax, double ay, double bx, double by) {
    // GEOS's centroid: each segment's length times its midpoint.
    const double dx = bx - ax, dy = by - ay;
    const double segment = std::sqrt(dx * dx + dy * dy);
    if (segment == 0.0) return;
    length += segment;
    x += segment * ((ax + bx) / 2);
    y += segment * ((ay + by) / 2);
}

std::vector<CentreTile> centre_tiles(const std::vector<DegreeLine>& lines,
                                     const std::vector<std::size_t>& which, std::size_t tile_lines,
                                     const InterruptCallback& check) {
    std::vector<TileBox> bounds(lines.size());
    for (std::size_t id : which) bounds[id] = line_bounds(lines[id]);
    std::vector<CentreTile> leaves;
    std::vector<CentreTile> pending;
    pending.push_back({{-kQuadtreeHalf, -kQuadtreeHalf, kQuadtreeHalf, kQuadtreeHalf}, which});
    while (!pending.empty()) {
        CentreTile tile = std::move(pending.back());
        pending.pop_back();
        if (check) check();
        const TileBox& b = tile.box;
        if (tile.lines.size() <= std::max<std::size_t>(tile_lines, 1) || b.x1 - b.x0 <= kSmallestTile) {
            leaves.push_back(std::move(tile));
            continue;
        }
        const double xm = (b.x0 + b.x1) / 2, ym = (b.y0 + b.y1) / 2;
        std::array<CentreTile, 4> parts{CentreTile{{b.x0, b.y0, xm, ym}, {}},
                                        CentreTile{{xm, b.y0, b.x1, ym}, {}},
                                        CentreTile{{b.x0, ym, xm, b.y1}, {}},
                                        CentreTile{{xm, ym, b.x1, b.y1}, {}}};
        std::size_t held = 0, most = 0;
        for (CentreTile& part : parts) {
            for (std::size_t id : tile.lines) {
                if (meets(bounds[id], part.box, kOverlapReach)) part.lines.push_back(id);
            }
            held += part.lines.size();
            most = std::max(most, part.lines.size());
        }
        // Lines that span the split would only be copied into the parts
        // (many of them, or all in one part and some beyond it): the tile
        // stays whole. All of them in one part is a step closer to them.
        const std::size_t count = tile.lines.size();
        if (2 * held > 3 * count || (most == count && held > count)) {
            leaves.push_back(std::move(tile));
            continue;
        }
        for (CentreTile& part : parts) {
            if (!part.lines.empty()) pending.push_back(std::move(part));
        }
    }
    return leaves;
}

std::vector<std::size_t> overlapping_lines(const std::vector<DegreeLine>& lines,
                                           const CentreTile& tile) {
    const VertexGrid grid = vertex_grid(lines, tile);
    const double reach = kOverlapReach;
    const double reach2 = reach * reach;
    std::vector<std::size_t> found;
    for (std::size_t id : tile.lines) {
        const DegreeLine& line = lines[id];
        auto x = [&](std::size_t k) { return line.x[k * line.stride]; };
        auto y = [&](std::size_t k) { return line.y[k * line.stride]; };
        bool marked = false;
        // Each segment between distinct vertices: from the last of a run of
        // equal vertices (which starts at a_first) to the next run.
        std::size_t a_first = 0, a = 0;
        while (a + 1 < line.count && x(a + 1) == x(a) && y(a + 1) == y(a)) ++a;
        while (a + 1 < line.count) {
            const std::size_t b = a + 1;
            std::size_t b_last = b;
            while (b_last + 1 < line.count && x(b_last + 1) == x(b) && y(b_last + 1) == y(b)) ++b_last;
            const double ax = x(a), ay = y(a), bx = x(b), by = y(b);
            const TileBox seg{std::min(ax, bx), std::min(ay, by), std::max(ax, bx), std::max(ay, by)};
            if (meets(seg, tile.box, reach)) {
                const std::size_t c0 = grid.column(seg.x0 - reach), c1 = grid.column(seg.x1 + reach);
                const std::size_t r0 = grid.row(seg.y0 - reach), r1 = grid.row(seg.y1 + reach);
                for (std::size_t r = r0; r <= r1; ++r) {
                    for (std::size_t c = c0; c <= c1; ++c) {
                        const std::size_t cell = r * grid.columns + c;
                        for (std::size_t k = grid.first[cell]; k < grid.first[cell + 1]; ++k) {
                            const VertexGrid::Point& p = grid.points[k];
                            // The segment's own end points (runs included).
                            if (p.line == id && p.vertex >= a_first && p.vertex <= b_last) continue;
                            if (p.x < seg.x0 - reach || p.x > seg.x1 + reach ||
                                p.y < seg.y0 - reach || p.y > seg.y1 + reach) {
                                continue;
                            }
                            if (squared_distance(p.x, p.y, ax, ay, bx, by) <= reach2 &&
                                overlaps_from(lines[p.line], p.vertex, ax, ay, bx, by)) {
                                found.push_back(p.line);
                                marked = true;
                            }
                        }
                    }
                }
            }
            a_first = b;
            a = b_last;
        }
        if (marked) found.push_back(id);
    }
    return found;
}

void add_tile_union(const std::vector<DegreeLine>& lines, const CentreTile& tile,
                    SegmentSums& sums) {
    if (tile.lines.empty()) return;
    GEOSContextHandle_t h = geos().handle;
    const TileBox& b = tile.box;
    OwnedGeometry box(checked(GEOSGeom_createRectangle_r(h, b.x0, b.y0, b.x1, b.y1), "a tile"));
    std::vector<GEOSGeometry*> pieces;
    pieces.reserve(tile.lines.size());
    try {
        for (std::size_t id : tile.lines) {
            OwnedGeometry line(line_geometry(h, lines[id]));
            if (inside(line_bounds(lines[id]), b)) {
                pieces.push_back(line.release());
            } else {
                pieces.push_back(checked(GEOSIntersection_r(h, line.get(), box.get()), "clipping"));
            }
        }
    } catch (...) {
        for (GEOSGeometry* g : pieces) GEOSGeom_destroy_r(h, g);
        throw;
    }
    OwnedGeometry all(GEOSGeom_createCollection_r(h, GEOS_GEOMETRYCOLLECTION, pieces.data(),
                                                  static_cast<unsigned int>(pieces.size())));
    if (!all) {
        for (GEOSGeometry* g : pieces) GEOSGeom_destroy_r(h, g);
        checked(nullptr, "a collection");
    }
    OwnedGeometry united(checked(GEOSUnaryUnion_r(h, all.get()), "the union"));
    add_pieces(h, united.get(), b, sums);
}

bool tiled_centre_applies(const std::vector<DegreeLine>& lines) {
    bool some_length = false;
    for (const DegreeLine& line : lines) {
        for (std::size_t i = 0; i < line.count; ++i) {
            const double x = line.x[i * line.stride], y = line.y[i * line.stride];
            if (!in_quadtree(x) || !in_quadtree(y)) return false;
            if (i > 0 && !some_length) {
                some_length = x != line.x[(i - 1) * line.stride] || y != line.y[(i - 1) * line.stride];
            }
        }
    }
    return some_length;
}

std::optional<CentrePoint> union_centre(const std::vector<DegreeLine>& lines,
                                        const InterruptCallback& check, std::size_t tile_lines) {
    if (!tiled_centre_applies(lines)) return std::nullopt;
    PeriodicCheck periodic(check, 1 << 20);
    std::vector<std::size_t> which;
    for (std::size_t id = 0; id < lines.size(); ++id) {
        if (lines[id].count > 0) which.push_back(id);
    }
    const std::vector<CentreTile> tiles = centre_tiles(lines, which, tile_lines, check);
    std::vector<char> may_overlap(lines.size(), 0);
    in_tile_batches<std::vector<std::size_t>>(tiles.size(), check, [&](std::size_t t, std::vector<std::size_t>& found) {
        found = overlapping_lines(lines, tiles[t]);
    }, [&](std::vector<std::size_t>& found) {
        for (std::size_t id : found) may_overlap[id] = 1;
    });
    SegmentSums sums;
    std::vector<std::size_t> overlapping;
    for (std::size_t id : which) {
        if (may_overlap[id]) {
            overlapping.push_back(id);
            continue;
        }
        const DegreeLine& line = lines[id];
        for (std::size_t i = 0; i + 1 < line.count; ++i) {
            sums.add(line.x[i * line.stride], line.y[i * line.stride],
                     line.x[(i + 1) * line.stride], line.y[(i + 1) * line.stride]);
        }
        periodic.tick(line.count + 1);
    }
    const std::vector<CentreTile> united = centre_tiles(lines, overlapping, tile_lines, check);
    in_tile_batches<SegmentSums>(united.size(), check, [&](std::size_t t, SegmentSums& tile_sums) {
        add_tile_union(lines, united[t], tile_sums);
    }, [&](const SegmentSums& tile_sums) {
        // Tile by tile in order, whatever thread did the work.
        sums.length += tile_sums.length;
        sums.x += tile_sums.x;
        sums.y += tile_sums.y;
    });
    if (!(sums.length > 0.0)) return std::nullopt;
    return CentrePoint{sums.x / sums.length, sums.y / sums.length};
}

}  // namespace glyphway::engine
