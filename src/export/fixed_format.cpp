#include "export/fixed_format.hpp"

#include <charconv>
#include <cmath>
#include <stdexcept>
#include <system_error>

namespace glyphway::export_ {

namespace {

// The largest finite double has 309 integer digits; sign, point and the
// requested decimals come on top.
constexpr std::size_t kIntegerDigits = 312;

}  // namespace

void append_fixed(std::string& out, double value, int precision) {
    if (precision < 0) throw std::invalid_argument("a negative number of decimals");
    if (std::isnan(value)) {
        // The host writes every NaN without a sign.
        out += "nan";
        return;
    }
    if (std::isinf(value)) {
        out += value < 0 ? "-inf" : "inf";
        return;
    }
    const std::size_t start = out.size();
    out.resize(start + kIntegerDigits + static_cast<std::size_t>(precision));
    char* first = out.data() + start;
    const auto [end, error] =
        std::to_chars(first, out.data() + out.size(), value, std::chars_format::fixed, precision);
    if (error != std::errc()) throw std::runtime_error("fixed-point formatting overflowed its buffer");
    out.resize(static_cast<std::size_t>(end - out.data()));
}

}  // namespace glyphway::export_
