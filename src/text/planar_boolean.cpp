#include "text/planar_boolean.hpp"

#include <cmath>
#include <string>

#define GEOS_USE_ONLY_R_API
#include <geos_c.h>

namespace glyphway::text {

namespace {

// One GEOS context per thread: GEOS handles are not shared across threads,
// and the error handler keeps the last message for the exception text.
struct GeosContext {
    GEOSContextHandle_t handle;
    std::string last_error;

    GeosContext() : handle(GEOS_init_r()) {
        GEOSContext_setErrorMessageHandler_r(handle, &GeosContext::on_error, this);
    }
    ~GeosContext() { GEOS_finish_r(handle); }

    static void on_error(const char* message, void* userdata) {
        static_cast<GeosContext*>(userdata)->last_error = message ? message : "unknown GEOS error";
    }
};

GeosContext& context() {
    thread_local GeosContext ctx;
    return ctx;
}

GEOSGeometry* checked(GEOSGeometry* geometry, const char* what) {
    if (geometry == nullptr) {
        throw GeometryError(std::string(what) + " failed: " + context().last_error);
    }
    return geometry;
}

Ring read_ring(GEOSContextHandle_t h, const GEOSGeometry* ring) {
    Ring out;
    const GEOSCoordSequence* seq = GEOSGeom_getCoordSeq_r(h, ring);
    unsigned int size = 0;
    if (seq == nullptr || !GEOSCoordSeq_getSize_r(h, seq, &size)) return out;
    out.resize(size);
    for (unsigned int i = 0; i < size; ++i) GEOSCoordSeq_getXY_r(h, seq, i, &out[i].x, &out[i].y);
    return out;
}

void read_polygon(GEOSContextHandle_t h, const GEOSGeometry* polygon, PlanarShape& out) {
    if (GEOSisEmpty_r(h, polygon) == 1) return;
    Polygon result;
    result.exterior = read_ring(h, GEOSGetExteriorRing_r(h, polygon));
    const int holes = GEOSGetNumInteriorRings_r(h, polygon);
    for (int i = 0; i < holes; ++i) result.holes.push_back(read_ring(h, GEOSGetInteriorRingN_r(h, polygon, i)));
    out.push_back(std::move(result));
}

// A GEOS geometry owned for the length of one step.
struct GeometryDeleter {
    void operator()(GEOSGeometry* g) const { GEOSGeom_destroy_r(context().handle, g); }
};
using OwnedGeometry = std::unique_ptr<GEOSGeometry, GeometryDeleter>;

// A closed ring needs four coordinates to enclose an area; a contour of two
// points (A, B, A) is a degenerate stroke and draws nothing.
bool encloses_area(const Ring& ring) {
    if (ring.size() < 3) return false;
    const bool closed = ring.front() == ring.back();
    return ring.size() + (closed ? 0 : 1) >= 4;
}

// The ring's coordinates, closed if it is not already.
GEOSCoordSequence* closed_sequence(GEOSContextHandle_t h, const Ring& ring) {
    const bool closed = !ring.empty() && ring.front() == ring.back();
    const auto size = static_cast<unsigned int>(ring.size() + (closed ? 0 : 1));
    GEOSCoordSequence* seq = GEOSCoordSeq_create_r(h, size, 2);
    if (seq == nullptr) throw GeometryError("coordinate sequence failed: " + context().last_error);
    for (unsigned int i = 0; i < ring.size(); ++i) GEOSCoordSeq_setXY_r(h, seq, i, ring[i].x, ring[i].y);
    if (!closed && !ring.empty()) GEOSCoordSeq_setXY_r(h, seq, size - 1, ring.front().x, ring.front().y);
    return seq;
}

// How many times the ring winds around p, counter-clockwise positive
// (the crossing-number test with signs). The ring is taken as closed.
int winding_number(const Ring& ring, double px, double py) {
    int winding = 0;
    const std::size_t n = ring.size();
    for (std::size_t i = 0; i < n; ++i) {
        const Point2& a = ring[i];
        const Point2& b = ring[(i + 1) % n];
        const double side = (b.x - a.x) * (py - a.y) - (px - a.x) * (b.y - a.y);
        if (a.y <= py) {
            if (b.y > py && side > 0) ++winding;
        } else if (b.y <= py && side < 0) {
            --winding;
        }
    }
    return winding;
}

bool all_finite(const std::vector<Ring>& rings) {
    for (const Ring& ring : rings) {
        for (const Point2& p : ring) {
            if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
        }
    }
    return true;
}

}  // namespace

Shape::Shape() : geometry_(checked(GEOSGeom_createEmptyPolygon_r(context().handle), "empty polygon")) {}

Shape::Shape(void* geometry) : geometry_(geometry) {}

Shape::~Shape() {
    if (geometry_ != nullptr) GEOSGeom_destroy_r(context().handle, static_cast<GEOSGeometry*>(geometry_));
}

Shape::Shape(Shape&& other) noexcept : geometry_(other.geometry_) { other.geometry_ = nullptr; }

Shape& Shape::operator=(Shape&& other) noexcept {
    if (this != &other) {
        if (geometry_ != nullptr) GEOSGeom_destroy_r(context().handle, static_cast<GEOSGeometry*>(geometry_));
        geometry_ = other.geometry_;
        other.geometry_ = nullptr;
    }
    return *this;
}

Shape Shape::from_ring(const Ring& ring) {
    GEOSContextHandle_t h = context().handle;
    GEOSCoordSequence* seq = closed_sequence(h, ring);
    GEOSGeometry* shell = checked(GEOSGeom_createLinearRing_r(h, seq), "linear ring");
    return Shape(checked(GEOSGeom_createPolygon_r(h, shell, nullptr, 0), "polygon"));
}

Shape Shape::symmetric_difference(const Shape& other) const {
    GEOSContextHandle_t h = context().handle;
    return Shape(checked(GEOSSymDifference_r(h, static_cast<const GEOSGeometry*>(geometry_),
                                             static_cast<const GEOSGeometry*>(other.geometry_)),
                         "symmetric difference"));
}

Shape Shape::union_with(const Shape& other) const {
    GEOSContextHandle_t h = context().handle;
    return Shape(checked(GEOSUnion_r(h, static_cast<const GEOSGeometry*>(geometry_),
                                     static_cast<const GEOSGeometry*>(other.geometry_)),
                         "union"));
}

Shape Shape::make_valid() const {
    GEOSContextHandle_t h = context().handle;
    return Shape(checked(GEOSMakeValid_r(h, static_cast<const GEOSGeometry*>(geometry_)), "make valid"));
}

double Shape::area() const {
    double value = 0.0;
    if (!GEOSArea_r(context().handle, static_cast<const GEOSGeometry*>(geometry_), &value)) {
        throw GeometryError("area failed: " + context().last_error);
    }
    return value;
}

bool Shape::is_empty() const {
    return GEOSisEmpty_r(context().handle, static_cast<const GEOSGeometry*>(geometry_)) == 1;
}

PlanarShape Shape::polygons() const {
    GEOSContextHandle_t h = context().handle;
    const auto* g = static_cast<const GEOSGeometry*>(geometry_);
    PlanarShape out;
    switch (GEOSGeomTypeId_r(h, g)) {
        case GEOS_POLYGON:
            read_polygon(h, g, out);
            break;
        case GEOS_MULTIPOLYGON: {
            const int n = GEOSGetNumGeometries_r(h, g);
            for (int i = 0; i < n; ++i) read_polygon(h, GEOSGetGeometryN_r(h, g, i), out);
            break;
        }
        default:
            break;
    }
    return out;
}

Shape fold_rings(const std::vector<Ring>& rings) {
    Shape shape;
    for (const Ring& ring : rings) {
        if (!encloses_area(ring)) continue;
        shape = shape.symmetric_difference(Shape::from_ring(ring));
    }
    return shape;
}

Shape fill_nonzero(const std::vector<Ring>& rings) {
    GEOSContextHandle_t h = context().handle;
    std::vector<const Ring*> used;
    std::vector<GEOSGeometry*> lines;
    for (const Ring& ring : rings) {
        if (!encloses_area(ring)) continue;
        GEOSGeometry* line = GEOSGeom_createLineString_r(h, closed_sequence(h, ring));
        if (line == nullptr) {
            for (GEOSGeometry* g : lines) GEOSGeom_destroy_r(h, g);
            throw GeometryError("line string failed: " + context().last_error);
        }
        lines.push_back(line);
        used.push_back(&ring);
    }
    if (lines.empty()) return Shape();
    // The collection takes the lines over, also when it cannot be made.
    OwnedGeometry linework(checked(GEOSGeom_createCollection_r(h, GEOS_MULTILINESTRING, lines.data(),
                                                               static_cast<unsigned int>(lines.size())),
                                   "line collection"));

    // Every contour cut at every crossing, then the faces those pieces
    // bound. Within one face the winding number is the same everywhere, so
    // one interior point decides whether the face is filled.
    OwnedGeometry noded(checked(GEOSUnaryUnion_r(h, linework.get()), "noding"));
    const GEOSGeometry* pieces[] = {noded.get()};
    OwnedGeometry faces(checked(GEOSPolygonize_r(h, pieces, 1), "polygonize"));

    std::vector<GEOSGeometry*> filled;
    const auto release_filled = [&] {
        for (GEOSGeometry* g : filled) GEOSGeom_destroy_r(h, g);
    };
    const int face_count = GEOSGetNumGeometries_r(h, faces.get());
    for (int i = 0; i < face_count; ++i) {
        const GEOSGeometry* face = GEOSGetGeometryN_r(h, faces.get(), i);
        if (face == nullptr || GEOSisEmpty_r(h, face) == 1) continue;
        OwnedGeometry inside(GEOSPointOnSurface_r(h, face));
        double x = 0.0;
        double y = 0.0;
        if (!inside || GEOSisEmpty_r(h, inside.get()) == 1 || !GEOSGeomGetX_r(h, inside.get(), &x) ||
            !GEOSGeomGetY_r(h, inside.get(), &y)) {
            continue;  // a face too thin to hold a point has no area to draw
        }
        int winding = 0;
        for (const Ring* ring : used) winding += winding_number(*ring, x, y);
        if (winding == 0) continue;
        GEOSGeometry* copy = GEOSGeom_clone_r(h, face);
        if (copy == nullptr) {
            release_filled();
            throw GeometryError("clone failed: " + context().last_error);
        }
        filled.push_back(copy);
    }
    if (filled.empty()) return Shape();
    OwnedGeometry kept(GEOSGeom_createCollection_r(h, GEOS_GEOMETRYCOLLECTION, filled.data(),
                                                   static_cast<unsigned int>(filled.size())));
    if (!kept) throw GeometryError("face collection failed: " + context().last_error);
    // Neighbouring filled faces share their edges exactly: one polygon.
    return Shape(checked(GEOSUnaryUnion_r(h, kept.get()), "face union"));
}

Shape fold_repaired_rings(const std::vector<Ring>& rings) {
    Shape shape;
    for (const Ring& ring : rings) {
        if (!encloses_area(ring)) continue;
        shape = shape.symmetric_difference(Shape::from_ring(ring).make_valid()).make_valid();
    }
    return shape;
}

Shape glyph_shape(const std::vector<Ring>& rings, std::string& failure) {
    failure.clear();
    // Infinite or NaN coordinates (an absurd font size) have no shape to
    // draw, and GEOS would only fail on them more slowly.
    if (!all_finite(rings)) {
        failure = "the outline has coordinates that are not finite";
        return Shape();
    }
    try {
        return fold_rings(rings);
    } catch (const GeometryError&) {
        // A flattened contour crosses itself or touches a neighbour in a
        // way the fold cannot take; the slower ways below can.
    }
    try {
        return fill_nonzero(rings);
    } catch (const GeometryError& e) {
        failure = e.what();
    }
    try {
        Shape shape = fold_repaired_rings(rings);
        failure.clear();
        return shape;
    } catch (const GeometryError& e) {
        failure += std::string("; ") + e.what();
    }
    return Shape();
}

}  // namespace glyphway::text
