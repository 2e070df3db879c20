#pragma once
// Glyph outlines read with FreeType the way Matplotlib's TextPath reads them:
// unhinted, at the reference size of 100 units per em, then scaled to the
// requested size and placed at a pen position. Curves are flattened with
// the same adaptive subdivision Matplotlib's renderer uses, and extents are
// the exact bounds of the curves (not of their control points).
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "text/planar_shape.hpp"

namespace glyphway::text {

class FontError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class PathCode : std::uint8_t { MoveTo, LineTo, Curve3, Curve4, ClosePoly };

// A path in the reference size's units (1/100 of the em), as vertices and
// codes: Curve3 takes two vertices (control, end), Curve4 three, ClosePoly
// one (ignored). Every contour starts with MoveTo and ends with ClosePoly.
// As in a Matplotlib Path, there is one code per vertex (a Curve3 segment
// is two Curve3 codes), so `codes.size() == vertices.size()`.
struct OutlinePath {
    std::vector<Point2> vertices;
    std::vector<PathCode> codes;
    bool empty() const { return vertices.empty(); }
};

// The rings and extents of one text path at its size and position.
struct TextPathGeometry {
    std::vector<Ring> rings;  // closed rings of 3 or more points
    Extents extents;          // empty when the path has no vertices
};

// One font file opened with FreeType (face 0 of a collection).
class FontFace {
public:
    explicit FontFace(const std::string& path);  // throws FontError
    ~FontFace();
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;

    // The outline of the glyph the font maps `codepoint` to (its .notdef
    // glyph when unmapped), at the reference size.
    OutlinePath glyph_path(char32_t codepoint) const;

    // Whether the font's character map gives `codepoint` a glyph of its
    // own (not .notdef).
    bool has_glyph(char32_t codepoint) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Matplotlib clamps font sizes below 1 to 1 before building a text path.
double text_path_size(double font_size);

// Scales `path` from the reference size to `size` (already clamped), moves it
// to (x0, y0), flattens it into rings and measures its extents.
TextPathGeometry make_text_path(const OutlinePath& path, double size, double x0, double y0);

}  // namespace glyphway::text
