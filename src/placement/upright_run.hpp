#pragma once
// An upright run: the glyphs of a Chinese (or Japanese, Korean) name laid
// along a road the way such names are lettered on a map, every character
// standing upright (its top towards north, its baseline east-west) rather
// than turned with the road.
//
// On a road steeper than 45 degrees from east-west (judged by the chord of
// the label's span) the characters run from the road's northern end
// southwards, one under another like a column bent along the road; on a
// flatter road they run west to east. Either way they sit evenly spaced
// along the road, one step per label, the step taken from the span's
// direction so that neighbouring boxes just clear each other.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "placement/glyph_run.hpp"

namespace glyphway::placement {

// How a cartographic label's characters stand. along: they turn with the
// road; upright: every label stands upright; automatic: upright for names
// that are mostly CJK (mostly_cjk), along for the others.
enum class CjkOrientation { along, upright, automatic };

// Whether more than half of the text's non-blank characters are Han, kana,
// Hangul, CJK punctuation or fullwidth forms. `blank` flags the characters
// drawn as nothing (word spaces), one per code point as the run's
// BlankGlyphs gives them; empty (or of another length): none is. A text
// with no such characters, or none but blanks, is not.
bool mostly_cjk(std::u32string_view text, const std::vector<bool>& blank = {});

// Whether a label of `utf8_text` is laid out upright under `orientation`
// (`blank` as for mostly_cjk).
bool stands_upright(CjkOrientation orientation, const std::string& utf8_text,
                    const std::vector<bool>& blank = {});

// The room along the line an upright run of these advances needs: the
// glyph count times the largest step any road direction can ask for, so a
// slot of this width holds the run whichever way the road runs.
double upright_span_width(const std::vector<double>& advances, double font_size);

// Lays out glyphs of the given advances upright, centred in
// [start, start + upright_span_width(advances, font_size)] of the line.
// Each PlacedGlyph has origin = the line's point at the glyph's centre,
// direction = east (1, 0, 0), advance = its own advance and an axis-aligned
// box (advance wide, font_size high) centred on the origin; the run's span
// is the glyph count times the step. Nothing is returned when the span
// leaves the line, when the line turns by more than `max_turn` (radians) at
// a vertex inside the span or between the directions from one glyph's
// centre to the next, when two glyphs' boxes of the run would overlap (a
// road bending under a tall column), or when `keep` refuses a glyph. A
// blank (a word space) keeps its step like any glyph, so the column's
// rhythm is unbroken.
std::optional<GlyphRun> lay_out_upright_run(const engine::LineGeometry& line, double start,
                                            const std::vector<double>& advances,
                                            double font_size, double max_turn,
                                            const GlyphFilter& keep = {});

}  // namespace glyphway::placement
