// Prints the defaults of pipeline::Options, one field a line, then runs the
// option checks on the values given on standard input, so the Python tests
// can hold the typed struct and the pure checks against the module's option
// table and the messages the entry points raise.
//
//   options_probe < input
//
// Input, one check per line:
//   number NAME VALUE            check_number on row NAME (VALUE read by strtod)
//   decimals TEXT                angle_decimals
//   style NAME                   style_named
//   orientation NAME             cjk_orientation_named
//   sampling COUNT INTERVAL      check_sampling (COUNT "none" for no text_count)
// Output: "default NAME VALUE" for every field (None for an empty optional,
// enums by name), then per check "ok", "ok VALUE" or "refused MESSAGE".
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "pipeline/options.hpp"

namespace pl = glyphway::pipeline;
namespace en = glyphway::engine;

namespace {

std::string spelled(bool v) { return v ? "True" : "False"; }
std::string spelled(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return buffer;
}
std::string spelled(std::int64_t v) { return std::to_string(v); }
std::string spelled(const std::string& v) { return v; }
std::string spelled(en::Posture v) { return v == en::Posture::flat ? "flat" : "upright"; }
std::string spelled(en::RepeatMode v) {
    return v == en::RepeatMode::feature ? "feature"
           : v == en::RepeatMode::name  ? "name"
                                        : "name_connected";
}
std::string spelled(pl::Overflow v) { return v == pl::Overflow::truncate ? "truncate" : "keep"; }
std::string spelled(pl::Style v) {
    return v == pl::Style::cartographic ? pl::kCartographicStyleName : pl::kIntervalStyleName;
}
std::string spelled(glyphway::placement::CjkOrientation v) {
    using glyphway::placement::CjkOrientation;
    return v == CjkOrientation::upright ? "upright" : v == CjkOrientation::automatic ? "auto" : "along";
}
template <typename T>
std::string spelled(const std::optional<T>& v) {
    return v ? spelled(*v) : "None";
}

}  // namespace

int main() {
    const pl::Options defaults;
#define GLYPHWAY_PATH(name, takers, engine_position, help)
#define GLYPHWAY_OPTION(name, ...) std::cout << "default " #name " " << spelled(defaults.name) << '\n';
#include "pipeline/options.def"
#undef GLYPHWAY_OPTION
#undef GLYPHWAY_PATH

    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string check, a, b;
        in >> check >> a >> b;
        try {
            if (check == "number") {
                pl::check_number(pl::option_info(a), std::strtod(b.c_str(), nullptr), b);
                std::cout << "ok\n";
            } else if (check == "decimals") {
                const std::optional<int> n = pl::angle_decimals(a);
                std::cout << "ok " << (n ? std::to_string(*n) : "None") << '\n';
            } else if (check == "style") {
                const pl::Style style = pl::style_named(a, "'" + a + "'");
                std::cout << "ok " << spelled(style) << '\n';
            } else if (check == "orientation") {
                const auto orientation = pl::cjk_orientation_named(a, "'" + a + "'");
                std::cout << "ok " << spelled(orientation) << '\n';
            } else if (check == "sampling") {
                pl::Options o;
                if (a != "none") o.text_count = std::stoll(a);
                o.distance_interval = std::strtod(b.c_str(), nullptr);
                pl::check_sampling(o);
                std::cout << "ok\n";
            } else {
                std::cerr << "unknown check: " << check << '\n';
                return 2;
            }
        } catch (const pl::OptionError& e) {
            std::cout << "refused " << e.what() << '\n';
        }
    }
    return 0;
}
