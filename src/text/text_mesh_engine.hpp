#pragma once
// Strings to extruded 3D text: one mesh for a whole string laid out left to
// right, or one centred mesh per character with its advance, cached per
// character because road names repeat the same glyphs thousands of times.
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

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

// Python's str.isspace() for one code point, so whitespace is recognised
// the same way whichever side of the binding asks.
bool is_whitespace(char32_t c);

// Font faces are shared by every engine on the same file and opened on
// first use: a configuration that never draws (a CSV export) never needs a
// readable font.
class FontSource {
public:
    explicit FontSource(std::string path) : path_(std::move(path)) {}
    const std::string& path() const { return path_; }
    const FontFace& face();  // throws FontError when the file cannot be read

private:
    std::string path_;
    std::shared_ptr<const FontFace> face_;
};

class TextMeshEngine {
public:
    TextMeshEngine(std::string font_path, double font_size, double depth, double letter_spacing);

    double font_size() const { return font_size_; }
    double depth() const { return depth_; }
    double letter_spacing() const { return letter_spacing_; }
    const std::string& font_path() const { return font_.path(); }

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

    FontSource font_;
    double font_size_;
    double depth_;
    double letter_spacing_;
    std::unordered_map<char32_t, std::shared_ptr<const GlyphMesh>> glyph_cache_;
    std::unordered_set<char32_t> reported_;
    std::vector<std::string> warnings_;
};

}  // namespace glyphway::text
