#include "text/text_mesh_engine.hpp"

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>

#include "text/triangulate_extrude.hpp"

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

const FontFace& FontSource::face() {
    if (!face_) face_ = open_shared_face(path_);
    return *face_;
}

TextMeshEngine::TextMeshEngine(std::string font_path, double font_size, double depth, double letter_spacing)
    : font_(std::move(font_path)), font_size_(font_size), depth_(depth), letter_spacing_(letter_spacing) {}

Mesh TextMeshEngine::generate_mesh(const std::u32string& text) {
    const double path_size = text_path_size(font_size_);
    Shape merged;
    double pen_x = 0.0;
    for (char32_t c : text) {
        if (is_whitespace(c)) {
            pen_x += font_size_ * 0.5 + letter_spacing_;
            continue;
        }
        const TextPathGeometry path = make_text_path(font_.face().glyph_path(c), path_size, pen_x, 0.0);
        Shape character = shape_of(c, path.rings);
        if (!character.is_empty()) merged = merged.union_with(character);
        // The next glyph starts at this one's right edge, not at the font's
        // advance width: names are set tight.
        if (!path.rings.empty()) {
            pen_x = path.extents.x1 + letter_spacing_;
        } else {
            pen_x += font_size_ + letter_spacing_;
        }
    }
    return triangulate_extrude(merged.polygons(), depth_);
}

std::shared_ptr<const GlyphMesh> TextMeshEngine::build_glyph(char32_t c) {
    const TextPathGeometry path = make_text_path(font_.face().glyph_path(c), text_path_size(font_size_), 0.0, 0.0);
    auto glyph = std::make_shared<GlyphMesh>();
    glyph->mesh = triangulate_extrude(shape_of(c, path.rings).polygons(), depth_);
    if (glyph->mesh.empty()) {
        glyph->advance = font_size_ + letter_spacing_;
        return glyph;
    }
    // Centre on the outline's own horizontal bounds, and drop by half the
    // font size (not the glyph's height) so every glyph of a name shares
    // one baseline offset.
    std::vector<double>& v = glyph->mesh.vertices;
    double min_x = v[0];
    double max_x = v[0];
    for (std::size_t i = 0; i < v.size(); i += 3) {
        min_x = std::min(min_x, v[i]);
        max_x = std::max(max_x, v[i]);
    }
    const double shift_x = (min_x + max_x) / 2.0;
    const double shift_y = font_size_ / 2.0;
    glyph->ink_centre_x = shift_x;
    for (std::size_t i = 0; i < v.size(); i += 3) {
        v[i] -= shift_x;
        v[i + 1] -= shift_y;
    }
    glyph->advance = path.extents.empty ? font_size_ + letter_spacing_ : path.extents.width() + letter_spacing_;
    return glyph;
}

std::vector<GlyphRecord> TextMeshEngine::generate_glyph_meshes(const std::u32string& text) {
    std::vector<GlyphRecord> glyphs;
    glyphs.reserve(text.size());
    for (char32_t c : text) {
        if (is_whitespace(c)) {
            glyphs.push_back({c, nullptr, font_size_ * 0.5 + letter_spacing_});
            continue;
        }
        auto it = glyph_cache_.find(c);
        if (it == glyph_cache_.end()) it = glyph_cache_.emplace(c, build_glyph(c)).first;
        glyphs.push_back({c, it->second, it->second->advance});
    }
    return glyphs;
}

Shape TextMeshEngine::shape_of(char32_t c, const std::vector<Ring>& rings) {
    std::string failure;
    Shape shape = glyph_shape(rings, failure);
    if (!failure.empty() && reported_.insert(c).second) {
        char head[96];
        std::snprintf(head, sizeof head, "the glyph for U+%04X at font size %g cannot be built (",
                      static_cast<unsigned>(c), font_size_);
        warnings_.push_back(head + failure + "); it is drawn empty");
    }
    return shape;
}

std::vector<std::string> TextMeshEngine::take_warnings() {
    std::vector<std::string> taken;
    taken.swap(warnings_);
    return taken;
}

std::shared_ptr<const GlyphMesh> TextMeshEngine::cached_glyph(char32_t c) const {
    auto it = glyph_cache_.find(c);
    return it == glyph_cache_.end() ? nullptr : it->second;
}

}  // namespace glyphway::text
