#pragma once
// The orientation frame of a label: a 4x4 homogeneous matrix whose columns
// are the text's reading direction, its two other axes and its anchor point
// on the road.
#include <array>
#include <optional>

#include "engine/line_geometry.hpp"

namespace glyphway::engine {

// Row-major: element (row r, column c) is at index 4 * r + c.
using Mat4 = std::array<double, 16>;

// "flat": text lies on the ground facing up; "upright": it stands on the
// road facing across it.
enum class Posture { flat, upright };

// Half-width, in working-system units, of the chord that estimates the
// tangent. A fixed distance, independent of the text size.
inline constexpr double kTangentHalfChord = 0.5;

// Column 0 is the unit tangent T taken from the chord between the points
// kTangentHalfChord either side of `distance` (clamped to the line), flipped
// to read left to right when `auto_flip` is set and T.x < 0. Flat: columns 1
// and 2 are cross(up, T) normalised and up; upright: up and cross(T, up)
// normalised; column 3 is the point at `distance`. up = (0, 0, 1).
//
// The frame is always finite where the line is: a chord of zero length and a
// vertical chord (whose cross product with up has no length) both fall back
// to T = (1, 0, 0).
//
// Nothing is returned where the line has no point at `distance` (an empty
// line, a NaN distance).
std::optional<Mat4> build_tbn_matrix(const LineGeometry& line, double distance, bool auto_flip,
                                     Posture posture);

}  // namespace glyphway::engine
