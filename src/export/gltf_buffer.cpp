#include "export/gltf_buffer.hpp"

#include <algorithm>
#include <stdexcept>

namespace glyphway::export_::gltf {

namespace {

constexpr std::size_t kViewAlignment = 8;

void append_u32(std::string& out, std::uint32_t v) {
    // GLB is little-endian, and so is every machine this builds for; the
    // explicit bytes keep it right on any other.
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

int BufferBuilder::add_view(std::string_view bytes, std::size_t stride, int target) {
    data_.resize((data_.size() + kViewAlignment - 1) / kViewAlignment * kViewAlignment, '\0');
    // glTF has no empty views; an empty array (a column of empty strings)
    // gets one byte that nothing reads.
    views_.push_back({data_.size(), std::max<std::size_t>(bytes.size(), 1), stride, target});
    data_.append(bytes.data(), bytes.size());
    if (bytes.empty()) data_ += '\0';
    return static_cast<int>(views_.size() - 1);
}

int BufferBuilder::add_accessor(Accessor accessor) {
    accessors_.push_back(std::move(accessor));
    return static_cast<int>(accessors_.size() - 1);
}

void BufferBuilder::write_json(JsonWriter& json) const {
    json.key("buffers");
    json.begin_array();
    json.begin_object();
    json.key("byteLength");
    json.value(static_cast<std::uint64_t>(data_.size()));
    json.end_object();
    json.end_array();

    json.key("bufferViews");
    json.begin_array();
    for (const View& v : views_) {
        json.begin_object();
        json.key("buffer");
        json.value(0);
        if (v.offset != 0) {
            json.key("byteOffset");
            json.value(static_cast<std::uint64_t>(v.offset));
        }
        json.key("byteLength");
        json.value(static_cast<std::uint64_t>(v.length));
        if (v.stride != 0) {
            json.key("byteStride");
            json.value(static_cast<std::uint64_t>(v.stride));
        }
        if (v.target != kNoTarget) {
            json.key("target");
            json.value(v.target);
        }
        json.end_object();
    }
    json.end_array();

    json.key("accessors");
    json.begin_array();
    for (const Accessor& a : accessors_) {
        json.begin_object();
        json.key("bufferView");
        json.value(a.view);
        if (a.byte_offset != 0) {
            json.key("byteOffset");
            json.value(static_cast<std::uint64_t>(a.byte_offset));
        }
        json.key("componentType");
        json.value(a.component_type);
        json.key("count");
        json.value(static_cast<std::uint64_t>(a.count));
        json.key("type");
        json.value(a.type);
        if (!a.min.empty()) {
            json.key("min");
            json.begin_array();
            for (double m : a.min) json.value(m);
            json.end_array();
            json.key("max");
            json.begin_array();
            for (double m : a.max) json.value(m);
            json.end_array();
        }
        json.end_object();
    }
    json.end_array();
}

std::string glb_container(std::string json, std::string_view binary) {
    while (json.size() % 4 != 0) json += ' ';
    const std::size_t binary_padded = (binary.size() + 3) / 4 * 4;
    const std::size_t total = 12 + 8 + json.size() + (binary.empty() ? 0 : 8 + binary_padded);
    if (total > 0xFFFFFFFFu) throw std::length_error(
            "the GLB would exceed 4 GiB, the most its header can describe");
    std::string out;
    out.reserve(total);
    append_u32(out, 0x46546C67u);  // "glTF"
    append_u32(out, 2);
    append_u32(out, static_cast<std::uint32_t>(total));
    append_u32(out, static_cast<std::uint32_t>(json.size()));
    append_u32(out, 0x4E4F534Au);  // "JSON"
    out += json;
    if (!binary.empty()) {
        append_u32(out, static_cast<std::uint32_t>(binary_padded));
        append_u32(out, 0x004E4942u);  // "BIN\0"
        out.append(binary.data(), binary.size());
        out.append(binary_padded - binary.size(), '\0');
    }
    return out;
}

}  // namespace glyphway::export_::gltf
