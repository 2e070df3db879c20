#include "engine/shapefile_records.hpp"

#include <algorithm>
#include <fstream>
#include <set>

namespace glyphway::engine {

namespace {

// The first `limit` bytes of the file at `path` (all of them by default),
// and its whole size.
std::vector<unsigned char> file_bytes(const std::string& path, std::uint64_t* size = nullptr,
                                      std::uint64_t limit = UINT64_MAX) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) throw ShapefileUnreadable(path + ": cannot be opened");
    const auto length = static_cast<std::uint64_t>(in.tellg());
    if (size) *size = length;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(std::min(length, limit)));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) {
        throw ShapefileUnreadable(path + ": cannot be read");
    }
    return bytes;
}

std::uint32_t big_endian(const std::vector<unsigned char>& b, std::size_t at) {
    return (std::uint32_t(b[at]) << 24) | (std::uint32_t(b[at + 1]) << 16) |
           (std::uint32_t(b[at + 2]) << 8) | b[at + 3];
}

std::uint32_t little_endian(const std::vector<unsigned char>& b, std::size_t at, int size = 4) {
    std::uint32_t out = 0;
    for (int k = size - 1; k >= 0; --k) out = (out << 8) | b[at + static_cast<std::size_t>(k)];
    return out;
}

constexpr std::size_t kShpHeader = 100;
constexpr std::size_t kRecordHeader = 8;

// A record of the .shp as its 8-byte header gives it.
struct ShpRecord {
    std::uint64_t offset = 0;          // of its header, in bytes
    std::uint64_t content_length = 0;  // in bytes
};

// The content lengths a geometry of `type` with `parts` parts and `points`
// points may have: with and without its optional measures.
std::vector<std::uint64_t> content_lengths(std::uint32_t type, std::uint64_t parts,
                                           std::uint64_t points) {
    const std::uint64_t ranged = 16 + 8 * points;  // a (min, max) range and one value a point
    switch (type) {
        case 1: return {20};
        case 11: return {28, 36};
        case 21: return {28};
        case 3: case 5: return {44 + 4 * parts + 16 * points};
        case 13: case 15: {
            const std::uint64_t base = 44 + 4 * parts + 16 * points + ranged;
            return {base, base + ranged};
        }
        case 23: case 25: {
            const std::uint64_t base = 44 + 4 * parts + 16 * points;
            return {base, base + ranged};
        }
        case 8: return {40 + 16 * points};
        case 18: return {40 + 16 * points + ranged, 40 + 16 * points + 2 * ranged};
        case 28: return {40 + 16 * points, 40 + 16 * points + ranged};
        case 31: {
            const std::uint64_t base = 44 + 8 * parts + 16 * points + ranged;
            return {base, base + ranged};
        }
        default: return {};
    }
}

bool has_parts(std::uint32_t type) {
    return type == 3 || type == 5 || type == 13 || type == 15 || type == 23 || type == 25 ||
           type == 31;
}

// What is wrong with the geometry bytes of `record`, or nothing.
std::optional<std::string> geometry_fault(const std::vector<unsigned char>& shp,
                                          const ShpRecord& record, std::uint32_t file_type) {
    const std::uint64_t at = record.offset + kRecordHeader;
    const std::uint64_t length = record.content_length;
    if (length < 4) return "its content is shorter than a shape type";
    const std::uint32_t type = little_endian(shp, at);
    if (type == 0) return std::nullopt;  // a row without geometry
    if (type != file_type) {
        return "its shape type " + std::to_string(type) + " is not the file's " +
               std::to_string(file_type);
    }
    std::uint64_t parts = 0, points = 0;
    if (type == 1 || type == 11 || type == 21) {
        // a point has no counts
    } else if (has_parts(type)) {
        if (length < 44) return "its content is too short for its part and point counts";
        parts = little_endian(shp, at + 36);
        points = little_endian(shp, at + 40);
    } else if (type == 8 || type == 18 || type == 28) {
        if (length < 40) return "its content is too short for its point count";
        points = little_endian(shp, at + 36);
    }
    const std::vector<std::uint64_t> allowed = content_lengths(type, parts, points);
    if (std::find(allowed.begin(), allowed.end(), length) == allowed.end()) {
        return "its " + std::to_string(length) + " bytes do not hold the " +
               std::to_string(points) + " points in " + std::to_string(parts) +
               " parts it announces";
    }
    if (has_parts(type)) {
        // Each part starts at a point of the record, the first at 0, in order.
        std::uint64_t previous = 0;
        for (std::uint64_t k = 0; k < parts; ++k) {
            const std::uint64_t start = little_endian(shp, at + 44 + 4 * k);
            if ((k == 0 && start != 0) || start < previous || start >= points) {
                return "its part " + std::to_string(k) + " starts at point " +
                       std::to_string(start) + " of " + std::to_string(points);
            }
            previous = start;
        }
    }
    return std::nullopt;
}

}  // namespace

DbfTable read_dbf(const std::string& path, bool with_text) {
    // Without the text only the header is read: at most 255 fields of 32 bytes.
    std::uint64_t file_size = 0;
    DbfTable table;
    table.bytes = file_bytes(path, &file_size, with_text ? UINT64_MAX : 32 + 255 * 32 + 1);
    const std::vector<unsigned char>& dbf = table.bytes;
    if (dbf.size() < 32) throw ShapefileUnreadable(path + ": too short for a dBASE header");
    table.record_count = little_endian(dbf, 4);
    const std::size_t header_length = table.header_length = little_endian(dbf, 8, 2);
    const std::size_t record_length = table.record_length = little_endian(dbf, 10, 2);
    table.ldid = dbf[29];
    if (header_length < 33 || header_length > file_size || record_length == 0) {
        throw ShapefileUnreadable(path + ": its dBASE header is cut or damaged");
    }
    std::size_t offset = 0;
    for (std::size_t at = 32; at + 32 <= header_length && at + 32 <= dbf.size() && dbf[at] != 0x0D;
         at += 32) {
        DbfField field;
        const auto* name = reinterpret_cast<const char*>(&dbf[at]);
        field.name.assign(name, std::find(name, name + 11, '\0'));
        field.type = static_cast<char>(dbf[at + 11]);
        field.offset = offset;
        field.length = dbf[at + 16];
        offset += field.length;
        table.fields.push_back(std::move(field));
    }
    if (offset + 1 > record_length) {
        throw ShapefileUnreadable(path + ": its fields are longer than its records");
    }
    const std::uint64_t stored = (file_size - header_length) / record_length;
    table.whole_records = static_cast<std::uint32_t>(std::min<std::uint64_t>(stored, table.record_count));
    if (!with_text) return table;
    for (std::size_t f = 0; f < table.fields.size(); ++f) {
        if (table.fields[f].type == 'C') table.text_fields.push_back(f);
    }
    table.text_columns.resize(table.text_fields.size());
    for (std::size_t k = 0; k < table.text_fields.size(); ++k) {
        const DbfField& field = table.fields[table.text_fields[k]];
        std::vector<std::string_view>& column = table.text_columns[k];
        column.reserve(table.whole_records);
        for (std::size_t r = 0; r < table.whole_records; ++r) {
            const auto* begin = reinterpret_cast<const char*>(
                &dbf[header_length + r * record_length + 1 + field.offset]);
            const char* end = begin + field.length;
            while (end > begin && (end[-1] == ' ' || end[-1] == '\0')) --end;
            column.emplace_back(begin, static_cast<std::size_t>(end - begin));
        }
    }
    return table;
}

ShapefileCheck check_shapefile(const std::string& shp_path,
                               const std::optional<std::string>& shx_path,
                               std::optional<std::uint32_t> dbf_records) {
    const std::vector<unsigned char> shp = file_bytes(shp_path);
    if (shp.size() < kShpHeader || big_endian(shp, 0) != 9994) {
        throw ShapefileUnreadable(shp_path + ": no shapefile header (cut or not a .shp)");
    }
    ShapefileCheck check;
    std::set<std::size_t> bad;
    const std::uint64_t announced = std::uint64_t(big_endian(shp, 24)) * 2;
    const std::uint32_t file_type = little_endian(shp, 32);
    if (announced > shp.size()) {
        check.problems.push_back(shp_path + " is cut short: its header gives " +
                                 std::to_string(announced) + " bytes, the file has " +
                                 std::to_string(shp.size()));
    }
    const std::uint64_t end = std::min<std::uint64_t>(announced, shp.size());

    // The records as the .shp itself chains them.
    std::vector<ShpRecord> records;
    std::uint64_t at = kShpHeader;
    while (at + kRecordHeader <= end) {
        const ShpRecord record{at, std::uint64_t(big_endian(shp, at + 4)) * 2};
        if (at + kRecordHeader + record.content_length > end) break;
        records.push_back(record);
        at += kRecordHeader + record.content_length;
    }
    const bool cut_record = at < end || announced > shp.size();
    if (at < end) {
        check.problems.push_back("record " + std::to_string(records.size() + 1) + " of " +
                                 shp_path + " runs past the end of the file");
    }

    // The rows the reader sees come from the .shx.
    std::vector<ShpRecord> index;
    if (shx_path) {
        const std::vector<unsigned char> shx = file_bytes(*shx_path);
        if (shx.size() < kShpHeader || big_endian(shx, 0) != 9994) {
            throw ShapefileUnreadable(*shx_path + ": no shapefile index header");
        }
        if ((shx.size() - kShpHeader) % 8 != 0) {
            check.problems.push_back(*shx_path + " ends inside an entry");
        }
        for (std::uint64_t e = kShpHeader; e + 8 <= shx.size(); e += 8) {
            index.push_back({std::uint64_t(big_endian(shx, e)) * 2,
                             std::uint64_t(big_endian(shx, e + 4)) * 2});
        }
        std::size_t disagreeing = 0;
        for (std::size_t r = 0; r < index.size(); ++r) {
            const ShpRecord& entry = index[r];
            const bool inside = entry.offset >= kShpHeader &&
                                entry.offset + kRecordHeader + entry.content_length <= shp.size();
            const bool same = r < records.size() && records[r].offset == entry.offset &&
                              records[r].content_length == entry.content_length;
            if (same) continue;
            bad.insert(r);
            if (!inside || r < records.size()) {
                if (disagreeing++ == 0) {
                    check.problems.push_back(
                        *shx_path + "'s entry for record " + std::to_string(r + 1) + " (offset " +
                        std::to_string(entry.offset) + ", " + std::to_string(entry.content_length) +
                        " bytes) does not match " + shp_path + (inside ? "" : ": it points past its end"));
                }
            }
        }
        if (disagreeing > 1) {
            check.problems.push_back(std::to_string(disagreeing) + " entries of " + *shx_path +
                                     " do not match " + shp_path);
        }
        if (index.size() != records.size()) {
            check.problems.push_back(*shx_path + " indexes " + std::to_string(index.size()) +
                                     " records, " + shp_path + " holds " +
                                     std::to_string(records.size()) +
                                     (cut_record ? " whole ones" : ""));
        }
        check.rows = index.size();
    } else {
        check.rows = records.size();
    }

    std::size_t faulty = 0;
    for (std::size_t r = 0; r < records.size() && r < check.rows; ++r) {
        if (bad.count(r)) continue;
        const std::optional<std::string> fault = geometry_fault(shp, records[r], file_type);
        if (!fault) continue;
        bad.insert(r);
        if (faulty++ == 0) {
            check.problems.push_back("record " + std::to_string(r + 1) + " of " + shp_path +
                                     " is damaged: " + *fault);
        }
    }
    if (faulty > 1) {
        check.problems.push_back(std::to_string(faulty) + " records of " + shp_path +
                                 " are damaged");
    }
    for (std::size_t r = records.size(); r < check.rows; ++r) bad.insert(r);

    if (dbf_records && *dbf_records != check.rows) {
        check.problems.push_back("the table has " + std::to_string(*dbf_records) +
                                 " records, the geometry " + std::to_string(check.rows));
        for (std::size_t r = *dbf_records; r < check.rows; ++r) bad.insert(r);
        for (std::size_t r = check.rows; r < *dbf_records; ++r) bad.insert(r);
    }
    check.bad_rows.assign(bad.begin(), bad.end());
    return check;
}

}  // namespace glyphway::engine
