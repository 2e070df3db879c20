#pragma once
// The billboard CSV: one row per visible label with its anchor point, its
// rotation (quaternion and/or Euler angles) and its text, for tools that
// place a text billboard at each row.
//
// The file is UTF-8 with a byte-order mark (spreadsheet programs read CJK
// names correctly only with it), in the csv module's default dialect.
#include <cstddef>
#include <string>
#include <vector>

#include "engine/orientation_frame.hpp"
#include "engine/periodic_check.hpp"
#include "export/billboard_rotation.hpp"
#include "export/drawn_label.hpp"

namespace glyphway::export_ {

struct BillboardOptions {
    bool quaternion = true;     // qx, qy, qz, qw columns
    bool both_angles = false;   // quaternion and Euler columns, whatever `quaternion` says
    bool degrees = false;       // Euler angles in degrees instead of radians
    int xy_precision = 3;       // decimals of x and y
    int angle_precision = 6;    // decimals of quaternion components and angles

    bool writes_quaternion() const { return both_angles || quaternion; }
    bool writes_euler() const { return both_angles || !quaternion; }
};

// A label's anchor in the output coordinate system: its frame's x and y,
// re-projected where the output system is not the working one.
struct BillboardPoint {
    double x = 0.0;
    double y = 0.0;
};

// What a row keeps of its label: its frame's rotation block and z (never
// re-projected) and its recorded text. The anchor's x and y travel apart,
// as BillboardPoint, since the host may re-project them; a row is a fifth
// of a drawn label, so a country's rows fit beside its records.
struct BillboardLabel {
    Rotation3f rotation{};
    double z = 0.0;
    std::string text;
};

// The row's share of `label`; the second form takes the text over.
BillboardLabel billboard_label(const DrawnLabel& label);
BillboardLabel billboard_label(DrawnLabel&& label);

std::vector<std::string> billboard_header(const BillboardOptions& options);

// Row `id` (the number of rows before it) in CSV form, "\r\n" included:
// the label at `point`, turned as its rotation block, named by its text.
void append_billboard_row(std::string& out, std::size_t id, const BillboardLabel& label,
                          const BillboardPoint& point, const BillboardOptions& options);

// Writes one row per label, `points[i]` the anchor of labels[i], as the
// whole file (see OutputFile): atomically, or in place for a device or
// FIFO. Throws FileError.
// `check_interrupt` is called every few thousand rows, on this thread; what
// it throws propagates with the temporary file removed, the target untouched.
void write_billboard_csv(const std::string& path, const std::vector<BillboardLabel>& labels,
                         const std::vector<BillboardPoint>& points,
                         const BillboardOptions& options,
                         const engine::InterruptCallback& check_interrupt = {});

}  // namespace glyphway::export_
