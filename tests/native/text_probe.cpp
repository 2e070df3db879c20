// Prints the text path geometry of single characters as JSON lines, so the
// Python tests can hold the native glyph outlines against Matplotlib's.
//
//   text_probe FONT_PATH SIZE X0 [--y0=Y0] CODEPOINT...
//
// SIZE is a font size in points (clamped like Matplotlib's), X0/Y0 the pen
// position, code points are decimal. One line per code point:
//   {"codepoint": N, "rings": [[[x, y], ...], ...], "extents": [x0, y0, x1, y1]}
// with "extents": null when the glyph has no outline. Exit status 2 on bad
// arguments, 1 when the font cannot be used (message on stderr).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "text/glyph_outline.hpp"

namespace {

bool parse_double(const char* text, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0';
}

bool parse_codepoint(const char* text, char32_t& value) {
    char* end = nullptr;
    const unsigned long parsed = std::strtoul(text, &end, 10);
    if (end == text || *end != '\0' || parsed > 0x10FFFF) return false;
    value = static_cast<char32_t>(parsed);
    return true;
}

void print_geometry(char32_t codepoint, const glyphway::text::TextPathGeometry& geometry) {
    std::printf("{\"codepoint\": %u, \"rings\": [", static_cast<unsigned>(codepoint));
    for (std::size_t r = 0; r < geometry.rings.size(); ++r) {
        std::printf(r ? ", [" : "[");
        const auto& ring = geometry.rings[r];
        for (std::size_t i = 0; i < ring.size(); ++i) {
            std::printf(i ? ", [%.17g, %.17g]" : "[%.17g, %.17g]", ring[i].x, ring[i].y);
        }
        std::printf("]");
    }
    std::printf("], \"extents\": ");
    const auto& e = geometry.extents;
    if (e.empty) {
        std::printf("null");
    } else {
        std::printf("[%.17g, %.17g, %.17g, %.17g]", e.x0, e.y0, e.x1, e.y1);
    }
    std::printf("}\n");
}

int usage() {
    std::fprintf(stderr, "usage: text_probe FONT_PATH SIZE X0 [--y0=Y0] CODEPOINT...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return usage();
    const std::string font_path = argv[1];
    double size = 0.0;
    double x0 = 0.0;
    double y0 = 0.0;
    if (!parse_double(argv[2], size) || !parse_double(argv[3], x0)) return usage();

    std::vector<char32_t> codepoints;
    for (int i = 4; i < argc; ++i) {
        if (std::strncmp(argv[i], "--y0=", 5) == 0) {
            if (!parse_double(argv[i] + 5, y0)) return usage();
            continue;
        }
        char32_t c = 0;
        if (!parse_codepoint(argv[i], c)) return usage();
        codepoints.push_back(c);
    }

    try {
        const glyphway::text::FontFace face(font_path);
        const double path_size = glyphway::text::text_path_size(size);
        for (char32_t c : codepoints) {
            print_geometry(c, glyphway::text::make_text_path(face.glyph_path(c), path_size, x0, y0));
        }
    } catch (const glyphway::text::FontError& error) {
        std::fprintf(stderr, "text_probe: %s\n", error.what());
        return 1;
    }
    return 0;
}
