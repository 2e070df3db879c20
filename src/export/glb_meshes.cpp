#include "export/glb_meshes.hpp"

#include <algorithm>
#include <limits>
#include <utility>

namespace glyphway::export_::gltf {

namespace {

// POSITION's bounds, from the float32 values as stored.
void position_bounds(const std::vector<float>& positions, Accessor& accessor) {
    accessor.min.assign(3, std::numeric_limits<double>::infinity());
    accessor.max.assign(3, -std::numeric_limits<double>::infinity());
    for (std::size_t i = 0; i < positions.size(); ++i) {
        const double v = positions[i];
        accessor.min[i % 3] = std::min(accessor.min[i % 3], v);
        accessor.max[i % 3] = std::max(accessor.max[i % 3], v);
    }
}

}  // namespace

void MeshPacker::add(const std::vector<float>& positions, const std::vector<std::uint32_t>& indices) {
    Accessor p;
    p.byte_offset = positions_.size() * sizeof(float);
    p.component_type = kFloat;
    p.type = "VEC3";
    p.count = positions.size() / 3;
    position_bounds(positions, p);
    Accessor i;
    i.byte_offset = indices_.size() * sizeof(std::uint32_t);
    i.component_type = kUnsignedInt;
    i.type = "SCALAR";
    i.count = indices.size();
    positions_.insert(positions_.end(), positions.begin(), positions.end());
    indices_.insert(indices_.end(), indices.begin(), indices.end());
    pending_.push_back({std::move(p), std::move(i)});
}

std::vector<PrimitiveAccessors> MeshPacker::finish(BufferBuilder& buffer) {
    std::vector<PrimitiveAccessors> out;
    if (pending_.empty()) return out;
    const int pv = buffer.add_view(bytes_of(positions_), 12, kArrayBuffer);
    const int iv = buffer.add_view(bytes_of(indices_), 0, kElementArrayBuffer);
    for (auto& [p, i] : pending_) {
        p.view = pv;
        i.view = iv;
        out.push_back({buffer.add_accessor(std::move(p)), buffer.add_accessor(std::move(i))});
    }
    return out;
}

void write_meshes(JsonWriter& json, const std::vector<std::string>& names,
                  const std::vector<PrimitiveAccessors>& accessors) {
    json.key("meshes");
    json.begin_array();
    for (std::size_t m = 0; m < accessors.size(); ++m) {
        json.begin_object();
        json.key("name");
        json.value(names[m]);
        json.key("primitives");
        json.begin_array();
        json.begin_object();
        json.key("attributes");
        json.begin_object();
        json.key("POSITION");
        json.value(accessors[m].position);
        json.end_object();
        json.key("indices");
        json.value(accessors[m].indices);
        json.key("mode");
        json.value(4);
        json.end_object();
        json.end_array();
        json.end_object();
    }
    json.end_array();
}

}  // namespace glyphway::export_::gltf
