#include "pipeline/options.hpp"

#include <cmath>

namespace glyphway::pipeline {

namespace {

// What the range asks for, or nullptr when `value` is in it.
const char* number_wanted(OptionRange range, double value) {
    switch (range) {
        case OptionRange::positive:
            return std::isfinite(value) && value > 0.0 ? nullptr : "a positive finite number";
        case OptionRange::non_negative:
            return std::isfinite(value) && value >= 0.0 ? nullptr : "a finite number >= 0";
        case OptionRange::finite: return std::isfinite(value) ? nullptr : "a finite number";
        // A turn of 0 would refuse every road that is not a ruler line, and
        // one past half a turn means nothing.
        case OptionRange::turn_degrees:
            return value > 0.0 && value <= 180.0 ? nullptr : "above 0 and at most 180 degrees";
        default: return nullptr;
    }
}

}  // namespace

void check_number(const OptionInfo& option, double value, const std::string& spelled) {
    if (const char* wanted = number_wanted(option.range, value)) {
        throw OptionError(std::string(option.name) + " must be " + wanted + ", not " + spelled);
    }
}

Style style_named(std::string_view name, const std::string& spelled) {
    if (name == kCartographicStyleName) return Style::cartographic;
    if (name == kIntervalStyleName) return Style::interval;
    throw OptionError(std::string("style must be '") + kIntervalStyleName + "' or '" +
                      kCartographicStyleName + "', not " + spelled);
}

placement::CjkOrientation cjk_orientation_named(std::string_view name, const std::string& spelled) {
    if (name == "along" || name == "upright" || name == "auto") return cjk_orientation_default(name);
    throw OptionError("cjk_orientation must be 'along', 'upright' or 'auto', not " + spelled);
}

std::optional<int> angle_decimals(std::string_view digits) {
    const bool negative = !digits.empty() && digits[0] == '-';
    const std::size_t first = negative ? 1 : 0;
    bool plain = digits.size() > first;
    long value = 0;
    for (std::size_t i = first; i < digits.size() && plain; ++i) {
        plain = digits[i] >= '0' && digits[i] <= '9';
        if (plain && value <= kMaxAngleDecimals) value = value * 10 + (digits[i] - '0');
    }
    if (!plain) return std::nullopt;
    if (negative || value > kMaxAngleDecimals) {
        throw OptionError("angle_precision must be a whole number from 0 to " +
                          std::to_string(kMaxAngleDecimals) + ", not " + std::string(digits));
    }
    return static_cast<int>(value);
}

void check_sampling(const Options& options) {
    try {
        engine::check_sampling_settings(options.sampling());
    } catch (const engine::SamplingError& e) {
        throw OptionError(e.what());
    }
}

std::vector<std::string> Options::font_chain() const {
    std::vector<std::string> chain{font_path.value_or(std::string())};
    chain.insert(chain.end(), fallback_fonts.begin(), fallback_fonts.end());
    return chain;
}

engine::SamplingSettings Options::sampling() const {
    engine::SamplingSettings s;
    s.text_count = text_count && *text_count > 0 ? *text_count : 0;
    s.distance_interval = distance_interval;
    s.add_at_endpoints = add_at_endpoints;
    return s;
}

engine::AutofitSettings Options::autofit() const {
    engine::AutofitSettings s;
    s.enabled = auto_fit_text && curved_text;
    s.font_size = font_size;
    s.letter_spacing = letter_spacing;
    s.min_font_scale = min_font_scale;
    s.min_letter_spacing = min_letter_spacing;
    s.truncate = overflow_strategy == Overflow::truncate;
    return s;
}

engine::GroupingSettings Options::grouping() const {
    engine::GroupingSettings s;
    s.mode = repeat_mode;
    // Only joining roads by name needs a tolerance and its fall-back size.
    if (s.mode != engine::RepeatMode::name_connected) return s;
    s.font_size = font_size;
    s.connect_eps = connect_eps;
    return s;
}

}  // namespace glyphway::pipeline
