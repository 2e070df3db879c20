#include "text/font_chain.hpp"

#include <map>
#include <mutex>

namespace glyphway::text {

bool is_whitespace(char32_t c) {
    switch (c) {
        case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D:
        case 0x1C: case 0x1D: case 0x1E: case 0x1F: case 0x20:
        case 0x85: case 0xA0: case 0x1680:
        case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x3000:
            return true;
        default:
            return c >= 0x2000 && c <= 0x200A;
    }
}

namespace {

std::shared_ptr<const FontFace> open_shared_face(const std::string& path) {
    static std::mutex mutex;
    static std::map<std::string, std::weak_ptr<const FontFace>> faces;
    std::lock_guard<std::mutex> lock(mutex);
    std::weak_ptr<const FontFace>& slot = faces[path];
    if (auto face = slot.lock()) return face;
    auto face = std::make_shared<const FontFace>(path);
    slot = face;
    return face;
}

}  // namespace

FontChain::FontChain(std::vector<std::string> paths) : paths_(std::move(paths)), faces_(paths_.size()) {
    if (paths_.empty()) throw FontError("no font to draw with: the list of fonts is empty");
}

const FontFace& FontChain::face(std::size_t index) {
    std::shared_ptr<const FontFace>& slot = faces_.at(index);
    if (!slot) slot = open_shared_face(paths_[index]);
    return *slot;
}

std::size_t FontChain::font_for(char32_t c) {
    if (paths_.size() == 1) return 0;
    for (std::size_t i = 0; i < paths_.size(); ++i) {
        if (face(i).has_glyph(c)) return i;
    }
    return 0;
}

bool FontChain::has_glyph(char32_t c) {
    for (std::size_t i = 0; i < paths_.size(); ++i) {
        if (face(i).has_glyph(c)) return true;
    }
    return false;
}

std::vector<char32_t> characters_without_glyph(FontChain& chain,
                                               const std::vector<char32_t>& characters) {
    std::vector<char32_t> missing;
    for (char32_t c : characters) {
        if (!is_whitespace(c) && !chain.has_glyph(c)) missing.push_back(c);
    }
    return missing;
}

}  // namespace glyphway::text
