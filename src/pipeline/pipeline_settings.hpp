#pragma once
// Every option of one labelling run, typed, with its default. The host
// engine stores its configuration as loose attributes; the module reads
// them into this struct once, and the native run takes nothing else.
#include <cstdint>
#include <optional>
#include <string>

#include "engine/candidate_sampling.hpp"
#include "engine/orientation_frame.hpp"
#include "engine/road_grouping.hpp"
#include "engine/text_autofit.hpp"

namespace glyphway::pipeline {

struct Settings {
    // Reading the table (the module does that; kept here so that one place
    // lists every option).
    std::string name_field = "name";
    std::string weight_field = "weight";
    bool use_utm = false;

    engine::Posture posture = engine::Posture::flat;

    // Sampling: `text_count` labels per line, evenly spaced, when positive;
    // otherwise one every `distance_interval` along the line.
    std::int64_t text_count = 0;
    double distance_interval = 500.0;
    bool add_at_endpoints = false;

    // Text.
    double font_size = 15.0;
    double extrusion_depth = 2.0;
    double letter_spacing = 0.0;
    bool separate_objects = true;
    bool curved_text = true;

    // Auto-fit of names too long for their road (curved text only).
    bool auto_fit_text = true;
    double min_font_scale = 0.35;
    double min_letter_spacing = 0.0;
    // What a name that still does not fit becomes: cut with an ellipsis,
    // or kept whole at the smallest size.
    enum class Overflow { truncate, keep };
    Overflow overflow_strategy = Overflow::truncate;

    // Placement.
    std::string density = "moderate";
    engine::RepeatMode repeat_mode = engine::RepeatMode::name_connected;
    std::optional<double> connect_eps;
    std::optional<std::int64_t> max_global_iterations;

    // The estimated width of one character; font_size * 1.1 when unset.
    std::optional<double> char_width_est;

    double char_width() const { return char_width_est ? *char_width_est : font_size * 1.1; }

    engine::SamplingSettings sampling() const;
    engine::AutofitSettings autofit() const;
    engine::GroupingSettings grouping() const;
};

}  // namespace glyphway::pipeline
