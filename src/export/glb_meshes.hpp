#pragma once
// The meshes of a GLB: every mesh one primitive of triangles, their
// positions sharing one view and their indices another, so a file of
// thousands of glyph meshes has two views, not thousands.
#include <cstdint>
#include <string>
#include <vector>

#include "export/gltf_buffer.hpp"
#include "export/json_writer.hpp"

namespace glyphway::export_::gltf {

struct PrimitiveAccessors {
    int position;
    int indices;
};

class MeshPacker {
public:
    // One more mesh: float32 (x, y, z) rows and triangle indices.
    void add(const std::vector<float>& positions, const std::vector<std::uint32_t>& indices);

    // Adds the two views and the accessors; returns each mesh's pair, in
    // the order added. Nothing without meshes.
    std::vector<PrimitiveAccessors> finish(BufferBuilder& buffer);

private:
    std::vector<float> positions_;
    std::vector<std::uint32_t> indices_;
    std::vector<std::pair<Accessor, Accessor>> pending_;
};

// "meshes", as a member of the open root object.
void write_meshes(JsonWriter& json, const std::vector<std::string>& names,
                  const std::vector<PrimitiveAccessors>& accessors);

}  // namespace glyphway::export_::gltf
