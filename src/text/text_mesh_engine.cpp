#include "text/text_mesh_engine.hpp"

#include <algorithm>
#include <cstdio>

#include "text/triangulate_extrude.hpp"

namespace glyphway::text {

TextMeshEngine::TextMeshEngine(std::string font_path, double font_size, double depth, double letter_spacing)
    : TextMeshEngine(std::vector<std::string>{std::move(font_path)}, font_size, depth, letter_spacing) {}

TextMeshEngine::TextMeshEngine(std::vector<std::string> font_paths, double font_size, double depth,
                               double letter_spacing)
    : fonts_(std::move(font_paths)), font_size_(font_size), depth_(depth), letter_spacing_(letter_spacing) {}

Mesh TextMeshEngine::generate_mesh(const std::u32string& text) {
    const double path_size = text_path_size(font_size_);
    Shape merged;
    double pen_x = 0.0;
    for (char32_t c : text) {
        if (is_whitespace(c)) {
            pen_x += font_size_ * 0.5 + letter_spacing_;
            continue;
        }
        const TextPathGeometry path = make_text_path(fonts_.face_for(c).glyph_path(c), path_size, pen_x, 0.0);
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
    const TextPathGeometry path = make_text_path(fonts_.face_for(c).glyph_path(c), text_path_size(font_size_), 0.0, 0.0);
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
