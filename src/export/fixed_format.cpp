// Most numbers written are coordinates and angles at a few decimals, so
// they take an exact shortcut: the scaled value x·10^p is split without
// error into its rounded product and the product's rounding error (one
// fused multiply-add), which decides every tie exactly. Anything outside
// the shortcut's range goes through std::to_chars, which is correctly
// rounded for any precision.
#include "export/fixed_format.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <system_error>

namespace glyphway::export_ {

namespace {

// The largest finite double has 309 integer digits; sign, point and the
// requested decimals come on top.
constexpr std::size_t kIntegerDigits = 312;

constexpr int kShortcutMaxPrecision = 15;
constexpr std::uint64_t kPowersOfTen[kShortcutMaxPrecision + 1] = {
    1ull,           10ull,           100ull,           1000ull,
    10000ull,       100000ull,       1000000ull,       10000000ull,
    100000000ull,   1000000000ull,   10000000000ull,   100000000000ull,
    1000000000000ull, 10000000000000ull, 100000000000000ull, 1000000000000000ull};

// Scaled values below 2^51 keep every half-integer representable, so the
// rounded product never hides a tie it did not land on.
constexpr double kShortcutLimit = 2251799813685248.0;  // 2^51
// Below this the product's rounding error could underflow and stop being
// exact.
constexpr double kShortcutFloor = 1e-280;

void append_digits(std::string& out, std::uint64_t value, int min_width) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = n; i < min_width; ++i) out += '0';
    while (n > 0) out += digits[--n];
}

// false where the shortcut does not apply.
bool append_scaled(std::string& out, double value, int precision) {
    if (precision > kShortcutMaxPrecision) return false;
    const double magnitude = std::fabs(value);
    if (magnitude != 0.0 && magnitude < kShortcutFloor) return false;
    const std::uint64_t scale_int = kPowersOfTen[precision];
    const double scale = static_cast<double>(scale_int);
    const double product = magnitude * scale;
    if (!(product < kShortcutLimit)) return false;
    const double error = std::fma(magnitude, scale, -product);  // exactly |x|·10^p - product
    double rounded = std::nearbyint(product);                  // ties to even
    if (std::fabs(product - rounded) == 0.5 && error != 0.0) {
        // The rounded product sits on a tie that the exact value is not
        // on: the error says which side the exact value lies.
        rounded = error > 0.0 ? product + 0.5 : product - 0.5;
    }
    const auto units = static_cast<std::uint64_t>(rounded);
    if (std::signbit(value)) out += '-';
    append_digits(out, units / scale_int, 1);
    if (precision > 0) {
        out += '.';
        append_digits(out, units % scale_int, precision);
    }
    return true;
}

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
    if (append_scaled(out, value, precision)) return;
    const std::size_t start = out.size();
    out.resize(start + kIntegerDigits + static_cast<std::size_t>(precision));
    char* first = out.data() + start;
    const auto [end, error] =
        std::to_chars(first, out.data() + out.size(), value, std::chars_format::fixed, precision);
    if (error != std::errc()) throw std::runtime_error("fixed-point formatting overflowed its buffer");
    out.resize(static_cast<std::size_t>(end - out.data()));
}

}  // namespace glyphway::export_
