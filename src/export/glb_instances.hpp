#pragma once
// The instancing layout of the GLB: each distinct mesh once, in em units,
// with the list of places it is drawn (translation, rotation, scale and the
// label it belongs to).
//
// A mesh is known by the object the text engine built it as: a glyph mesh
// is cached per character and per engine (one engine per fitted font size
// and spacing), and its curves are flattened at that size, so a character
// drawn at two sizes has two meshes that differ in more than scale. Keying
// by the cached object keeps exactly the mesh the OBJ draws.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/orientation_frame.hpp"
#include "text/mesh.hpp"

namespace glyphway::export_::gltf {

// (east, north, up) to glTF's (x, y, z) = (east, up, -north).
std::array<double, 3> to_gltf_axes(double east, double north, double up);

// The rotation part of a frame, taken into glTF axes, as a unit quaternion
// (x, y, z, w) with w >= 0. The frame's first three columns are orthonormal
// and right-handed, so this is a proper rotation.
std::array<double, 4> frame_quaternion(const engine::Mat4& frame);

struct Instance {
    float translation[3];
    float rotation[4];
    float scale[3];
    float feature;  // the label's row in the label table
};

struct SharedMesh {
    std::string name;
    std::vector<float> positions;        // em units: x, y over the size, z over the depth
    std::vector<std::uint32_t> indices;
    std::vector<Instance> instances;
};

class InstanceLayout {
public:
    // `origin` in the working system.
    explicit InstanceLayout(const std::array<double, 3>& origin) : origin_(origin) {}

    // One more drawing of `mesh` (built at `size` and `depth`) on `frame`.
    // `owner` keeps the mesh alive and is its identity.
    void add(std::shared_ptr<const void> owner, const text::Mesh& mesh, std::string_view name,
             const engine::Mat4& frame, double size, double depth, std::uint32_t feature);

    // In order of first use.
    const std::vector<SharedMesh>& meshes() const { return meshes_; }
    std::size_t instance_count() const { return instances_; }

private:
    std::array<double, 3> origin_;
    std::unordered_map<const void*, std::size_t> index_;
    std::vector<std::shared_ptr<const void>> owners_;
    std::vector<SharedMesh> meshes_;
    std::size_t instances_ = 0;
};

}  // namespace glyphway::export_::gltf
