#pragma once
// Text auto-fit: shrink a name's font and letter spacing until it fits its
// line, down to configured minimums, then (strategy "truncate") cut it and
// append an ellipsis when it still overruns.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/label_record.hpp"

namespace glyphway::engine {

// Character width estimate per unit of font size.
inline constexpr double kCharWidthPerFontSize = 1.1;

// Relative slack of every fit decision. A name scaled to its line exactly
// often estimates one rounding step longer than the line; it fits.
inline constexpr double kFitTolerance = 1e-9;

struct AutofitSettings {
    bool enabled = true;  // auto-fit on and curved text on
    double font_size = 0.0;
    double letter_spacing = 0.0;
    double min_font_scale = 0.0;
    double min_letter_spacing = 0.0;
    bool truncate = true;  // overflow strategy "truncate"
};

struct FittedText {
    std::string text;
    std::int64_t text_len = 0;
    double font_size = 0.0;
    double letter_spacing = 0.0;
    double char_width_est = 0.0;
};

// The keys auto-fit writes, always together, in this order.
inline constexpr Field kAutofitOrder[] = {Field::effective_text, Field::effective_text_len,
                                          Field::effective_font_size,
                                          Field::effective_letter_spacing,
                                          Field::effective_char_width_est};

// Length of n characters of width char_w with `spacing` between neighbours.
double estimate_length(std::int64_t n, double char_w, double spacing);

// The fit of one name of `text_len` characters on a line of `line_len`.
FittedText fit_text(std::string_view text, std::int64_t text_len, double line_len,
                    const AutofitSettings& settings);

// Fits every record (text, text_len -> len(text), line_len -> 0.0) and writes
// the five effective_ keys; does nothing when auto-fit is not enabled.
void apply_autofit(std::vector<LabelRecord>& records, const AutofitSettings& settings);

}  // namespace glyphway::engine
