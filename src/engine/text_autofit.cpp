#include "engine/text_autofit.hpp"

#include <algorithm>

#include "engine/utf8_text.hpp"

namespace glyphway::engine {

namespace {

FittedText unfitted(std::string_view text, std::int64_t text_len, const AutofitSettings& s) {
    return {std::string(text), text_len, s.font_size, s.letter_spacing,
            s.font_size * kCharWidthPerFontSize};
}

// The two sides of one tolerant comparison. They are kept as two tests (not
// one negated) so a NaN length neither overflows nor fits, as with plain
// comparisons.
bool overruns(double estimate, double line_len) {
    return estimate - line_len > kFitTolerance * line_len;
}
bool fits(double estimate, double line_len) {
    return estimate - line_len <= kFitTolerance * line_len;
}

}  // namespace

double estimate_length(std::int64_t n, double char_w, double spacing) {
    return static_cast<double>(n) * char_w +
           static_cast<double>(std::max<std::int64_t>(n - 1, 0)) * spacing;
}

FittedText fit_text(std::string_view text, std::int64_t text_len, double line_len,
                    const AutofitSettings& s) {
    if (text.empty()) return unfitted(text, 0, s);
    if (line_len <= 0.0 || text_len <= 0) return unfitted(text, std::max<std::int64_t>(text_len, 0), s);

    const double base_est = estimate_length(text_len, s.font_size * kCharWidthPerFontSize,
                                            s.letter_spacing);
    if (base_est <= 0.0) return unfitted(text, text_len, s);

    // Never enlarge, never below the minimum scale (written as the
    // conditional choices they are, so NaN takes the same branches).
    double scale = line_len / base_est;
    scale = scale < 1.0 ? scale : 1.0;
    scale = scale > s.min_font_scale ? scale : s.min_font_scale;

    FittedText fit;
    fit.font_size = s.font_size * scale;
    const double spacing = s.letter_spacing * scale;
    fit.letter_spacing = spacing > s.min_letter_spacing ? spacing : s.min_letter_spacing;
    fit.char_width_est = fit.font_size * kCharWidthPerFontSize;
    const auto fitted_length = [&](std::int64_t n) {
        return estimate_length(n, fit.char_width_est, fit.letter_spacing);
    };

    // A single character has nothing to cut: truncating it would only add
    // the ellipsis and turn one character into two.
    if (s.truncate && text_len > 1 && overruns(fitted_length(text_len), line_len)) {
        // Longest prefix that fits together with one ellipsis character.
        std::int64_t best = 1;
        std::int64_t lo = 1;
        std::int64_t hi = text_len - 1;
        while (lo <= hi) {
            const std::int64_t mid = lo + (hi - lo) / 2;
            if (fits(fitted_length(mid + 1), line_len)) {
                best = mid;
                lo = mid + 1;
            } else {
                hi = mid - 1;
            }
        }
        fit.text = code_point_prefix(text, best);
        fit.text += kEllipsis;
        fit.text_len = best + 1;
    } else {
        fit.text = std::string(text);
        fit.text_len = text_len;
    }
    return fit;
}

void apply_autofit(std::vector<LabelRecord>& records, const AutofitSettings& settings) {
    if (!settings.enabled) return;
    for (LabelRecord& r : records) {
        const std::string_view text = record_text(r);
        // Lengths are only looked at for a non-empty name.
        const std::int64_t text_len = text.empty() ? 0 : record_text_len(r);
        const double line_len = text.empty() ? 0.0 : record_line_len(r);
        FittedText fit = fit_text(text, text_len, line_len, settings);
        r.effective_text = std::move(fit.text);
        r.effective_text_len = fit.text_len;
        r.effective_font_size = fit.font_size;
        r.effective_letter_spacing = fit.letter_spacing;
        r.effective_char_width_est = fit.char_width_est;
        for (Field f : kAutofitOrder) mark_written(r, f);
    }
}

}  // namespace glyphway::engine
