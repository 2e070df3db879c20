#pragma once
// Planar Boolean operations on glyph shapes, done by GEOS so that results
// match what Shapely (which wraps the same library) gives for the same input.
#include <memory>
#include <stdexcept>
#include <string>
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
    // The same area as a valid geometry: a ring that crosses itself keeps
    // every lobe it encloses.
    Shape make_valid() const;
    bool is_empty() const;
    double area() const;

    // Polygons of a Polygon or MultiPolygon, coordinates as GEOS lists them;
    // any other geometry type gives an empty list.
    PlanarShape polygons() const;

private:
    friend Shape fill_nonzero(const std::vector<Ring>& rings);
    explicit Shape(void* geometry);
    void* geometry_ = nullptr;  // GEOSGeometry*, owned
};

// Folds closed rings into one shape by repeated symmetric difference,
// starting from the empty polygon: counters become holes whatever their
// winding, and rings that overlap cancel where they overlap.
Shape fold_rings(const std::vector<Ring>& rings);

// The area the rings enclose under the nonzero winding rule, the rule
// TrueType and CFF outlines are drawn with: where contours of the same
// direction overlap (or nest) the area is filled once, a counter of the
// opposite direction cuts a hole, and a contour that crosses itself fills
// each of its loops. Works on rings that are not valid polygons, which
// fold_rings cannot take.
Shape fill_nonzero(const std::vector<Ring>& rings);

// fold_rings over rings repaired one by one (make_valid), with every
// intermediate result repaired again before the next step.
Shape fold_repaired_rings(const std::vector<Ring>& rings);

// The shape of one glyph's rings. fold_rings when it succeeds, so every
// glyph it can build keeps exactly that shape; when GEOS rejects the rings
// (a contour that crosses itself once flattened), fill_nonzero, then
// fold_repaired_rings. When neither can build it, or a coordinate is not
// finite, the shape is empty and `failure` says why; otherwise `failure`
// is left empty.
Shape glyph_shape(const std::vector<Ring>& rings, std::string& failure);

}  // namespace glyphway::text
