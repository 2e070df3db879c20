// Builds a pipeline::RoadTable from rows given on standard input, with the
// core's own row rules and no host, so the Python tests can hold them
// against the host language's string rules.
//
//   road_table_probe < input
//
// Input, one row per line (the raw name's UTF-8 bytes in hex, "-" for an
// empty one):
//   row TYPE_ID LINES NAME_HEX
// where TYPE_ID is the row geometry's GEOS type id (-1: none) and LINES
// the number of lines it gives when it gives any.
// Output: one line per row, "skip" or "road FEATURE", then one line per
// road: "feature INDEX NAME_HEX TEXT_LEN FIRST_LINE LINE_COUNT", then
// "line_feature F0 F1 ...".
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "pipeline/road_table.hpp"

namespace pl = glyphway::pipeline;
namespace en = glyphway::engine;

namespace {

std::string from_hex(const std::string& hex) {
    std::string out;
    if (hex == "-") return out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::string to_hex(const std::string& bytes) {
    if (bytes.empty()) return "-";
    std::string out;
    char two[3];
    for (unsigned char c : bytes) {
        std::snprintf(two, sizeof two, "%02x", c);
        out += two;
    }
    return out;
}

}  // namespace

int main() {
    pl::RoadTable table;
    std::string item;
    std::size_t row = 0;
    while (std::cin >> item) {
        if (item != "row") {
            std::cerr << "unknown item " << item << '\n';
            return 2;
        }
        int type_id = 0;
        std::size_t lines = 0;
        std::string name_hex;
        std::cin >> type_id >> lines >> name_hex;
        const en::RowShape shape = pl::row_shape_of_geometry_type(type_id);
        const std::optional<std::string> name = pl::cleaned_road_name(from_hex(name_hex));
        bool added = false;
        if (shape != en::RowShape::none && name) {
            en::SampledFeature feature;
            feature.index.value = static_cast<std::int64_t>(row);
            feature.text = *name;
            // A single LineString gives one line whatever LINES says; any
            // other shape none.
            const std::size_t count = shape == en::RowShape::line_string       ? 1
                                      : shape == en::RowShape::multi_line_string ? lines
                                                                                 : 0;
            added = pl::add_road(table, std::move(feature), count);
        }
        if (added) {
            std::cout << "road " << table.features.size() - 1 << '\n';
        } else {
            std::cout << "skip\n";
        }
        ++row;
    }
    for (const en::SampledFeature& f : table.features) {
        std::cout << "feature " << f.index.value << ' ' << to_hex(f.text) << ' ' << f.text_len << ' '
                  << f.first_line << ' ' << f.line_count << '\n';
    }
    std::cout << "line_feature";
    for (std::size_t f : table.line_feature) std::cout << ' ' << f;
    std::cout << '\n';
    return 0;
}
