#include "pipeline/pipeline_settings.hpp"

namespace glyphway::pipeline {

engine::SamplingSettings Settings::sampling() const {
    engine::SamplingSettings s;
    s.text_count = text_count > 0 ? text_count : 0;
    s.distance_interval = distance_interval;
    s.add_at_endpoints = add_at_endpoints;
    return s;
}

engine::AutofitSettings Settings::autofit() const {
    engine::AutofitSettings s;
    s.enabled = auto_fit_text && curved_text;
    s.font_size = font_size;
    s.letter_spacing = letter_spacing;
    s.min_font_scale = min_font_scale;
    s.min_letter_spacing = min_letter_spacing;
    s.truncate = overflow_strategy == Overflow::truncate;
    return s;
}

engine::GroupingSettings Settings::grouping() const {
    engine::GroupingSettings s;
    s.mode = repeat_mode;
    // Only joining roads by name needs a tolerance and its fall-back size.
    if (s.mode != engine::RepeatMode::name_connected) return s;
    s.font_size = font_size;
    s.connect_eps = connect_eps;
    return s;
}

}  // namespace glyphway::pipeline
