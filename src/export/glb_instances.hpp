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

// The drawing of a mesh built at `size` and `depth` on `frame`, relative to
// `origin` (working system).
Instance make_instance(const engine::Mat4& frame, const std::array<double, 3>& origin, double size,
                       double depth, std::uint32_t feature);

struct SharedMesh {
    std::string name;
    std::vector<float> positions;        // em units: x, y over the size, z over the depth
    std::vector<std::uint32_t> indices;
    std::vector<Instance> instances;
};

// The meshes by identity: the caller keeps each mesh alive (the text
// engines' caches do) for as long as the layout is in use.
class InstanceLayout {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    // The index of the mesh known as `key`, or npos.
    std::size_t find(const void* key) const {
        const auto it = index_.find(key);
        return it == index_.end() ? npos : it->second;
    }
    // A new mesh (built at `size` and `depth`), stored in em units.
    std::size_t add_mesh(const void* key, const text::Mesh& mesh, std::string name, double size,
                         double depth);
    void add_instance(std::size_t mesh, const Instance& instance) {
        meshes_[mesh].instances.push_back(instance);
        ++instances_;
    }

    // In order of first use.
    const std::vector<SharedMesh>& meshes() const { return meshes_; }
    std::size_t instance_count() const { return instances_; }

private:
    std::unordered_map<const void*, std::size_t> index_;
    std::vector<SharedMesh> meshes_;
    std::size_t instances_ = 0;
};

}  // namespace glyphway::export_::gltf
