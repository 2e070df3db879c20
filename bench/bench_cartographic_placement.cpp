// Times cartographic placement against the interval pipeline on the same
// roads, in one process so that reading the input counts for neither.
//
//   bench_cartographic_placement [REPEATS] < input
//
// Input as tests/native/cartographic_probe reads it ("set font_size FS" and
// "road NAME WEIGHT N x0 y0 ..." lines; other settings are ignored). Both
// run at that font size with the moderate profile; cartographic placement
// uses the probe's fixed advances (0.6 font size a glyph, 1.0 for CJK).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "engine/density_profile.hpp"
#include "engine/utf8_text.hpp"
#include "pipeline/cartographic_pipeline.hpp"
#include "pipeline/label_pipeline.hpp"
#include "placement/cartographic_placement.hpp"

#include "../tests/native/road_input.hpp"

namespace en = glyphway::engine;
namespace pc = glyphway::placement;
namespace pl = glyphway::pipeline;

namespace {

template <class F>
double best_seconds(int repeats, F&& run) {
    double best = 1e300;
    for (int i = 0; i < repeats; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        run();
        const auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::atoi(argv[1]) : 3;
    double fs = 15.0;
    std::vector<en::SampledFeature> features;
    std::vector<std::shared_ptr<const en::LineGeometry>> lines;
    // Settings other than the font size are the probe's; they are ignored.
    const std::string refused = glyphway::probe::read_probe_input(
        std::cin, features, lines, [&](const std::string& key, const std::string& value) {
            if (key == "font_size") fs = std::stod(value);
            return true;
        });
    if (!refused.empty()) {
        std::cerr << refused << '\n';
        return 2;
    }
    pl::Options interval;
    interval.font_size = fs;
    std::size_t kept = 0;
    const double t_interval = best_seconds(repeats, [&] {
        kept = pl::run_pipeline(features, lines, interval).size();
    });

    // The run's own settings at that font size, as the cartographic style uses them.
    const pc::CartographicSettings settings =
        pl::cartographic_placement_settings(interval, interval.max_char_angle);
    const pc::GlyphAdvances advances = [fs](const std::string& text) {
        std::vector<double> out;
        for (char32_t c : en::code_points(text)) {
            const bool wide = (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) ||
                              (c >= 0x20000 && c <= 0x2FFFF);
            out.push_back((wide ? 1.0 : 0.6) * fs);
        }
        return out;
    };
    std::size_t placed = 0;
    const double t_merge = best_seconds(repeats, [&] {
        en::merge_named_roads(features, lines, pc::merge_settings(settings));
    });
    const double t_cartographic = best_seconds(repeats, [&] {
        placed = pc::place_cartographic(features, lines, settings, advances).size();
    });
    std::printf("features %zu\ninterval      %8.3f s  %zu records\n", features.size(), t_interval,
                kept);
    std::printf("cartographic  %8.3f s  %zu labels (merging %.3f s)\nratio         %8.2f\n",
                t_cartographic, placed, t_merge, t_cartographic / t_interval);
    return 0;
}
