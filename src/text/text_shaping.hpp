#pragma once
// Strings shaped with HarfBuzz: the font's own advances, kerning and mark
// positions, in the units the text mesh engine draws in (a font size is
// the em size in working units), so a label's width and its glyphs'
// places along a road come from the font rather than from outline bounds.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct hb_font_t;

namespace glyphway::text {

// One glyph of a shaped string, in reading order.
struct ShapedGlyph {
    std::size_t cluster = 0;   // index in the input of the first code point the glyph came from
    char32_t character = 0;    // the input's code point at `cluster`
    std::uint32_t glyph_id = 0;
    std::size_t font = 0;      // which font of the shaper's chain the glyph is from
    double x_advance = 0.0;    // pen movement after this glyph, kerning and letter spacing included
    double x_offset = 0.0;     // where the glyph is drawn relative to its pen position
    double y_offset = 0.0;
};

struct ShapedText {
    std::vector<ShapedGlyph> glyphs;
    double width = 0.0;  // the sum of the advances: the pen position after the last glyph
};

// A chain of font files (face 0 of a collection, as FontFace reads it)
// opened for shaping. Each character takes the first font that has a glyph
// for it (the rule of text::FontChain), and a string is shaped in runs of
// consecutive characters from one font, each run with its own font's
// HarfBuzz face and scaled by that font's own units per em, so every font
// comes out at the one font size; a chain of one font shapes the whole
// string as one run. Whitespace has no font of its own: it joins the run
// it stands in (or the one after it, at the start). Shaping choices, the
// same for every string:
// - Ligatures ('liga', 'clig') are off: labels bent along a road place
//   every character on its own, which a glyph standing for two characters
//   would defeat. Kerning, mark positioning and the font's required
//   substitutions stay on.
// - Script is guessed per string; the language is fixed rather than taken
//   from the process locale, so the same name shapes the same everywhere.
// - Direction is always left to right. Road names here are Latin and CJK;
//   right-to-left scripts would need the whole layout along the road
//   reversed, which nothing downstream does, so they are set left to right
//   in logical order instead.
// - Every character the text layer counts as whitespace (is_whitespace)
//   takes its run's font's space glyph and its advance; a font without a
//   space glyph gives half an em, as the mesh engine does.
// - Sizes below 1 are shaped at 1, the size the mesh engine draws them at.
//
// A shaper is read-only once built: shape() may run on several threads at
// once (the HarfBuzz font is immutable and each call has its own buffer),
// and copies share the one font.
class TextShaper {
public:
    explicit TextShaper(const std::string& font_path);  // throws FontError
    // Throws FontError for a font that cannot be used, or no font at all.
    explicit TextShaper(const std::vector<std::string>& font_paths);

    // The first font's.
    const std::string& font_path() const { return fonts_.front().path; }
    unsigned units_per_em() const { return fonts_.front().units_per_em; }
    std::size_t font_count() const { return fonts_.size(); }

    // `letter_spacing` is added between clusters only (a base character and
    // the marks on it stay together), never after the last glyph.
    ShapedText shape(const std::u32string& text, double font_size, double letter_spacing) const;

private:
    struct ShapingFont {
        std::string path;
        std::shared_ptr<hb_font_t> font;
        unsigned units_per_em = 0;
        bool has_space_glyph = false;
    };

    static ShapingFont open_font(const std::string& path);
    // The chain's font for each character of `text`, whitespace included.
    std::vector<std::size_t> fonts_of(const std::u32string& text) const;
    void shape_run(const std::vector<std::uint32_t>& codepoints, const std::u32string& text,
                   std::size_t start, std::size_t length, std::size_t font, double font_size,
                   std::vector<ShapedGlyph>& out) const;

    std::vector<ShapingFont> fonts_;
};

// The advance of each code point of the `length`-character input of
// `shaped`: a cluster's advances go to its first code point and the others
// of the cluster get 0, so a layout that walks the string one character at
// a time still ends at `shaped.width`.
std::vector<double> character_advances(const ShapedText& shaped, std::size_t length);

}  // namespace glyphway::text
