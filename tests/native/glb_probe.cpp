// Drives the GLB writer's building blocks from the Python tests, which hold
// them against Python's float(), json module and NumPy.
//
//   glb_probe number      lines "HEXDOUBLE"           -> one JSON number per line
//   glb_probe string      "LENGTH\n" + bytes, repeated -> one JSON string per line
//   glb_probe quaternion  lines of 16 HEXDOUBLEs      -> qx qy qz qw as HEXDOUBLEs
//   glb_probe container   "JSONLENGTH BINLENGTH\n" + bytes -> the GLB bytes
//
// Doubles travel as C99 hexadecimal floating point (float.hex / float.fromhex).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>

#include "engine/orientation_frame.hpp"
#include "export/glb_instances.hpp"
#include "export/gltf_buffer.hpp"
#include "export/json_writer.hpp"

namespace ex = glyphway::export_;

namespace {

std::string hex(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%a", v);
    return text;
}

int run_number() {
    std::string token;
    while (std::cin >> token) {
        std::string out;
        ex::append_json_number(out, std::strtod(token.c_str(), nullptr));
        std::cout << out << '\n';
    }
    return 0;
}

int run_string() {
    std::size_t length = 0;
    while (std::cin >> length) {
        std::cin.get();  // the newline after the length
        std::string bytes(length, '\0');
        std::cin.read(bytes.data(), static_cast<std::streamsize>(length));
        std::string out;
        ex::append_json_string(out, bytes);
        std::cout << out << '\n';
    }
    return 0;
}

int run_quaternion() {
    glyphway::engine::Mat4 m{};
    std::string token;
    for (;;) {
        for (double& v : m) {
            if (!(std::cin >> token)) return 0;
            v = std::strtod(token.c_str(), nullptr);
        }
        const auto q = ex::gltf::frame_quaternion(m);
        std::cout << hex(q[0]) << ' ' << hex(q[1]) << ' ' << hex(q[2]) << ' ' << hex(q[3]) << '\n';
    }
}

int run_container() {
    std::size_t json_length = 0, bin_length = 0;
    if (!(std::cin >> json_length >> bin_length)) return 1;
    std::cin.get();
    std::string json(json_length, '\0'), bin(bin_length, '\0');
    std::cin.read(json.data(), static_cast<std::streamsize>(json_length));
    std::cin.read(bin.data(), static_cast<std::streamsize>(bin_length));
    const std::string glb = ex::gltf::glb_container(json, bin);
    std::cout.write(glb.data(), static_cast<std::streamsize>(glb.size()));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::string mode = argv[1];
    if (mode == "number") return run_number();
    if (mode == "string") return run_string();
    if (mode == "quaternion") return run_quaternion();
    if (mode == "container") return run_container();
    return 2;
}
