#include "pipeline/input_checks.hpp"

#include <cstdio>
#include <string_view>
#include <vector>

namespace glyphway::pipeline {

namespace {

std::string hex_byte(unsigned char byte) {
    char out[8];
    std::snprintf(out, sizeof out, "0x%02X", byte);
    return out;
}

// The .cpg's text as one line: a file may end in a line break.
std::string first_line(const std::string& text) {
    const std::size_t end = text.find_first_of("\r\n");
    std::string line = text.substr(0, end);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

}  // namespace

text::EncodingChoice dbf_text_encoding(const std::string& dbf_path,
                                       const std::optional<std::string>& cpg_text) {
    const engine::DbfTable table = engine::read_dbf(dbf_path, true);
    text::CodePage declared;
    std::string declared_as;
    if (cpg_text) {
        const std::string name = first_line(*cpg_text);
        declared = text::code_page_of_cpg(name);
        declared_as = declared.kind == text::CodePageKind::none
                          ? "its .cpg names no code page known here (\"" + name + "\")"
                          : "its .cpg says \"" + name + "\"";
    } else {
        declared = text::code_page_of_ldid(table.ldid);
        declared_as = declared.kind == text::CodePageKind::none
                          ? "it has no .cpg and its LDID " + hex_byte(table.ldid) +
                                " declares no code page"
                          : "it has no .cpg and its LDID " + hex_byte(table.ldid) +
                                " declares " + declared.codec;
    }
    std::vector<std::string_view> values;
    for (const std::vector<std::string>& column : table.text_columns) {
        values.insert(values.end(), column.begin(), column.end());
    }
    return text::choose_encoding(values, declared, declared_as);
}

engine::ShapefileCheck shapefile_damage(const std::string& shp_path,
                                        const std::optional<std::string>& shx_path,
                                        const std::optional<std::string>& dbf_path) {
    std::optional<std::uint32_t> records;
    std::optional<std::string> table_cut;
    if (dbf_path) {
        const engine::DbfTable table = engine::read_dbf(*dbf_path, false);
        records = table.whole_records;
        if (table.whole_records < table.record_count) {
            table_cut = *dbf_path + " is cut short: its header gives " +
                        std::to_string(table.record_count) + " records, the file holds " +
                        std::to_string(table.whole_records);
        }
    }
    engine::ShapefileCheck check = engine::check_shapefile(shp_path, shx_path, records);
    if (table_cut) check.problems.insert(check.problems.begin(), *table_cut);
    return check;
}

}  // namespace glyphway::pipeline
