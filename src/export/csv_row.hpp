#pragma once
// One row of a CSV file in the host csv module's default dialect: fields
// separated by commas, a field quoted only when it holds a comma, a double
// quote, a carriage return or a line feed (embedded quotes doubled), and
// the row ended by "\r\n". A row made of one empty field is written as ""
// so that it does not read back as an empty line.
#include <string>
#include <iterator>
#include <string_view>

namespace glyphway::export_ {

void append_csv_field(std::string& out, std::string_view field);

template <typename Fields>
void append_csv_row(std::string& out, const Fields& fields) {
    if (std::size(fields) == 1 && std::string_view(*std::begin(fields)).empty()) {
        out += "\"\"\r\n";
        return;
    }
    bool first = true;
    for (const auto& field : fields) {
        if (!first) out += ',';
        first = false;
        append_csv_field(out, field);
    }
    out += "\r\n";
}

}  // namespace glyphway::export_
