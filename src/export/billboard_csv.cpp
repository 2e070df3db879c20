#include "export/billboard_csv.hpp"

#include <array>
#include <stdexcept>
#include <utility>

#include "export/output_file.hpp"
#include "export/csv_row.hpp"
#include "export/fixed_format.hpp"

namespace glyphway::export_ {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

BillboardLabel billboard_label(const DrawnLabel& label) {
    return {rotation_block(label.frame), label.frame[11], label.text};
}

BillboardLabel billboard_label(DrawnLabel&& label) {
    return {rotation_block(label.frame), label.frame[11], std::move(label.text)};
}

std::vector<std::string> billboard_header(const BillboardOptions& options) {
    std::vector<std::string> header{"id", "x", "y", "z"};
    if (options.writes_quaternion()) header.insert(header.end(), {"qx", "qy", "qz", "qw"});
    if (options.writes_euler()) header.insert(header.end(), {"rot_x", "rot_y", "rot_z"});
    header.emplace_back("name");
    return header;
}

void append_billboard_row(std::string& out, std::size_t id, const BillboardLabel& label,
                          const BillboardPoint& point, const BillboardOptions& options) {
    // At most 12 fields; only the name can need quoting, so the numbers go
    // straight into the line.
    const Rotation3f& rotation = label.rotation;
    out += std::to_string(id);
    const auto number = [&](double value, int precision) {
        out += ',';
        append_fixed(out, value, precision);
    };
    number(point.x, options.xy_precision);
    number(point.y, options.xy_precision);
    number(label.z, 3);
    if (options.writes_quaternion()) {
        const Quaternion q = rotation_quaternion(rotation);
        for (float v : {q.x, q.y, q.z, q.w}) number(v, options.angle_precision);
    }
    if (options.writes_euler()) {
        const EulerAngles a = rotation_euler(rotation, options.degrees);
        for (float v : {a.x, a.y, a.z}) number(v, options.angle_precision);
    }
    out += ',';
    append_csv_field(out, label.text);
    out += "\r\n";
}

void write_billboard_csv(const std::string& path, const std::vector<BillboardLabel>& labels,
                         const std::vector<BillboardPoint>& points,
                         const BillboardOptions& options,
                         const engine::InterruptCallback& check_interrupt) {
    OutputFile file(path);
    engine::PeriodicCheck interrupt(check_interrupt, 4096);
    std::string& out = file.buffer();
    out += kByteOrderMark;
    append_csv_row(out, billboard_header(options));
    if (points.size() != labels.size()) throw std::invalid_argument("one point per label");
    for (std::size_t i = 0; i < labels.size(); ++i) {
        append_billboard_row(out, i, labels[i], points[i], options);
        file.flush_if_full();
        interrupt.tick();
    }
    file.commit();
}

}  // namespace glyphway::export_
