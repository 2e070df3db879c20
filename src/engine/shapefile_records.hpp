#pragma once
// The binary layout of a shapefile's three parts, read as bytes: the dBASE
// table's header and text fields, and the records of the .shp against their
// index in the .shx, the table's record count and their own headers. A
// file cut short, or parts that disagree, would otherwise be read in part
// without a word: the reader sees the rows of the .shx, a cut record as an
// empty geometry, and only as many rows as the shorter of .shp and .dbf.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace glyphway::engine {

// A file that cannot be read at all: not there, not of its kind, or its
// header cut. The message names the file.
struct ShapefileUnreadable : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct DbfField {
    std::string name;
    char type = 'C';
    std::size_t offset = 0;  // in the record, after its deletion flag
    std::size_t length = 0;
};

struct DbfTable {
    std::uint32_t record_count = 0;  // as the header gives it
    std::uint32_t whole_records = 0; // the records the file really holds
    unsigned char ldid = 0;          // the language-driver (code page) byte
    std::size_t header_length = 0;   // where the first record starts
    std::size_t record_length = 0;   // its deletion flag included
    std::vector<DbfField> fields;
    // The raw bytes of each text ('C') field, one column per field in
    // `text_fields`, one value per whole record, trailing blanks removed:
    // views into `bytes`, the file as read, since a country's table has
    // millions of values and a copy of each cost more than the scan.
    std::vector<std::size_t> text_fields;  // indexes into `fields`
    std::vector<std::vector<std::string_view>> text_columns;
    std::vector<unsigned char> bytes;
};

// Reads the header of the dBASE file at `path` and, when `with_text`, the
// bytes of its text fields.
DbfTable read_dbf(const std::string& path, bool with_text);

// What is wrong with a shapefile's parts, by row (0-based, as the reader
// numbers them).
struct ShapefileCheck {
    std::size_t rows = 0;               // rows the .shx (else the .shp) gives
    std::vector<std::string> problems;  // one sentence each, naming the file
    std::vector<std::size_t> bad_rows;  // sorted, each once
};

// Checks the .shp at `shp_path` against its own header, each record's
// geometry bytes against the record header, the .shx (when `shx_path` is
// given) entry by entry, and the table's `dbf_records` (when given).
ShapefileCheck check_shapefile(const std::string& shp_path,
                               const std::optional<std::string>& shx_path,
                               std::optional<std::uint32_t> dbf_records);

}  // namespace glyphway::engine
