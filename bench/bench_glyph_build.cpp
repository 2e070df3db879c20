// Glyph build and glyph-cache hit times of the text mesh engine.
//
//   bench_glyph_build [font_path] [font_size]
//
// Builds 500 distinct CJK glyphs (U+4E00 onward, those with an outline),
// each on first request (outline, ring folding, triangulation, extrusion),
// then asks again for glyphs already cached. Prints medians.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "text/text_mesh_engine.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const std::string font = argc > 1 ? argv[1] : "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc";
    const double size = argc > 2 ? std::atof(argv[2]) : 15.0;
    glyphway::text::TextMeshEngine engine(font, size, 2.0, 0.0);

    // Open the face outside the timed loop: it is paid once per font file.
    engine.generate_glyph_meshes(U"\u4E00");

    std::vector<double> build_us;
    std::vector<char32_t> built;
    std::size_t vertices = 0;
    for (char32_t c = 0x4E01; built.size() < 500 && c < 0x9FA5; ++c) {
        const std::u32string text(1, c);
        const auto t0 = Clock::now();
        const auto glyphs = engine.generate_glyph_meshes(text);
        const auto t1 = Clock::now();
        if (!glyphs[0].has_mesh()) continue;
        vertices += glyphs[0].glyph->mesh.vertex_count();
        build_us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        built.push_back(c);
    }

    std::vector<double> hit_us;
    for (int round = 0; round < 20; ++round) {
        for (char32_t c : built) {
            const std::u32string text(1, c);
            const auto t0 = Clock::now();
            const auto glyphs = engine.generate_glyph_meshes(text);
            const auto t1 = Clock::now();
            if (!glyphs[0].glyph) return 1;
            hit_us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        }
    }

    std::printf("font %s, size %g, %zu glyphs (%.1f vertices each)\n", font.c_str(), size, built.size(),
                built.empty() ? 0.0 : static_cast<double>(vertices) / built.size());
    std::printf("new glyph: median %.1f us, max %.1f us\n", median(build_us),
                build_us.empty() ? 0.0 : *std::max_element(build_us.begin(), build_us.end()));
    std::printf("cache hit: median %.3f us\n", median(hit_us));
    return 0;
}
