#include "text/text_shaping.hpp"

#include <hb.h>

#include "text/glyph_outline.hpp"
#include "text/text_mesh_engine.hpp"

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

TextShaper::TextShaper(const std::string& font_path) : font_path_(font_path) {
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
    units_per_em_ = hb_face_get_upem(face);
    hb_font_t* font = hb_font_create(face);
    hb_face_destroy(face);
    // Positions in font units, scaled to the font size afterwards in
    // doubles: no rounding to a pixel grid anywhere.
    const int scale = static_cast<int>(units_per_em_);
    hb_font_set_scale(font, scale, scale);
    hb_font_make_immutable(font);
    font_.reset(font, hb_font_destroy);
    hb_codepoint_t space_glyph = 0;
    has_space_glyph_ = hb_font_get_nominal_glyph(font, kSpace, &space_glyph) != 0;
}

ShapedText TextShaper::shape(const std::u32string& text, double font_size, double letter_spacing) const {
    ShapedText result;
    if (text.empty()) return result;

    std::unique_ptr<hb_buffer_t, BufferDeleter> owned(hb_buffer_create());
    hb_buffer_t* buffer = owned.get();
    std::vector<hb_codepoint_t> codepoints(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) codepoints[i] = is_whitespace(text[i]) ? kSpace : text[i];
    const int length = static_cast<int>(codepoints.size());
    hb_buffer_add_utf32(buffer, codepoints.data(), length, 0, length);
    hb_buffer_set_direction(buffer, HB_DIRECTION_LTR);
    hb_buffer_set_language(buffer, neutral_language());
    hb_buffer_guess_segment_properties(buffer);
    hb_shape(font_.get(), buffer, kFeatures, sizeof kFeatures / sizeof kFeatures[0]);
    if (hb_buffer_get_content_type(buffer) != HB_BUFFER_CONTENT_TYPE_GLYPHS) {
        throw FontError("cannot shape text with font '" + font_path_ + "': HarfBuzz ran out of memory");
    }

    unsigned count = 0;
    const hb_glyph_info_t* infos = hb_buffer_get_glyph_infos(buffer, &count);
    const hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(buffer, nullptr);
    const double scale = text_path_size(font_size) / static_cast<double>(units_per_em_);
    result.glyphs.resize(count);
    for (unsigned i = 0; i < count; ++i) {
        ShapedGlyph& glyph = result.glyphs[i];
        glyph.cluster = infos[i].cluster;
        glyph.character = text[glyph.cluster];
        glyph.glyph_id = infos[i].codepoint;
        glyph.x_advance = positions[i].x_advance * scale;
        glyph.x_offset = positions[i].x_offset * scale;
        glyph.y_offset = positions[i].y_offset * scale;
        if (!has_space_glyph_ && is_whitespace(glyph.character)) {
            glyph.x_advance = 0.5 * font_size;
            glyph.x_offset = 0.0;
            glyph.y_offset = 0.0;
        }
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
