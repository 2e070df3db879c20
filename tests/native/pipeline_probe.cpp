// Runs the native pipeline on roads given on standard input, with no host
// at all, so the Python tests can hold its records against the engine's
// `_prepare_data` on the same roads.
//
//   pipeline_probe < input
//
// Input, one item per line:
//   set KEY VALUE          curved_text, auto_fit_text, add_at_endpoints (0/1),
//                          text_count, distance_interval, font_size,
//                          letter_spacing, posture (flat/upright), density
//   road NAME WEIGHT N x0 y0 ... xN-1 yN-1
// Output, one line per kept record:
//   INDEX HIDDEN DISTANCE(hex) EFFECTIVE_TEXT
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/utf8_text.hpp"
#include "pipeline/label_pipeline.hpp"
#include "pipeline/options.hpp"

#include "road_input.hpp"

namespace en = glyphway::engine;
namespace pl = glyphway::pipeline;

int main() {
    pl::Options settings;
    std::vector<en::SampledFeature> features;
    std::vector<std::shared_ptr<const en::LineGeometry>> lines;
    const std::string refused = glyphway::probe::read_probe_input(
        std::cin, features, lines, [&](const std::string& key, const std::string& value) {
            if (key == "curved_text") settings.curved_text = value == "1";
            else if (key == "auto_fit_text") settings.auto_fit_text = value == "1";
            else if (key == "add_at_endpoints") settings.add_at_endpoints = value == "1";
            else if (key == "text_count") settings.text_count = std::stoll(value);
            else if (key == "distance_interval") settings.distance_interval = std::stod(value);
            else if (key == "font_size") settings.font_size = std::stod(value);
            else if (key == "letter_spacing") settings.letter_spacing = std::stod(value);
            else if (key == "density") settings.density = value;
            else if (key == "posture")
                settings.posture = value == "upright" ? en::Posture::upright : en::Posture::flat;
            else return false;
            return true;
        });
    if (!refused.empty()) {
        std::cerr << refused << '\n';
        return 2;
    }
    for (en::SampledFeature& f : features) {
        if (f.weight < 1.0) f.weight = 1.0;
    }
    const std::vector<en::LabelRecord> records = pl::run_pipeline(features, lines, settings);
    for (const en::LabelRecord& r : records) {
        char distance[64];
        std::snprintf(distance, sizeof distance, "%a", r.distance);
        std::cout << r.id.value << ' ' << (en::record_hidden(r) ? 1 : 0) << ' ' << distance << ' '
                  << en::effective_text(r) << '\n';
    }
    return 0;
}
