// Decodes WKB rows for the Python tests, which make them with Shapely in
// every byte order and flavour.
//
//   wkb_probe   lines of hex WKB ("-" for a row without geometry)
//     -> per row "SHAPE" then one line per part "z|xy COUNT HEX..." (x y [z] per point),
//        or a single line "unsupported" when the table cannot be decoded
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "engine/wkb_lines.hpp"

namespace en = glyphway::engine;

namespace {

std::vector<unsigned char> from_hex(const std::string& text) {
    std::vector<unsigned char> bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<unsigned char>(std::stoi(text.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

const char* shape_name(en::RowShape shape) {
    switch (shape) {
        case en::RowShape::none: return "none";
        case en::RowShape::line_string: return "line_string";
        case en::RowShape::multi_line_string: return "multi_line_string";
        case en::RowShape::other: return "other";
    }
    return "?";
}

}  // namespace

int main() {
    std::vector<std::vector<unsigned char>> rows;
    std::vector<bool> present;
    std::string line;
    while (std::getline(std::cin, line)) {
        present.push_back(line != "-");
        rows.push_back(line == "-" ? std::vector<unsigned char>{} : from_hex(line));
    }
    std::vector<en::WkbView> views(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (present[i]) views[i] = {rows[i].data(), rows[i].size()};
    }
    en::WkbLines decoded;
    try {
        decoded = en::decode_wkb_lines(views);
    } catch (const en::WkbUnsupported&) {
        std::printf("unsupported\n");
        return 0;
    }
    for (std::size_t r = 0; r < rows.size(); ++r) {
        std::printf("%s\n", shape_name(decoded.shapes[r]));
        for (std::size_t p = decoded.first_part[r]; p < decoded.first_part[r + 1]; ++p) {
            const en::DecodedPart& part = decoded.parts[p];
            std::printf("%s %zu", part.has_z ? "z" : "xy", part.count);
            for (const en::Vec3& v : en::part_points(decoded, part)) {
                std::printf(" %a %a", v.x, v.y);
                if (part.has_z) std::printf(" %a", v.z);
            }
            std::printf("\n");
        }
    }
    return 0;
}
