// Drives the export core's number, row, vertex and rotation routines from
// the Python tests, which hold the results against the host's format(), csv
// module, NumPy and single-precision reference arithmetic.
//
//   export_probe fixed      lines "HEXDOUBLE PRECISION"      -> formatted text, one per line
//   export_probe csv        rows "COUNT\n" then COUNT fields "LENGTH\n" + bytes -> CSV text
//   export_probe transform  "N" then 16 + 3N HEXDOUBLEs      -> 3N HEXDOUBLEs
//   export_probe rotation   lines of 16 HEXDOUBLEs           -> qx qy qz qw rx ry rz dx dy dz
//
// Doubles travel as C99 hexadecimal floating point (float.hex / float.fromhex).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "export/billboard_rotation.hpp"
#include "export/csv_row.hpp"
#include "export/fixed_format.hpp"
#include "export/frame_transform.hpp"

namespace ex = glyphway::export_;

namespace {

bool read_double(double& value) {
    std::string token;
    if (!(std::cin >> token)) return false;
    value = std::strtod(token.c_str(), nullptr);
    return true;
}

int run_fixed() {
    double value = 0.0;
    int precision = 0;
    while (read_double(value) && (std::cin >> precision)) {
        std::cout << ex::format_fixed(value, precision) << '\n';
    }
    return 0;
}

int run_csv() {
    std::string out;
    std::size_t count = 0;
    while (std::cin >> count) {
        std::vector<std::string> fields(count);
        for (auto& field : fields) {
            std::size_t length = 0;
            std::cin >> length;
            std::cin.get();  // the newline after the length
            field.resize(length);
            std::cin.read(field.data(), static_cast<std::streamsize>(length));
        }
        ex::append_csv_row(out, fields);
    }
    std::cout << out;
    return 0;
}

int run_transform() {
    std::size_t n = 0;
    std::cin >> n;
    glyphway::engine::Mat4 m{};
    for (double& v : m) read_double(v);
    std::vector<double> in(3 * n), out(3 * n);
    for (double& v : in) read_double(v);
    ex::transform_vertices(m, in.data(), n, out.data());
    for (double v : out) std::printf("%a\n", v);
    return 0;
}

int run_rotation() {
    glyphway::engine::Mat4 m{};
    while (true) {
        for (double& v : m) {
            if (!read_double(v)) return 0;
        }
        const ex::Rotation3f r = ex::rotation_block(m);
        const ex::Quaternion q = ex::rotation_quaternion(r);
        const ex::EulerAngles a = ex::rotation_euler(r, false);
        const ex::EulerAngles d = ex::rotation_euler(r, true);
        const float values[] = {q.x, q.y, q.z, q.w, a.x, a.y, a.z, d.x, d.y, d.z};
        for (float v : values) std::printf("%a ", static_cast<double>(v));
        std::printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: export_probe fixed|csv|transform|rotation\n");
        return 2;
    }
    const std::string mode = argv[1];
    if (mode == "fixed") return run_fixed();
    if (mode == "csv") return run_csv();
    if (mode == "transform") return run_transform();
    if (mode == "rotation") return run_rotation();
    std::fprintf(stderr, "unknown mode %s\n", argv[1]);
    return 2;
}
