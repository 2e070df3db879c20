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

std::u32string code_points(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t c = length == 1 ? lead
                     : length == 2 ? lead & 0x1F
                     : length == 3 ? lead & 0x0F
                                   : lead & 0x07;
        for (std::size_t k = 1; k < length && i + k < text.size(); ++k) {
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        out.push_back(c);
        i += length;
    }
    return out;
}

}  // namespace glyphway::engine
