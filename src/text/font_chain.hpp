#pragma once
// The fonts a text is drawn with, tried per character in order: a Latin
// font first and a CJK font behind it, say, so that each character comes
// from the first font that has a glyph for it. A chain of one font is that
// font alone, its .notdef glyph included.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "text/glyph_outline.hpp"

namespace glyphway::text {

// Python's str.isspace() for one code point, so whitespace is recognised
// the same way whichever side of the binding asks. Whitespace needs no
// glyph: it is drawn as space.
bool is_whitespace(char32_t c);

// Font faces are shared by every chain on the same file and opened on
// first use: a configuration that never draws (a CSV export) never needs a
// readable font.
class FontChain {
public:
    // Throws FontError when `paths` is empty.
    explicit FontChain(std::vector<std::string> paths);

    const std::vector<std::string>& paths() const { return paths_; }
    std::size_t size() const { return paths_.size(); }

    // Throws FontError when the file cannot be read.
    const FontFace& face(std::size_t index);

    // The first font with a glyph for `c`; the first font when none has
    // one, so an unknown character is its .notdef as with that font alone.
    // A chain of one font answers without opening it.
    std::size_t font_for(char32_t c);
    const FontFace& face_for(char32_t c) { return face(font_for(c)); }

    // Whether some font of the chain has a glyph for `c`.
    bool has_glyph(char32_t c);

private:
    std::vector<std::string> paths_;
    std::vector<std::shared_ptr<const FontFace>> faces_;
};

// The characters of `characters` that no font of `chain` has a glyph for,
// in their order; whitespace is never one of them.
std::vector<char32_t> characters_without_glyph(FontChain& chain,
                                               const std::vector<char32_t>& characters);

}  // namespace glyphway::text
