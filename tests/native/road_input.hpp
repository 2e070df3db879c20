#pragma once
// The input the native probes and benchmarks read from standard input:
//   set KEY VALUE
//   road NAME WEIGHT N x1 y1 ... xN yN
// one feature of one two-dimensional line per road, numbered in input order.
#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <string>
#include <vector>

#include "engine/candidate_sampling.hpp"
#include "engine/line_geometry.hpp"
#include "engine/utf8_text.hpp"

namespace glyphway::probe {

// Reads the rest of a "road" line (after the word itself).
inline void read_road(std::istream& in, std::vector<engine::SampledFeature>& features,
                      std::vector<std::shared_ptr<const engine::LineGeometry>>& lines) {
    engine::SampledFeature f;
    std::size_t n = 0;
    in >> f.text >> f.weight >> n;
    f.index.value = static_cast<std::int64_t>(features.size());
    f.text_len = engine::code_point_count(f.text);
    std::vector<engine::Vec3> points(n);
    for (engine::Vec3& p : points) in >> p.x >> p.y;
    f.first_line = lines.size();
    f.line_count = 1;
    lines.push_back(
        std::make_shared<const engine::LineGeometry>(engine::make_line_geometry(points, false)));
    features.push_back(std::move(f));
}

// Reads settings and roads to the end of `in`. `setting` takes each key and
// value and says whether it knows the key. Returns what was refused (an
// unknown setting or item), or an empty string when everything was read.
inline std::string read_probe_input(
    std::istream& in, std::vector<engine::SampledFeature>& features,
    std::vector<std::shared_ptr<const engine::LineGeometry>>& lines,
    const std::function<bool(const std::string& key, const std::string& value)>& setting) {
    std::string item;
    while (in >> item) {
        if (item == "set") {
            std::string key, value;
            in >> key >> value;
            if (!setting(key, value)) return "unknown setting " + key;
        } else if (item == "road") {
            read_road(in, features, lines);
        } else {
            return "unknown item " + item;
        }
    }
    return {};
}

}  // namespace glyphway::probe
