#pragma once
// Fixed-point decimal text of a double, exactly as the host language's
// format(value, ".<precision>f") writes it: correctly rounded (ties to even
// on the exact binary value), "nan" whatever the sign bit of a NaN, "inf"
// and "-inf", and a minus sign kept on negative zero and on negative values
// that round to zero ("-0.0000").
#include <string>

namespace glyphway::export_ {

void append_fixed(std::string& out, double value, int precision);

inline std::string format_fixed(double value, int precision) {
    std::string out;
    append_fixed(out, value, precision);
    return out;
}

}  // namespace glyphway::export_
