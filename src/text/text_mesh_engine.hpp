#pragma once
// Strings to extruded 3D text: one mesh for a whole string laid out left to
// right, or one centred mesh per character with its advance, cached per
// character because road names repeat the same glyphs thousands of times.
// Each character's glyph comes from the first font of the engine's chain
// that has one.
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "text/font_chain.hpp"
#include "text/glyph_outline.hpp"
#include "text/mesh.hpp"
#include "text/planar_boolean.hpp"

namespace glyphway::text {

// What the glyph cache keeps for one character. `mesh` is empty for a
// character without outline.
struct GlyphMesh {
    Mesh mesh;
    double advance = 0.0;
    // How far right of the pen position the mesh's x = 0 (the middle of its
    // outline) lies, for callers that set glyphs at pen positions of their
    // own (text shaped with the font's advances and kerning).
    double ink_centre_x = 0.0;
};

struct GlyphRecord {
    char32_t character = 0;
    std::shared_ptr<const GlyphMesh> glyph;  // null for whitespace
    double advance = 0.0;

    bool has_mesh() const { return glyph && !glyph->mesh.empty(); }
};

class TextMeshEngine {
public:
    TextMeshEngine(std::string font_path, double font_size, double depth, double letter_spacing);
    // Each character drawn from the first font of `font_paths` that has a
    // glyph for it (font_chain.hpp); every font's outline is read per em,
    // so all of them come out at the one font size.
    TextMeshEngine(std::vector<std::string> font_paths, double font_size, double depth,
                   double letter_spacing);

    double font_size() const { return font_size_; }
    double depth() const { return depth_; }
    double letter_spacing() const { return letter_spacing_; }
    const std::string& font_path() const { return fonts_.paths().front(); }
    const std::vector<std::string>& font_paths() const { return fonts_.paths(); }

    // The merged outline of the whole string, triangulated and extruded.
    Mesh generate_mesh(const std::u32string& text);

    // One record per character, whitespace included, in order.
    std::vector<GlyphRecord> generate_glyph_meshes(const std::u32string& text);

    // The cached glyph of `c`, or null before its first request.
    std::shared_ptr<const GlyphMesh> cached_glyph(char32_t c) const;
    const std::unordered_map<char32_t, std::shared_ptr<const GlyphMesh>>& glyph_cache() const {
        return glyph_cache_;
    }

    // A glyph whose outline cannot be made into a shape is drawn empty
    // rather than failing the whole text; each such character is reported
    // once per engine, in a line that waits here until the caller (which
    // knows where messages go) takes it.
    std::vector<std::string> take_warnings();

private:
    std::shared_ptr<const GlyphMesh> build_glyph(char32_t c);
    Shape shape_of(char32_t c, const std::vector<Ring>& rings);

    FontChain fonts_;
    double font_size_;
    double depth_;
    double letter_spacing_;
    std::unordered_map<char32_t, std::shared_ptr<const GlyphMesh>> glyph_cache_;
    std::unordered_set<char32_t> reported_;
    std::vector<std::string> warnings_;
};

}  // namespace glyphway::text
