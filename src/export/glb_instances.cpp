#include "export/glb_instances.hpp"

#include <cmath>

namespace glyphway::export_::gltf {

std::array<double, 3> to_gltf_axes(double east, double north, double up) {
    return {east, up, -north};
}

std::array<double, 4> frame_quaternion(const engine::Mat4& frame) {
    // R = C * F, C taking (east, north, up) to (east, up, -north): the rows
    // of F's rotation, reordered and one negated.
    const auto f = [&](int r, int c) { return frame[4 * r + c]; };
    double m[3][3];
    for (int c = 0; c < 3; ++c) {
        m[0][c] = f(0, c);
        m[1][c] = f(2, c);
        m[2][c] = -f(1, c);
    }
    double x, y, z, w;
    const double trace = m[0][0] + m[1][1] + m[2][2];
    if (trace > 0.0) {
        const double s = 2.0 * std::sqrt(trace + 1.0);
        w = 0.25 * s;
        x = (m[2][1] - m[1][2]) / s;
        y = (m[0][2] - m[2][0]) / s;
        z = (m[1][0] - m[0][1]) / s;
    } else if (m[0][0] > m[1][1] && m[0][0] > m[2][2]) {
        const double s = 2.0 * std::sqrt(1.0 + m[0][0] - m[1][1] - m[2][2]);
        w = (m[2][1] - m[1][2]) / s;
        x = 0.25 * s;
        y = (m[0][1] + m[1][0]) / s;
        z = (m[0][2] + m[2][0]) / s;
    } else if (m[1][1] > m[2][2]) {
        const double s = 2.0 * std::sqrt(1.0 + m[1][1] - m[0][0] - m[2][2]);
        w = (m[0][2] - m[2][0]) / s;
        x = (m[0][1] + m[1][0]) / s;
        y = 0.25 * s;
        z = (m[1][2] + m[2][1]) / s;
    } else {
        const double s = 2.0 * std::sqrt(1.0 + m[2][2] - m[0][0] - m[1][1]);
        w = (m[1][0] - m[0][1]) / s;
        x = (m[0][2] + m[2][0]) / s;
        y = (m[1][2] + m[2][1]) / s;
        z = 0.25 * s;
    }
    double n = std::sqrt(x * x + y * y + z * z + w * w);
    if (!(n > 0.0) || !std::isfinite(n)) return {0.0, 0.0, 0.0, 1.0};
    if (w < 0.0) n = -n;  // q and -q turn alike; one sign makes files comparable
    return {x / n, y / n, z / n, w / n};
}

namespace {

// A depth of 0 leaves z at 0 everywhere; a zero scale would make the
// instance matrix singular, which viewers handle badly.
double z_scale_of(double depth) { return depth > 0.0 ? depth : 1.0; }

}  // namespace

Instance make_instance(const engine::Mat4& frame, const std::array<double, 3>& origin, double size,
                       double depth, std::uint32_t feature) {
    const auto t = to_gltf_axes(frame[3] - origin[0], frame[7] - origin[1], frame[11] - origin[2]);
    const auto q = frame_quaternion(frame);
    Instance instance{};
    for (int i = 0; i < 3; ++i) instance.translation[i] = static_cast<float>(t[i]);
    for (int i = 0; i < 4; ++i) instance.rotation[i] = static_cast<float>(q[i]);
    instance.scale[0] = static_cast<float>(size);
    instance.scale[1] = static_cast<float>(size);
    instance.scale[2] = static_cast<float>(z_scale_of(depth));
    instance.feature = static_cast<float>(feature);
    return instance;
}

std::size_t InstanceLayout::add_mesh(const void* key, const text::Mesh& mesh, std::string name,
                                     double size, double depth) {
    const double z_scale = z_scale_of(depth);
    SharedMesh shared;
    shared.name = std::move(name);
    shared.positions.resize(mesh.vertices.size());
    for (std::size_t i = 0; i + 2 < mesh.vertices.size(); i += 3) {
        shared.positions[i] = static_cast<float>(mesh.vertices[i] / size);
        shared.positions[i + 1] = static_cast<float>(mesh.vertices[i + 1] / size);
        shared.positions[i + 2] = static_cast<float>(mesh.vertices[i + 2] / z_scale);
    }
    shared.indices.assign(mesh.faces.begin(), mesh.faces.end());
    meshes_.push_back(std::move(shared));
    index_.emplace(key, meshes_.size() - 1);
    return meshes_.size() - 1;
}

}  // namespace glyphway::export_::gltf
