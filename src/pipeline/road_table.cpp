#include "pipeline/road_table.hpp"

#include <utility>

#include "engine/utf8_text.hpp"
#include "text/text_mesh_engine.hpp"

namespace glyphway::pipeline {

namespace {

// The length of the UTF-8 sequence a lead byte starts.
std::size_t sequence_length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    return 4;
}

char32_t decode_at(std::string_view text, std::size_t at, std::size_t length) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[at + k]); };
    switch (length) {
        case 1: return byte(0);
        case 2: return (char32_t(byte(0) & 0x1F) << 6) | (byte(1) & 0x3F);
        case 3: return (char32_t(byte(0) & 0x0F) << 12) | (char32_t(byte(1) & 0x3F) << 6) |
                       (byte(2) & 0x3F);
        default:
            return (char32_t(byte(0) & 0x07) << 18) | (char32_t(byte(1) & 0x3F) << 12) |
                   (char32_t(byte(2) & 0x3F) << 6) | (byte(3) & 0x3F);
    }
}

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// `text` without the whitespace at both ends. The text layer's whitespace
// is the host language's: the two strip the same characters.
std::string_view stripped(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t n = sequence_length(static_cast<unsigned char>(text[begin]));
        if (!text::is_whitespace(decode_at(text, begin, n))) break;
        begin += n;
    }
    std::size_t end = text.size();
    while (end > begin) {
        std::size_t start = end - 1;
        while (start > begin && is_continuation(static_cast<unsigned char>(text[start]))) --start;
        if (!text::is_whitespace(decode_at(text, start, end - start))) break;
        end = start;
    }
    return text.substr(begin, end - begin);
}

// Whether `text` is `lower` (plain ASCII lower case) in any letter case.
// No code point outside ASCII lowers to a single ASCII letter but the
// Kelvin sign (to "k"), so an ASCII comparison is the host's lower() == .
bool reads_as(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lower[i]) return false;
    }
    return true;
}

// `text` with its control characters (C0, DEL and C1) taken out, each that
// is whitespace (a tab, CR, LF, NEL ...) becoming a space, the rest dropped:
// a UTF-8 name read as Latin-1 carries C1 characters, and a name may hold a
// stray tab or NUL; none of them is a glyph. A trailing CR LF still ends up
// stripped, as before.
std::string without_controls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t n = sequence_length(static_cast<unsigned char>(text[at]));
        const char32_t c = decode_at(text, at, n);
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
            if (text::is_whitespace(c)) out.push_back(' ');
        } else {
            out.append(text.substr(at, n));
        }
        at += n;
    }
    return out;
}

}  // namespace

std::optional<std::string> cleaned_road_name(std::string_view text) {
    const std::string visible = without_controls(text);
    const std::string_view name = stripped(visible);
    if (name.empty() || reads_as(name, "none") || reads_as(name, "nan")) return std::nullopt;
    return std::string(name);
}

engine::RowShape row_shape_of_geometry_type(int type_id) {
    // GEOS's type ids; Shapely reads a missing geometry as -1.
    switch (type_id) {
        case -1: return engine::RowShape::none;
        case 1:  // LineString
        case 2:  // LinearRing
            return engine::RowShape::line_string;
        case 5: return engine::RowShape::multi_line_string;
        default: return engine::RowShape::other;
    }
}

bool add_road(RoadTable& table, engine::SampledFeature feature, std::size_t line_count) {
    if (line_count == 0) return false;
    feature.text_len = engine::code_point_count(feature.text);
    feature.first_line = table.line_feature.size();
    feature.line_count = line_count;
    table.line_feature.insert(table.line_feature.end(), line_count, table.features.size());
    table.features.push_back(std::move(feature));
    return true;
}

}  // namespace glyphway::pipeline
