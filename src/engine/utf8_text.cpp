#include "engine/utf8_text.hpp"

namespace glyphway::engine {

namespace {
bool is_continuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }
}  // namespace

std::int64_t code_point_count(std::string_view text) {
    std::int64_t count = 0;
    for (char byte : text) count += is_continuation(byte) ? 0 : 1;
    return count;
}

std::string code_point_prefix(std::string_view text, std::int64_t count) {
    if (count <= 0) return {};
    std::int64_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!is_continuation(text[i]) && seen++ == count) return std::string(text.substr(0, i));
    }
    return std::string(text);
}

}  // namespace glyphway::engine
