#pragma once
// Whether the run's fonts can draw its names, settled once the road table
// is read and before anything is measured or drawn: a font without a
// character's glyph draws its .notdef box in its place, at the box's
// width, which no output shows as an error. Names the chain cannot draw get
// an installed CJK font at the end of the chain when the host's search
// finds one, and whatever is still missing is said in one warning.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "pipeline/road_table.hpp"

namespace glyphway::pipeline {

// The distinct characters of the roads' names, in code point order.
std::vector<char32_t> name_characters(const RoadTable& table);

struct FontCoverage {
    std::string added_font;          // put at the end of the chain; "" for none
    std::size_t added_draws = 0;     // how many missing characters it draws
    std::vector<char32_t> missing;   // what no font of the chain draws, after that
};

// The coverage of `table`'s names by the chain `font_paths`.
// `installed_cjk_font` is asked (at most once) only when some character has
// no glyph, and answers a font file or "" for none; that font joins the
// chain when it is not in it already and draws some of those characters.
// A font of the chain that cannot be read leaves nothing to say here (the
// stages that draw with it report it), so the result is then empty.
FontCoverage check_font_coverage(const RoadTable& table, const std::vector<std::string>& font_paths,
                                 const std::function<std::string()>& installed_cjk_font);

// "[glyphway_maker] Font fallback: ..." for the font the check added.
std::string font_fallback_line(const FontCoverage& coverage);

// "[glyphway_maker] WARNING: ..." for the characters no font of
// `font_paths` has: how many, and which (the first kListedMissing, then
// "...").
inline constexpr std::size_t kListedMissing = 20;
std::string missing_glyphs_warning(const std::vector<char32_t>& missing,
                                   const std::vector<std::string>& font_paths);

}  // namespace glyphway::pipeline
