#pragma once
// The collision solver's working copy of one visible label: packed
// single-precision fields, so the pair test reads a few cache lines per
// record and vectorises.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/line_geometry.hpp"

namespace glyphway::solver {

struct SolverRecord {
    std::int32_t list_index = 0;  // position of the label in the caller's list
    std::int32_t id = 0;          // source feature
    float distance = 0.0f;        // position along the line
    float line_len = 0.0f;        // sliding past it hides the label
    float weight = 0.0f;          // the greater weight yields
    std::int32_t text_len = 0;    // gap rule and tie-breaks
    std::uint8_t hidden = 0;
    float cx = 0.0f, cy = 0.0f;   // centre in the plan
    float dx = 0.0f, dy = 0.0f;   // reading direction (not re-normalised)
    float length = 0.0f;          // along the direction
    float height = 0.0f;          // along its normal
};

// What a record needs besides its packed fields: the line piece it belongs
// to, for chains and for re-framing a label after it slides.
struct SolverRecordLink {
    // Records of one chain share the feature `id` and, where the label
    // carries one, the line piece `line_uid`.
    bool has_line_uid = false;
    std::int64_t line_uid = 0;
    // The label's line; none means a slide moves the centre straight along
    // the direction.
    const engine::LineGeometry* line = nullptr;
};

// A double narrowed to single precision with IEEE rounding (to nearest,
// overflowing to infinity), also for values beyond the float range, where a
// plain cast is undefined.
inline float narrow_to_float(double v) {
    // Half an ulp above FLT_MAX: from here on the nearest float is infinity.
    constexpr double kOverflow = 0x1.ffffffp127;
    if (std::isfinite(v) && std::fabs(v) > static_cast<double>(FLT_MAX)) {
        if (std::fabs(v) >= kOverflow) return std::signbit(v) ? -INFINITY : INFINITY;
        return std::signbit(v) ? -FLT_MAX : FLT_MAX;
    }
    return static_cast<float>(v);
}

struct SolverInput {
    std::vector<SolverRecord> records;   // in the order of the caller's list
    std::vector<SolverRecordLink> links; // one per record
};

}  // namespace glyphway::solver
