#include "pipeline/cartographic_pipeline.hpp"

#include "engine/density_profile.hpp"
#include "engine/utf8_text.hpp"
#include "text/text_mesh_engine.hpp"
#include "text/text_shaping.hpp"

namespace glyphway::pipeline {

placement::CartographicSettings cartographic_placement_settings(const Options& settings,
                                                                double max_char_angle) {
    placement::CartographicSettings s = placement::cartographic_settings(
        engine::density_profile(settings.density, settings.font_size), settings.font_size);
    s.max_char_angle = max_char_angle;
    s.cjk_orientation = settings.cjk_orientation;
    // Without auto-fit a name too long for its road is left out rather than
    // shrunk. The default floor, which lets the interval style squeeze a name
    // into its footprint, would draw street names at a third of their size
    // here; left at that default, a name shrinks to 0.7 of its road's class
    // size at most, and a name that needs more is left out, as a map maker
    // leaves a road unlabelled rather than draw text nobody can read.
    const bool default_floor = settings.min_font_scale == Options{}.min_font_scale;
    s.min_font_scale = !settings.auto_fit_text ? 0.0
                       : default_floor        ? kCartographicMinFontScale
                                              : settings.min_font_scale;
    if (settings.connect_eps) s.connect_eps = settings.connect_eps;
    return s;
}

std::vector<placement::CartographicLabel> run_cartographic(
    const std::vector<engine::SampledFeature>& features,
    const std::vector<std::shared_ptr<const engine::LineGeometry>>& lines,
    const Options& settings, const std::vector<std::string>& font_paths, double max_char_angle,
    StageHost& host) {
    const text::TextShaper shaper(font_paths);
    // One advance per character, so that glyph i of a run is character i of
    // its name; a character composed into the one before it has none.
    const placement::GlyphAdvances advances = [&](const std::string& utf8) {
        const std::u32string text = engine::code_points(utf8);
        return text::character_advances(
            shaper.shape(text, settings.font_size, settings.letter_spacing), text.size());
    };
    const placement::BlankGlyphs blanks = [](const std::string& utf8) {
        std::vector<bool> marks;
        for (char32_t c : engine::code_points(utf8)) marks.push_back(text::is_whitespace(c));
        return marks;
    };
    return placement::place_cartographic(features, lines,
                                         cartographic_placement_settings(settings, max_char_angle),
                                         advances, [&host] { host.check_interrupt(); },
                                         blanks);
}

CartographicLabels place_cartographic_labels(const RoadTable& table, const Options& options,
                                             StageHost& host) {
    host.progress("[glyphway_maker] Placing labels along merged roads...");
    CartographicLabels run;
    run.labels = run_cartographic(table.features, table.lines, options,
                                  options.font_chain(),
                                  options.max_char_angle, host);
    run.weights.reserve(run.labels.size());
    for (const placement::CartographicLabel& label : run.labels) {
        run.weights.push_back(table.features[label.feature].weight);
    }
    return run;
}

}  // namespace glyphway::pipeline
