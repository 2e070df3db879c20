#pragma once
// Grid cells: a point's integer cell coordinates and the 64-bit key of a
// cell. Defined for every float, including NaN, infinities and values far
// outside the 32-bit range.
#include <cstdint>

namespace glyphway::solver {

// floor(v) as a 32-bit integer, clamped to the int32 range; NaN goes to 0.
std::int32_t cell_coordinate(float v);
std::int32_t cell_coordinate(double v);

// Cell x in the high 32 bits, cell y (as unsigned) in the low 32 bits.
inline std::uint64_t cell_key(std::int32_t x, std::int32_t y) {
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(x)) << 32) |
           static_cast<std::uint64_t>(static_cast<std::uint32_t>(y));
}

// The key of the cell holding (cx, cy) on a grid of side 1 / k.
inline std::uint64_t cell_key_of(float cx, float cy, float k) {
    return cell_key(cell_coordinate(cx * k), cell_coordinate(cy * k));
}

}  // namespace glyphway::solver
