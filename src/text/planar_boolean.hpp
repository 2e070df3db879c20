#pragma once
// Planar Boolean operations on glyph shapes, done by GEOS so that results
// match what Shapely (which wraps the same library) gives for the same input.
#include <memory>
#include <stdexcept>
#include <vector>

#include "text/planar_shape.hpp"

namespace glyphway::text {

// Raised when GEOS reports an error (for example a topology failure).
class GeometryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An immutable GEOS geometry. Only polygonal results are read back.
class Shape {
public:
    Shape();  // the empty polygon
    ~Shape();
    Shape(Shape&&) noexcept;
    Shape& operator=(Shape&&) noexcept;
    Shape(const Shape&) = delete;
    Shape& operator=(const Shape&) = delete;

    // Polygon(ring): the ring is closed if it is not already.
    static Shape from_ring(const Ring& ring);

    Shape symmetric_difference(const Shape& other) const;
    Shape union_with(const Shape& other) const;
    bool is_empty() const;

    // Polygons of a Polygon or MultiPolygon, coordinates as GEOS lists them;
    // any other geometry type gives an empty list.
    PlanarShape polygons() const;

private:
    explicit Shape(void* geometry);
    void* geometry_ = nullptr;  // GEOSGeometry*, owned
};

// Folds closed rings into one shape by repeated symmetric difference,
// starting from the empty polygon: counters become holes whatever their
// winding, and rings that overlap cancel where they overlap.
Shape fold_rings(const std::vector<Ring>& rings);

}  // namespace glyphway::text
