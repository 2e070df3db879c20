#include "pipeline/input_checks.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
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

// Whether any of the `n` bytes at `p` is above 0x7F, eight at a time: the
// scan below looks at every byte of a country's table.
bool has_high_byte(const char* p, std::size_t n) {
    std::uint64_t any = 0;
    std::size_t k = 0;
    for (; k + 8 <= n; k += 8) {
        std::uint64_t word;
        std::memcpy(&word, p + k, 8);
        any |= word;
    }
    for (; k < n; ++k) any |= static_cast<unsigned char>(p[k]);
    return (any & 0x8080808080808080ull) != 0;
}

// What one streaming pass over the text fields finds: whether any value
// has a byte above 0x7F, and whether every such value is strict UTF-8.
struct Utf8Scan {
    bool non_ascii = false;
    bool utf8 = true;
};

// The pass that settles the common cases (ASCII, or UTF-8 as declared) in
// a few records' memory at a time: a country's table is hundreds of
// megabytes, and holding it whole to look at it once doubled the read's
// memory. Stops at the first value that is not UTF-8.
Utf8Scan scan_utf8(const std::string& dbf_path, const engine::DbfTable& table) {
    Utf8Scan scan;
    std::vector<const engine::DbfField*> text;
    for (const engine::DbfField& field : table.fields) {
        if (field.type == 'C') text.push_back(&field);
    }
    if (text.empty() || table.whole_records == 0) return scan;
    std::ifstream in(dbf_path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(table.header_length));
    const std::size_t per_chunk = std::max<std::size_t>(1, (8u << 20) / table.record_length);
    std::vector<char> chunk(per_chunk * table.record_length);
    for (std::size_t done = 0; done < table.whole_records;) {
        const std::size_t records = std::min<std::size_t>(per_chunk, table.whole_records - done);
        if (!in.read(chunk.data(), static_cast<std::streamsize>(records * table.record_length))) {
            throw engine::ShapefileUnreadable(dbf_path + ": cannot be read");
        }
        for (std::size_t r = 0; r < records; ++r) {
            const char* record = chunk.data() + r * table.record_length + 1;
            for (const engine::DbfField* field : text) {
                const char* begin = record + field->offset;
                if (!has_high_byte(begin, field->length)) continue;
                scan.non_ascii = true;
                const char* end = begin + field->length;
                while (end > begin && (end[-1] == ' ' || end[-1] == '\0')) --end;
                const std::string_view value(begin, static_cast<std::size_t>(end - begin));
                if (!text::is_strict_utf8(value)) {
                    scan.utf8 = false;
                    return scan;
                }
            }
        }
        done += records;
    }
    return scan;
}

}  // namespace

text::EncodingChoice dbf_text_encoding(const std::string& dbf_path,
                                       const std::optional<std::string>& cpg_text) {
    const engine::DbfTable header = engine::read_dbf(dbf_path, false);
    text::CodePage declared;
    std::string declared_as;
    if (cpg_text) {
        const std::string name = first_line(*cpg_text);
        declared = text::code_page_of_cpg(name);
        declared_as = declared.kind == text::CodePageKind::none
                          ? "its .cpg names no code page known here (\"" + name + "\")"
                          : "its .cpg says \"" + name + "\"";
    } else {
        declared = text::code_page_of_ldid(header.ldid);
        declared_as = declared.kind == text::CodePageKind::none
                          ? "it has no .cpg and its LDID " + hex_byte(header.ldid) +
                                " declares no code page"
                          : "it has no .cpg and its LDID " + hex_byte(header.ldid) +
                                " declares " + declared.codec;
    }
    // The streaming pass answers as choose_encoding would for ASCII and
    // UTF-8 text; only other text needs every value at hand.
    const Utf8Scan scan = scan_utf8(dbf_path, header);
    if (!scan.non_ascii) return {};
    if (scan.utf8) {
        if (declared.kind == text::CodePageKind::utf8) return {};
        return {"utf-8", false, declared_as + ", but the text is valid UTF-8"};
    }
    const engine::DbfTable table = engine::read_dbf(dbf_path, true);
    std::vector<std::string_view> values;
    for (const std::vector<std::string_view>& column : table.text_columns) {
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
