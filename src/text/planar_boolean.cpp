#include "text/planar_boolean.hpp"

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
    const bool closed = !ring.empty() && ring.front() == ring.back();
    const auto size = static_cast<unsigned int>(ring.size() + (closed ? 0 : 1));
    GEOSCoordSequence* seq = GEOSCoordSeq_create_r(h, size, 2);
    if (seq == nullptr) throw GeometryError("coordinate sequence failed: " + context().last_error);
    for (unsigned int i = 0; i < ring.size(); ++i) GEOSCoordSeq_setXY_r(h, seq, i, ring[i].x, ring[i].y);
    if (!closed && !ring.empty()) GEOSCoordSeq_setXY_r(h, seq, size - 1, ring.front().x, ring.front().y);
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
        if (ring.size() < 3) continue;
        // A closed ring needs four coordinates to enclose an area; a contour
        // of two points (A, B, A) is a degenerate stroke and draws nothing.
        const bool closed = ring.front() == ring.back();
        if (ring.size() + (closed ? 0 : 1) < 4) continue;
        shape = shape.symmetric_difference(Shape::from_ring(ring));
    }
    return shape;
}

}  // namespace glyphway::text
