#include "text/triangulate_extrude.hpp"

#include <array>

#include <mapbox/earcut.hpp>

namespace glyphway::text {

std::vector<VertexIndex> triangulate_rings(const std::vector<Point2>& points,
                                           const std::vector<VertexIndex>& ring_ends) {
    using EarPoint = std::array<double, 2>;
    std::vector<std::vector<EarPoint>> rings;
    rings.reserve(ring_ends.size());
    VertexIndex start = 0;
    for (VertexIndex end : ring_ends) {
        std::vector<EarPoint> ring;
        ring.reserve(end - start);
        for (VertexIndex i = start; i < end; ++i) ring.push_back({points[i].x, points[i].y});
        rings.push_back(std::move(ring));
        start = end;
    }
    return mapbox::earcut<VertexIndex>(rings);
}

namespace {

// Appends one polygon's prism to `mesh`; returns false when it contributes
// nothing (too few exterior points, or no triangle from the triangulator).
bool extrude_polygon(const Polygon& polygon, double depth, Mesh& mesh) {
    if (polygon.exterior.size() < 3) return false;

    std::vector<Point2> points(polygon.exterior);
    std::vector<VertexIndex> ring_ends{static_cast<VertexIndex>(points.size())};
    for (const Ring& hole : polygon.holes) {
        // Holes too short to enclose anything are dropped entirely: they
        // are neither triangulated nor walled.
        if (hole.size() < 3) continue;
        points.insert(points.end(), hole.begin(), hole.end());
        ring_ends.push_back(static_cast<VertexIndex>(points.size()));
    }

    const std::vector<VertexIndex> triangles = triangulate_rings(points, ring_ends);
    if (triangles.size() < 3) return false;

    const auto offset = static_cast<VertexIndex>(mesh.vertex_count());
    const auto k = static_cast<VertexIndex>(points.size());

    mesh.vertices.reserve(mesh.vertices.size() + 6 * points.size());
    for (const Point2& p : points) mesh.vertices.insert(mesh.vertices.end(), {p.x, p.y, 0.0});
    for (const Point2& p : points) mesh.vertices.insert(mesh.vertices.end(), {p.x, p.y, depth});

    const std::size_t triangle_count = triangles.size() / 3;
    // Bottom cap faces down: the triangulator's corners reversed to (0, 2, 1).
    for (std::size_t t = 0; t < triangle_count; ++t) {
        mesh.faces.insert(mesh.faces.end(), {triangles[3 * t] + offset, triangles[3 * t + 2] + offset,
                                             triangles[3 * t + 1] + offset});
    }
    // Top cap keeps the triangulator's winding.
    for (std::size_t t = 0; t < 3 * triangle_count; ++t) mesh.faces.push_back(triangles[t] + offset + k);

    // Walls: each ring's closing point repeats its first, so the walls use the
    // ring without it and wrap the last edge back to the first point.
    VertexIndex ring_start = 0;
    for (VertexIndex ring_end : ring_ends) {
        const long ring_vertices = static_cast<long>(ring_end) - static_cast<long>(ring_start) - 1;
        if (ring_vertices >= 3) {
            const auto n = static_cast<VertexIndex>(ring_vertices);
            for (VertexIndex j = 0; j < n; ++j) {
                const VertexIndex next_j = (j + 1) % n;
                const VertexIndex v1 = offset + ring_start + j;
                const VertexIndex v2 = offset + ring_start + next_j;
                const VertexIndex v3 = v2 + k;
                const VertexIndex v4 = v1 + k;
                mesh.faces.insert(mesh.faces.end(), {v1, v3, v2, v1, v4, v3});
            }
        }
        ring_start = ring_end;
    }
    return true;
}

}  // namespace

Mesh triangulate_extrude(const PlanarShape& shape, double depth) {
    Mesh mesh;
    for (const Polygon& polygon : shape) extrude_polygon(polygon, depth, mesh);
    return mesh;
}

}  // namespace glyphway::text
