// Runs cartographic placement on roads given on standard input, so the
// Python tests can check what it places without a font or a host.
//
//   cartographic_probe < input
//
// Input, one item per line:
//   set KEY VALUE   font_size, spacing, max_labels_per_road, cap_length,
//                   max_char_angle, connect_eps, slide_step, letter_spacing,
//                   run_through_junctions (0/1), min_font_scale, max_road_fill,
//                   interrupt_after (the interrupt check throws on that call;
//                   the probe then exits with status 3, having printed no label),
//                   density (takes spacing and cap from the profile),
//                   cjk_orientation (along, upright or auto)
//   road NAME WEIGHT N x0 y0 ... xN-1 yN-1     one feature with one line
// Glyph advances are fixed: one glyph per code point, 1.0 font size wide
// for CJK ideographs and kana, 0.6 for anything else, plus letter spacing.
// Output:
//   road INDEX FEATURE PIECES LENGTH
//   label FEATURE ROAD REVERSED START LENGTH GLYPHS FONT_SIZE TEXT
//   glyph DISTANCE OX OY DX DY WIDTH HEIGHT       (one per glyph, after its label)
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "engine/density_profile.hpp"
#include "engine/utf8_text.hpp"
#include "placement/cartographic_placement.hpp"

#include "pipeline/options.hpp"
#include "road_input.hpp"

namespace en = glyphway::engine;
namespace pc = glyphway::placement;

int main() {
    // The run's defaults where the input sets nothing.
    const glyphway::pipeline::Options defaults;
    pc::CartographicSettings settings;
    settings.font_size = defaults.font_size;
    settings.max_char_angle = defaults.max_char_angle;
    settings.min_font_scale = defaults.min_font_scale;
    double letter_spacing = 0.0;
    std::string density;
    long interrupt_after = -1;
    std::vector<en::SampledFeature> features;
    std::vector<std::shared_ptr<const en::LineGeometry>> lines;
    const std::string refused = glyphway::probe::read_probe_input(
        std::cin, features, lines, [&](const std::string& key, const std::string& value) {
            if (key == "font_size") settings.font_size = std::stod(value);
            else if (key == "spacing") settings.spacing = std::stod(value);
            else if (key == "max_labels_per_road") settings.max_labels_per_road = std::stoll(value);
            else if (key == "cap_length") settings.cap_length = std::stod(value);
            else if (key == "max_char_angle") settings.max_char_angle = std::stod(value);
            else if (key == "connect_eps") settings.connect_eps = std::stod(value);
            else if (key == "slide_step") settings.slide_step = std::stod(value);
            else if (key == "letter_spacing") letter_spacing = std::stod(value);
            else if (key == "min_font_scale") settings.min_font_scale = std::stod(value);
            else if (key == "max_road_fill") settings.max_road_fill = std::stod(value);
            else if (key == "run_through_junctions") settings.run_through_junctions = value == "1";
            else if (key == "density") density = value;
            else if (key == "interrupt_after") interrupt_after = std::stol(value);
            else if (key == "cjk_orientation") {
                settings.cjk_orientation =
                    glyphway::pipeline::cjk_orientation_named(value, "'" + value + "'");
            }
            else return false;
            return true;
        });
    if (!refused.empty()) {
        std::cerr << refused << '\n';
        return 2;
    }
    if (!density.empty()) {
        const pc::CartographicSettings from = pc::cartographic_settings(
            en::density_profile(density, settings.font_size), settings.font_size);
        settings.spacing = from.spacing;
        settings.max_labels_per_road = from.max_labels_per_road;
    }
    const double fs = settings.font_size;
    const pc::GlyphAdvances advances = [fs, letter_spacing](const std::string& text) {
        std::vector<double> out;
        for (char32_t c : en::code_points(text)) {
            const bool wide = (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) ||
                              (c >= 0x20000 && c <= 0x2FFFF);
            out.push_back((wide ? 1.0 : 0.6) * fs + letter_spacing);
        }
        return out;
    };

    const std::vector<en::MergedRoad> roads =
        en::merge_named_roads(features, lines, pc::merge_settings(settings));
    for (std::size_t i = 0; i < roads.size(); ++i) {
        std::printf("road %zu %zu %zu %.17g\n", i, roads[i].feature, roads[i].pieces.size(),
                    en::line_length(*roads[i].line));
    }
    struct Interrupted {};
    long checks = 0;
    const en::InterruptCallback interrupt = [&checks, interrupt_after] {
        if (++checks == interrupt_after) throw Interrupted{};
    };
    std::vector<pc::CartographicLabel> labels;
    try {
        labels = pc::place_cartographic(features, lines, settings, advances, interrupt);
    } catch (const Interrupted&) {
        std::printf("interrupted after %ld checks\n", checks);
        return 3;
    }
    for (const pc::CartographicLabel& label : labels) {
        std::printf("label %zu %zu %d %.17g %.17g %zu %.17g %s\n", label.feature, label.road,
                    label.run.reversed ? 1 : 0, label.run.start, label.run.length,
                    label.run.glyphs.size(), label.font_size, label.text.c_str());
        for (const pc::PlacedGlyph& g : label.run.glyphs) {
            std::printf("glyph %.17g %.17g %.17g %.17g %.17g %.17g %.17g\n", g.distance,
                        g.origin.x, g.origin.y, g.box.dx, g.box.dy, g.box.width, g.box.height);
        }
    }
    return 0;
}
