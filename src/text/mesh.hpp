#pragma once
// A triangle mesh in flat arrays, laid out exactly as it crosses to NumPy:
// vertices are rows of (x, y, z), faces rows of three 0-based vertex indices.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace glyphway::text {

using VertexIndex = std::uint32_t;

struct Mesh {
    std::vector<double> vertices;      // 3 per vertex
    std::vector<VertexIndex> faces;    // 3 per triangle

    std::size_t vertex_count() const { return vertices.size() / 3; }
    std::size_t face_count() const { return faces.size() / 3; }
    bool empty() const { return vertices.empty(); }
};

}  // namespace glyphway::text
