#pragma once
// The binary half of a glTF file: one buffer of views, and the accessors
// that read typed arrays out of them.
//
// Every view starts on an 8-byte boundary (4 is what vertex data needs;
// property tables of 64-bit values need 8), so every accessor's element is
// aligned to its component size. Views that serve vertex or instance
// attributes carry a byteStride, which glTF requires once several accessors
// share a view; index views carry none, as glTF forbids it there.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "export/json_writer.hpp"

namespace glyphway::export_::gltf {

enum ComponentType : int {
    kUnsignedInt = 5125,
    kFloat = 5126,
};

enum Target : int {
    kNoTarget = 0,
    kArrayBuffer = 34962,
    kElementArrayBuffer = 34963,
};

struct Accessor {
    int view = 0;
    std::size_t byte_offset = 0;  // within the view
    int component_type = kFloat;
    const char* type = "SCALAR";
    std::size_t count = 0;
    std::vector<double> min, max;  // written when not empty
};

class BufferBuilder {
public:
    // A view of `bytes` (one zero byte when empty); `stride` 0 writes no
    // byteStride. Returns its index.
    int add_view(std::string_view bytes, std::size_t stride = 0, int target = kNoTarget);
    int add_accessor(Accessor accessor);

    const std::string& bytes() const { return data_; }
    // "buffers", "bufferViews" and "accessors", as members of the open root
    // object. The buffer is the GLB's binary chunk: it has no uri.
    void write_json(JsonWriter& json) const;

private:
    struct View {
        std::size_t offset, length, stride;
        int target;
    };
    std::string data_;
    std::vector<View> views_;
    std::vector<Accessor> accessors_;
};

// The raw bytes of a contiguous array of plain values.
template <typename T>
std::string_view bytes_of(const std::vector<T>& values) {
    return {reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T)};
}

// The two chunks as one GLB file: header, JSON padded with spaces, binary
// padded with zeros, each to 4 bytes.
std::string glb_container(std::string json, std::string_view binary);

}  // namespace glyphway::export_::gltf
