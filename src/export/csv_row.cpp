#include "export/csv_row.hpp"

namespace glyphway::export_ {

namespace {

bool needs_quotes(std::string_view field) {
    return field.find_first_of(",\"\r\n") != std::string_view::npos;
}

}  // namespace

void append_csv_field(std::string& out, std::string_view field) {
    if (!needs_quotes(field)) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

}  // namespace glyphway::export_
