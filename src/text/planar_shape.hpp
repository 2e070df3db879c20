#pragma once
// Plain planar geometry shared by the text subsystem: rings, polygons with
// holes, and shapes made of several polygons.
#include <vector>

namespace glyphway::text {

struct Point2 {
    double x;
    double y;
};

inline bool operator==(const Point2& a, const Point2& b) { return a.x == b.x && a.y == b.y; }
inline bool operator!=(const Point2& a, const Point2& b) { return !(a == b); }

// A ring lists its points in order; closed rings repeat the first point last.
using Ring = std::vector<Point2>;

struct Polygon {
    Ring exterior;
    std::vector<Ring> holes;
};

// A single polygon is one entry; a multi-polygon lists its members in order.
using PlanarShape = std::vector<Polygon>;

// Axis-aligned bounds; `empty` when nothing was measured.
struct Extents {
    double x0 = 0.0;
    double y0 = 0.0;
    double x1 = 0.0;
    double y1 = 0.0;
    bool empty = true;
    double width() const { return x1 - x0; }
    double height() const { return y1 - y0; }
};

}  // namespace glyphway::text
