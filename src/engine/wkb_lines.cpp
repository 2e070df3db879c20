#include "engine/wkb_lines.hpp"

#include <cstring>

#include "engine/coordinate_limits.hpp"

namespace glyphway::engine {

namespace {

constexpr std::uint32_t kEwkbZ = 0x80000000u;
constexpr std::uint32_t kEwkbM = 0x40000000u;
constexpr std::uint32_t kEwkbSrid = 0x20000000u;

struct TypeCode {
    std::uint32_t base = 0;  // 1 Point ... 7 GeometryCollection
    bool has_z = false;
};

class Reader {
public:
    explicit Reader(WkbView view) : at_(view.data), end_(view.data + view.size) {}

    bool at_end() const { return at_ == end_; }

    void byte_order() {
        need(1);
        const unsigned char order = *at_++;
        if (order > 1) throw WkbUnsupported("a WKB byte order other than 0 or 1");
        little_ = order == 1;
    }

    std::uint32_t uint32() {
        need(4);
        unsigned char b[4];
        std::memcpy(b, at_, 4);
        at_ += 4;
        if (!little_) {
            std::swap(b[0], b[3]);
            std::swap(b[1], b[2]);
        }
        return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
               static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    }

    double float64() {
        need(8);
        unsigned char b[8];
        std::memcpy(b, at_, 8);
        at_ += 8;
        if (!little_) {
            for (int i = 0; i < 4; ++i) std::swap(b[i], b[7 - i]);
        }
        // Assemble the little-endian bytes into the host's double.
        std::uint64_t bits = 0;
        for (int i = 7; i >= 0; --i) bits = bits << 8 | b[i];
        double value;
        std::memcpy(&value, &bits, 8);
        return value;
    }

    TypeCode type_code() {
        std::uint32_t code = uint32();
        if (code & kEwkbM) throw WkbUnsupported("measured (M) coordinates");
        TypeCode t;
        t.has_z = (code & kEwkbZ) != 0;
        if (code & kEwkbSrid) {
            code &= ~kEwkbSrid;
            uint32();
        }
        code &= ~kEwkbZ;
        const std::uint32_t dims = code / 1000;
        t.base = code % 1000;
        if (dims == 2 || dims == 3) throw WkbUnsupported("measured (M) coordinates");
        if (dims == 1) {
            if (t.has_z) throw WkbUnsupported("a WKB type code marked z twice");
            t.has_z = true;
        } else if (dims != 0) {
            throw WkbUnsupported("an unknown WKB type code");
        }
        if (t.base < 1 || t.base > 7) throw WkbUnsupported("an unknown WKB type code");
        return t;
    }

private:
    void need(std::size_t n) const {
        if (static_cast<std::size_t>(end_ - at_) < n) throw WkbUnsupported("a WKB that ends early");
    }

    const unsigned char* at_;
    const unsigned char* end_;
    bool little_ = true;
};

void read_line_string(Reader& in, bool has_z, WkbLines& out) {
    const std::uint32_t count = in.uint32();
    // The host library refuses a line of a single point.
    if (count == 1) throw WkbUnsupported("a LineString of one point");
    CoordinatePool& pool = has_z ? out.raised : out.flat;
    DecodedPart part{has_z, pool.size(), count};
    for (std::uint32_t i = 0; i < count; ++i) {
        pool.x.push_back(in.float64());
        pool.y.push_back(in.float64());
        if (has_z) pool.z.push_back(in.float64());
    }
    out.parts.push_back(part);
}

void read_row(WkbView view, WkbLines& out) {
    if (!view.data) {
        out.shapes.push_back(RowShape::none);
        return;
    }
    Reader in(view);
    in.byte_order();
    const TypeCode type = in.type_code();
    if (type.base == 2) {
        read_line_string(in, type.has_z, out);
        out.shapes.push_back(RowShape::line_string);
    } else if (type.base == 5) {
        const std::uint32_t count = in.uint32();
        for (std::uint32_t i = 0; i < count; ++i) {
            in.byte_order();
            const TypeCode part = in.type_code();
            if (part.base != 2) throw WkbUnsupported("a MultiLineString part that is no LineString");
            // Parts follow their collection's dimension; a mixed one is
            // left to the host to judge.
            if (part.has_z != type.has_z) throw WkbUnsupported("a MultiLineString of mixed dimension");
            read_line_string(in, part.has_z, out);
        }
        out.shapes.push_back(RowShape::multi_line_string);
    } else {
        out.shapes.push_back(RowShape::other);
        return;  // not read: its coordinates play no part
    }
    if (!in.at_end()) throw WkbUnsupported("a WKB with bytes after its geometry");
}

}  // namespace

WkbLines decode_wkb_lines(const std::vector<WkbView>& rows, const InterruptCallback& check) {
    WkbLines out;
    // About a million points between checks: a few milliseconds.
    PeriodicCheck periodic(check, std::size_t{16} << 20);
    // Room for every point a row's bytes could hold, so the pools never
    // move while they fill; pages that stay unused are never touched.
    std::size_t bytes = 0;
    for (const WkbView& row : rows) bytes += row.size;
    out.flat.x.reserve(bytes / 16);
    out.flat.y.reserve(bytes / 16);
    out.shapes.reserve(rows.size());
    out.first_part.reserve(rows.size() + 1);
    for (const WkbView& row : rows) {
        out.first_part.push_back(out.parts.size());
        read_row(row, out);
        periodic.tick(row.size + 1);
    }
    out.first_part.push_back(out.parts.size());
    return out;
}

std::vector<Vec3> part_points(const WkbLines& lines, const DecodedPart& part) {
    const CoordinatePool& pool = part.has_z ? lines.raised : lines.flat;
    std::vector<Vec3> points;
    points.reserve(part.count);
    for (std::size_t i = part.first; i < part.first + part.count; ++i) {
        points.push_back({pool.x[i], pool.y[i], part.has_z ? pool.z[i] : 0.0});
    }
    return points;
}

bool coordinates_within(const WkbLines& lines) {
    for (std::size_t i = 0; i < lines.flat.size(); ++i) {
        if (!usable_point(lines.flat.x[i], lines.flat.y[i], 0.0)) return false;
    }
    for (std::size_t i = 0; i < lines.raised.size(); ++i) {
        if (!usable_point(lines.raised.x[i], lines.raised.y[i], lines.raised.z[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace glyphway::engine
