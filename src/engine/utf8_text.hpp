#pragma once
// Road names travel as UTF-8; their lengths and prefixes are counted in code
// points, the way the host language counts the characters of a string.
#include <cstdint>
#include <string>
#include <string_view>

namespace glyphway::engine {

// The horizontal ellipsis U+2026 that marks a truncated name.
inline constexpr std::string_view kEllipsis = "\xE2\x80\xA6";

std::int64_t code_point_count(std::string_view text);

// The first `count` code points of `text` (all of it when it has fewer).
std::string code_point_prefix(std::string_view text, std::int64_t count);

// The code points of well-formed UTF-8 `text` (as the host encodes its
// strings), one per element.
std::u32string code_points(std::string_view text);

}  // namespace glyphway::engine
