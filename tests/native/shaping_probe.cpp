// Prints the HarfBuzz shaping of one string as a JSON line, so the Python
// tests can check what the binding does not show: clusters, glyph ids,
// per-character advances, and that one shaper gives the same answer on
// several threads at once.
//
//   shaping_probe FONT_PATH SIZE LETTER_SPACING THREADS CODEPOINT...
//
// Code points are decimal. The line is
//   {"glyphs": [[cluster, glyph_id, x_advance, x_offset, y_offset], ...],
//    "width": W, "advances": [...], "threads_agree": true|false}
// where "advances" has one entry per code point. THREADS shapes the string
// that many times more, concurrently, with the same shaper. Exit status 2
// on bad arguments, 1 when the font cannot be used (message on stderr).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "text/glyph_outline.hpp"
#include "text/text_shaping.hpp"

namespace text = glyphway::text;

namespace {

bool parse_double(const char* arg, double& value) {
    char* end = nullptr;
    value = std::strtod(arg, &end);
    return end != arg && *end == '\0';
}

bool parse_unsigned(const char* arg, unsigned long limit, unsigned long& value) {
    char* end = nullptr;
    value = std::strtoul(arg, &end, 10);
    return end != arg && *end == '\0' && value <= limit;
}

bool same(const text::ShapedText& a, const text::ShapedText& b) {
    if (a.width != b.width || a.glyphs.size() != b.glyphs.size()) return false;
    for (std::size_t i = 0; i < a.glyphs.size(); ++i) {
        const text::ShapedGlyph& x = a.glyphs[i];
        const text::ShapedGlyph& y = b.glyphs[i];
        if (x.cluster != y.cluster || x.glyph_id != y.glyph_id || x.x_advance != y.x_advance ||
            x.x_offset != y.x_offset || x.y_offset != y.y_offset) {
            return false;
        }
    }
    return true;
}

int usage() {
    std::fprintf(stderr, "usage: shaping_probe FONT_PATH SIZE LETTER_SPACING THREADS CODEPOINT...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) return usage();
    double size = 0.0;
    double spacing = 0.0;
    unsigned long threads = 0;
    if (!parse_double(argv[2], size) || !parse_double(argv[3], spacing) || !parse_unsigned(argv[4], 64, threads)) {
        return usage();
    }
    std::u32string input;
    for (int i = 5; i < argc; ++i) {
        unsigned long c = 0;
        if (!parse_unsigned(argv[i], 0x10FFFF, c)) return usage();
        input.push_back(static_cast<char32_t>(c));
    }

    try {
        const text::TextShaper shaper(argv[1]);
        const text::ShapedText shaped = shaper.shape(input, size, spacing);

        std::vector<text::ShapedText> results(threads);
        std::vector<std::thread> workers;
        for (unsigned long t = 0; t < threads; ++t) {
            workers.emplace_back([&, t] {
                for (int repeat = 0; repeat < 200; ++repeat) results[t] = shaper.shape(input, size, spacing);
            });
        }
        for (std::thread& worker : workers) worker.join();
        bool agree = true;
        for (const text::ShapedText& result : results) agree = agree && same(result, shaped);

        std::printf("{\"glyphs\": [");
        for (std::size_t i = 0; i < shaped.glyphs.size(); ++i) {
            const text::ShapedGlyph& g = shaped.glyphs[i];
            std::printf(i ? ", [%zu, %u, %.17g, %.17g, %.17g]" : "[%zu, %u, %.17g, %.17g, %.17g]", g.cluster,
                        static_cast<unsigned>(g.glyph_id), g.x_advance, g.x_offset, g.y_offset);
        }
        std::printf("], \"width\": %.17g, \"advances\": [", shaped.width);
        const std::vector<double> advances = text::character_advances(shaped, input.size());
        for (std::size_t i = 0; i < advances.size(); ++i) std::printf(i ? ", %.17g" : "%.17g", advances[i]);
        std::printf("], \"threads_agree\": %s}\n", agree ? "true" : "false");
    } catch (const text::FontError& error) {
        std::fprintf(stderr, "shaping_probe: %s\n", error.what());
        return 1;
    }
    return 0;
}
