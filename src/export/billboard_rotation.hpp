#pragma once
// The rotation a billboard row carries: the label frame's 3x3 rotation as a
// unit quaternion and as Z-Y-X Euler angles, computed in single precision
// (the precision downstream billboard tools store rotations in).
#include "engine/orientation_frame.hpp"

namespace glyphway::export_ {

struct Quaternion {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 1.0f;
};

// Yaw (rot_z), pitch (rot_y) and roll (rot_x) of the frame, applied Z then
// Y then X.
struct EulerAngles {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

// Degrees per radian as a float literal, the factor the angles are scaled
// by when a row is written in degrees.
inline constexpr float kDegreesPerRadian = 57.29578f;

// The matrix's upper-left 3x3 block, each element rounded to float.
struct Rotation3f {
    float r[3][3];
};

Rotation3f rotation_block(const engine::Mat4& matrix);

// Of the four standard formulas (trace, then the x, y and z dominant
// forms) the one with the largest radicand, earlier ones winning ties.
Quaternion rotation_quaternion(const Rotation3f& m);

EulerAngles rotation_euler(const Rotation3f& m, bool degrees);

}  // namespace glyphway::export_
