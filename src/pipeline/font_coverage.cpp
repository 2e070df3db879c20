#include "pipeline/font_coverage.hpp"

#include <algorithm>
#include <cstdio>

#include "engine/utf8_text.hpp"
#include "text/font_chain.hpp"

namespace glyphway::pipeline {

namespace {

// A character as the message shows it: itself (when it prints as one)
// and its code point, "中 (U+4E2D)".
std::string shown_character(char32_t c) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
    const bool printable = c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0) &&
                           !(c >= 0xD800 && c <= 0xDFFF) && c <= 0x10FFFF;
    if (!printable) return code;
    std::string utf8;
    if (c < 0x80) {
        utf8 += static_cast<char>(c);
    } else if (c < 0x800) {
        utf8 += static_cast<char>(0xC0 | (c >> 6));
        utf8 += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        utf8 += static_cast<char>(0xE0 | (c >> 12));
        utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        utf8 += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        utf8 += static_cast<char>(0xF0 | (c >> 18));
        utf8 += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        utf8 += static_cast<char>(0x80 | (c & 0x3F));
    }
    return utf8 + " (" + code + ")";
}

std::string joined_paths(const std::vector<std::string>& paths) {
    std::string out;
    for (const std::string& path : paths) out += (out.empty() ? "" : ", ") + path;
    return out;
}

}  // namespace

std::vector<char32_t> name_characters(const RoadTable& table) {
    // One bit per code point: a country's millions of names cost one pass.
    constexpr char32_t kCodePoints = 0x110000;
    std::vector<bool> seen(kCodePoints, false);
    for (const engine::SampledFeature& feature : table.features) {
        for (char32_t c : engine::code_points(feature.text)) {
            if (c < kCodePoints) seen[c] = true;
        }
    }
    std::vector<char32_t> characters;
    for (char32_t c = 0; c < kCodePoints; ++c) {
        if (seen[c]) characters.push_back(c);
    }
    return characters;
}

FontCoverage check_font_coverage(const RoadTable& table, const std::vector<std::string>& font_paths,
                                 const std::function<std::string()>& installed_cjk_font) {
    FontCoverage coverage;
    try {
        text::FontChain chain(font_paths);
        coverage.missing = text::characters_without_glyph(chain, name_characters(table));
    } catch (const text::FontError&) {
        return {};
    }
    if (coverage.missing.empty()) return coverage;
    const std::string found = installed_cjk_font();
    if (found.empty() || std::find(font_paths.begin(), font_paths.end(), found) != font_paths.end()) {
        return coverage;
    }
    std::vector<char32_t> still;
    try {
        text::FontChain added({found});
        still = text::characters_without_glyph(added, coverage.missing);
    } catch (const text::FontError&) {
        return coverage;  // the search's font cannot be read: the chain stays as it is
    }
    if (still.size() == coverage.missing.size()) return coverage;
    coverage.added_font = found;
    coverage.added_draws = coverage.missing.size() - still.size();
    coverage.missing = std::move(still);
    return coverage;
}

std::string font_fallback_line(const FontCoverage& coverage) {
    return "[glyphway_maker] Font fallback: " + coverage.added_font + " draws " +
           std::to_string(coverage.added_draws) +
           (coverage.added_draws == 1 ? " character" : " characters") +
           " of the names that the chosen fonts lack";
}

std::string missing_glyphs_warning(const std::vector<char32_t>& missing,
                                   const std::vector<std::string>& font_paths) {
    std::string line = "[glyphway_maker] WARNING: " + std::to_string(missing.size()) +
                       (missing.size() == 1 ? " distinct character" : " distinct characters") +
                       " of the names " + (missing.size() == 1 ? "has" : "have") + " no glyph in " +
                       (font_paths.size() == 1 ? "the font " : "any of the fonts ") +
                       joined_paths(font_paths) + " and will be drawn as the missing-glyph box: ";
    for (std::size_t i = 0; i < missing.size() && i < kListedMissing; ++i) {
        line += (i ? ", " : "") + shown_character(missing[i]);
    }
    if (missing.size() > kListedMissing) line += ", ...";
    return line;
}

}  // namespace glyphway::pipeline
