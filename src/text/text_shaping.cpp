#include "text/text_shaping.hpp"

#include <hb.h>

#include "text/glyph_outline.hpp"
#include "text/font_chain.hpp"

namespace glyphway::text {

namespace {

constexpr hb_codepoint_t kSpace = 0x20;

hb_feature_t feature_off(hb_tag_t tag) { return {tag, 0, HB_FEATURE_GLOBAL_START, HB_FEATURE_GLOBAL_END}; }

const hb_feature_t kFeatures[] = {
    feature_off(HB_TAG('l', 'i', 'g', 'a')),
    feature_off(HB_TAG('c', 'l', 'i', 'g')),
};

// "Undetermined": the font's default language system, whatever the
// locale of the process that shapes.
hb_language_t neutral_language() {
    static const hb_language_t language = hb_language_from_string("und", -1);
    return language;
}

struct BufferDeleter {
    void operator()(hb_buffer_t* buffer) const { hb_buffer_destroy(buffer); }
};

}  // namespace

TextShaper::ShapingFont TextShaper::open_font(const std::string& font_path) {
    hb_blob_t* blob = hb_blob_create_from_file_or_fail(font_path.c_str());
    if (blob == nullptr) throw FontError("cannot open font '" + font_path + "': the file cannot be read");
    hb_face_t* face = hb_face_create(blob, 0);
    hb_blob_destroy(blob);
    // HarfBuzz never fails to make a face; a file that is no OpenType font
    // gives an empty one.
    if (hb_face_get_glyph_count(face) == 0) {
        hb_face_destroy(face);
        throw FontError("cannot shape with font '" + font_path + "': it holds no OpenType glyphs");
    }
    ShapingFont opened;
    opened.path = font_path;
    opened.units_per_em = hb_face_get_upem(face);
    hb_font_t* font = hb_font_create(face);
    hb_face_destroy(face);
    // Positions in font units, scaled to the font size afterwards in
    // doubles: no rounding to a pixel grid anywhere.
    const int scale = static_cast<int>(opened.units_per_em);
    hb_font_set_scale(font, scale, scale);
    hb_font_make_immutable(font);
    opened.font.reset(font, hb_font_destroy);
    hb_codepoint_t space_glyph = 0;
    opened.has_space_glyph = hb_font_get_nominal_glyph(font, kSpace, &space_glyph) != 0;
    return opened;
}

TextShaper::TextShaper(const std::string& font_path) { fonts_.push_back(open_font(font_path)); }

TextShaper::TextShaper(const std::vector<std::string>& font_paths) {
    if (font_paths.empty()) throw FontError("no font to shape with: the list of fonts is empty");
    for (const std::string& path : font_paths) fonts_.push_back(open_font(path));
}

std::vector<std::size_t> TextShaper::fonts_of(const std::u32string& text) const {
    std::vector<std::size_t> fonts(text.size(), 0);
    if (fonts_.size() == 1) return fonts;
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t current = kNone;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (is_whitespace(text[i])) {
            fonts[i] = current;
            continue;
        }
        std::size_t chosen = 0;  // none has it: the first font's .notdef
        for (std::size_t f = 0; f < fonts_.size(); ++f) {
            hb_codepoint_t glyph = 0;
            if (hb_font_get_nominal_glyph(fonts_[f].font.get(), text[i], &glyph)) {
                chosen = f;
                break;
            }
        }
        fonts[i] = current = chosen;
    }
    // Leading whitespace joins the first run after it; a string of nothing
    // but whitespace is the first font's.
    std::size_t next = 0;
    for (std::size_t i = text.size(); i-- > 0;) {
        if (fonts[i] == kNone) {
            fonts[i] = next;
        } else {
            next = fonts[i];
        }
    }
    return fonts;
}

void TextShaper::shape_run(const std::vector<std::uint32_t>& codepoints, const std::u32string& text,
                           std::size_t start, std::size_t length, std::size_t font_index,
                           double font_size, std::vector<ShapedGlyph>& out) const {
    const ShapingFont& font = fonts_[font_index];
    std::unique_ptr<hb_buffer_t, BufferDeleter> owned(hb_buffer_create());
    hb_buffer_t* buffer = owned.get();
    // The whole string goes in as context, so a run's clusters are indices
    // into the whole string.
    hb_buffer_add_utf32(buffer, codepoints.data(), static_cast<int>(codepoints.size()),
                        static_cast<unsigned>(start), static_cast<int>(length));
    hb_buffer_set_direction(buffer, HB_DIRECTION_LTR);
    hb_buffer_set_language(buffer, neutral_language());
    hb_buffer_guess_segment_properties(buffer);
    hb_shape(font.font.get(), buffer, kFeatures, sizeof kFeatures / sizeof kFeatures[0]);
    if (hb_buffer_get_content_type(buffer) != HB_BUFFER_CONTENT_TYPE_GLYPHS) {
        throw FontError("cannot shape text with font '" + font.path + "': HarfBuzz ran out of memory");
    }

    unsigned count = 0;
    const hb_glyph_info_t* infos = hb_buffer_get_glyph_infos(buffer, &count);
    const hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(buffer, nullptr);
    const double scale = text_path_size(font_size) / static_cast<double>(font.units_per_em);
    for (unsigned i = 0; i < count; ++i) {
        ShapedGlyph glyph;
        glyph.cluster = infos[i].cluster;
        glyph.character = text[glyph.cluster];
        glyph.glyph_id = infos[i].codepoint;
        glyph.font = font_index;
        glyph.x_advance = positions[i].x_advance * scale;
        glyph.x_offset = positions[i].x_offset * scale;
        glyph.y_offset = positions[i].y_offset * scale;
        if (!font.has_space_glyph && is_whitespace(glyph.character)) {
            glyph.x_advance = 0.5 * font_size;
            glyph.x_offset = 0.0;
            glyph.y_offset = 0.0;
        }
        out.push_back(glyph);
    }
}

ShapedText TextShaper::shape(const std::u32string& text, double font_size, double letter_spacing) const {
    ShapedText result;
    if (text.empty()) return result;

    std::vector<std::uint32_t> codepoints(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) codepoints[i] = is_whitespace(text[i]) ? kSpace : text[i];
    const std::vector<std::size_t> fonts = fonts_of(text);
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = start + 1;
        while (end < text.size() && fonts[end] == fonts[start]) ++end;
        shape_run(codepoints, text, start, end - start, fonts[start], font_size, result.glyphs);
        start = end;
    }
    for (std::size_t i = 0; i + 1 < result.glyphs.size(); ++i) {
        if (result.glyphs[i + 1].cluster != result.glyphs[i].cluster) result.glyphs[i].x_advance += letter_spacing;
    }
    for (const ShapedGlyph& glyph : result.glyphs) result.width += glyph.x_advance;
    return result;
}

std::vector<double> character_advances(const ShapedText& shaped, std::size_t length) {
    std::vector<double> advances(length, 0.0);
    for (const ShapedGlyph& glyph : shaped.glyphs) {
        if (glyph.cluster < length) advances[glyph.cluster] += glyph.x_advance;
    }
    return advances;
}

}  // namespace glyphway::text
