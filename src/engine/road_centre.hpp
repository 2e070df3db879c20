#pragma once
// The centre of a road network, around which its UTM zone is chosen: the
// centroid of the union of all its lines, in degrees, as GEOS's union and
// centroid give it, without the union of the whole network in memory.
//
// The centroid of a union of lines is the length-weighted mean of its
// segments' midpoints, so it is a sum, and sums split:
//  - a line whose segments overlap no other segment (its own included) over
//    a length adds its own segments, exactly as the union would hold them
//    (crossings only split segments, which changes no sum);
//  - the lines that may overlap are clipped to the tiles of a quadtree,
//    united tile by tile with GEOS, and each tile's union adds its segments.
//    A segment lying on the edge between two tiles is in both unions; it is
//    counted by the tile east (north) of the edge only.
// Which lines may overlap is decided without GEOS: two segments overlap over
// a length only when they are equal or an end point of one lies inside the
// other, so a line is sent to the union when a vertex (of any line) lies
// within kOverlapReach of one of its segments and a segment from that vertex
// runs along it. The reach is far wider than any rounding, so no overlap
// slips through; a line sent needlessly only costs time. The tiles are
// worked on in parallel, their sums added in tile order, so the result does
// not depend on the threads.
//
// The sums differ from the whole union's only in the last bits (other
// noding rounds the crossings otherwise); the zone does not.
#include <cstddef>
#include <optional>
#include <vector>

#include "engine/periodic_check.hpp"

namespace glyphway::engine {

// One line's vertices: x[i * stride], y[i * stride] for i < count.
struct DegreeLine {
    const double* x = nullptr;
    const double* y = nullptr;
    std::size_t count = 0;
    std::size_t stride = 1;
};

// A closed axis-aligned box, x0 <= x <= x1, y0 <= y <= y1.
struct TileBox {
    double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;
};

// Sums of a set of segments: their length and their length-weighted
// midpoints, summed as GEOS's centroid sums them.
struct SegmentSums {
    double length = 0.0;
    double x = 0.0;
    double y = 0.0;
    void add(double ax, double ay, double bx, double by);
};

struct CentrePoint {
    double longitude = 0.0;
    double latitude = 0.0;
};

// The quadtree covers [-kQuadtreeHalf, kQuadtreeHalf) degrees on both axes,
// its edges at multiples of powers of two, so every edge and every
// midpoint is exact.
constexpr double kQuadtreeHalf = 512.0;
constexpr double kOverlapReach = 1e-9;  // degrees, about 0.1 mm

// A leaf of the quadtree and the lines whose bounding box (widened by
// kOverlapReach) meets it.
struct CentreTile {
    TileBox box;
    std::vector<std::size_t> lines;
};

// The leaves over `lines`: a tile is split while it holds more than
// `tile_lines` lines, until its lines span the split (the parts would hold
// half as many again) or it is 2^-12 degrees wide. Every line must lie inside the quadtree.
std::vector<CentreTile> centre_tiles(const std::vector<DegreeLine>& lines,
                                     const std::vector<std::size_t>& which, std::size_t tile_lines,
                                     const InterruptCallback& check);

// The lines of `tile` (a line may come more than once) that may overlap
// another or themselves: a vertex within reach of a segment, other than its
// own end points, from which the vertex's line runs along that segment.
std::vector<std::size_t> overlapping_lines(const std::vector<DegreeLine>& lines,
                                           const CentreTile& tile);

// Adds the union of the lines of `tile` clipped to its box (GEOS), but not
// its segments lying on the box's east or north edge.
void add_tile_union(const std::vector<DegreeLine>& lines, const CentreTile& tile,
                    SegmentSums& sums);

// Whether union_centre can take the centre of `lines`: every coordinate
// inside the quadtree (so finite), and some segment of some length (else
// the union's centroid is a point's, or none).
bool tiled_centre_applies(const std::vector<DegreeLine>& lines);

// The centroid of the union of `lines`, or nothing where
// tiled_centre_applies says no. `check` runs between tiles.
std::optional<CentrePoint> union_centre(const std::vector<DegreeLine>& lines,
                                        const InterruptCallback& check,
                                        std::size_t tile_lines = 10000);

}  // namespace glyphway::engine
