#include "export/obj_export.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <unordered_map>

#include "export/output_file.hpp"
#include "export/fixed_format.hpp"
#include "export/frame_transform.hpp"

namespace glyphway::export_ {

namespace {

constexpr int kCoordinateDecimals = 4;

// The host language's max(a, b) and min(a, b): the first argument wins ties
// and comparisons with NaN.
double host_max(double a, double b) { return b > a ? b : a; }
double host_min(double a, double b) { return b < a ? b : a; }

engine::Mat4 frame_at(const engine::LineGeometry& line, double distance, bool auto_flip,
                      engine::Posture posture) {
    const auto frame = engine::build_tbn_matrix(line, distance, auto_flip, posture);
    if (!frame) throw NoFramePoint(line.points.empty());
    return *frame;
}

class ObjStream {
public:
    ObjStream(OutputFile& file, engine::PeriodicCheck& interrupt)
        : file_(file), out_(file.buffer()), interrupt_(interrupt) {}

    void object_line(const ObjLabel& label) {
        out_ += "\no ";
        out_ += label.name;
        out_ += '_';
        out_ += std::to_string(label.index);
        out_ += '\n';
    }

    // `vertices` in the mesh's own frame, carried into `frame`.
    void mesh(const engine::Mat4& frame, const std::vector<double>& vertices,
              const std::vector<text::VertexIndex>& faces) {
        const std::size_t count = vertices.size() / 3;
        placed_.resize(vertices.size());
        transform_vertices(frame, vertices.data(), count, placed_.data());
        for (std::size_t i = 0; i < count; ++i) {
            out_ += 'v';
            for (int c = 0; c < 3; ++c) {
                out_ += ' ';
                append_fixed(out_, placed_[3 * i + c], kCoordinateDecimals);
            }
            out_ += '\n';
        }
        for (std::size_t i = 0; i + 2 < faces.size(); i += 3) {
            out_ += 'f';
            for (int c = 0; c < 3; ++c) {
                out_ += ' ';
                char digits[24];
                const auto end = std::to_chars(digits, digits + sizeof digits,
                                               static_cast<std::uint64_t>(faces[i + c]) + offset_).ptr;
                out_.append(digits, end);
            }
            out_ += '\n';
        }
        offset_ += count;
        file_.flush_if_full();
        interrupt_.tick();
    }

private:
    OutputFile& file_;
    std::string& out_;
    engine::PeriodicCheck& interrupt_;  // one unit per mesh
    std::uint64_t offset_ = 1;  // OBJ indices are 1-based
    std::vector<double> placed_;
};

// Whole-string meshes, centred, by text. A road name recurs along its road
// and the mesh of a string depends on nothing else, so each distinct name is
// outlined, merged and triangulated once per file.
class StraightMeshes {
public:
    explicit StraightMeshes(const ObjSettings& settings) : settings_(settings) {}

    const text::Mesh& get(const std::u32string& text) {
        const auto found = meshes_.find(text);
        if (found != meshes_.end()) return found->second;
        return meshes_.emplace(text, centred(settings_.mesh_engine->generate_mesh(text))).first->second;
    }

private:
    // Centres the string on the anchor: horizontally on its outline's
    // extent, vertically by half the font size.
    text::Mesh centred(text::Mesh mesh) const {
        if (mesh.empty()) return mesh;
        double min_x = mesh.vertices[0];
        double max_x = mesh.vertices[0];
        for (std::size_t i = 3; i < mesh.vertices.size(); i += 3) {
            min_x = std::min(min_x, mesh.vertices[i]);
            max_x = std::max(max_x, mesh.vertices[i]);
        }
        const double shift_x = (min_x + max_x) / 2.0;
        const double shift_y = settings_.font_size / 2.0;
        for (std::size_t i = 0; i < mesh.vertices.size(); i += 3) {
            mesh.vertices[i] -= shift_x;
            mesh.vertices[i + 1] -= shift_y;
        }
        return mesh;
    }

    const ObjSettings& settings_;
    std::unordered_map<std::u32string, text::Mesh> meshes_;
};

void write_straight(ObjStream& obj, const ObjLabel& label, StraightMeshes& meshes) {
    const text::Mesh& mesh = meshes.get(label.text);
    if (mesh.empty()) return;
    obj.mesh(label.matrix, mesh.vertices, mesh.faces);
}

void write_curved(ObjStream& obj, const ObjLabel& label, const ObjSettings& settings) {
    const std::vector<text::GlyphRecord> glyphs = label.engine->generate_glyph_meshes(label.text);
    if (glyphs.empty()) return;
    double total_advance = 0.0;
    for (const text::GlyphRecord& g : glyphs) total_advance += g.advance;
    if (!(total_advance > 0.0)) return;

    const engine::LineGeometry& line = *label.line;
    // The line's own direction, not the reading direction: a road drawn
    // leftwards lays its glyphs from the far end of the span back.
    const engine::Mat4 base = frame_at(line, label.distance, false, settings.posture);
    const double direction = base[0] < 0.0 ? -1.0 : 1.0;

    // The span the text covers, centred on the label and moved back inside
    // the line where it would run past either end.
    const double line_len = label.line_len;
    double start = label.distance - 0.5 * total_advance;
    if (start < 0.0) start = 0.0;
    double end = start + total_advance;
    if (end > line_len) {
        start = host_max(start + line_len - end, 0.0);
        end = line_len;
    }

    double cursor = 0.0;
    for (const text::GlyphRecord& g : glyphs) {
        const double advance = g.advance;
        if (advance <= 0.0) continue;
        const double mid = cursor + 0.5 * advance;
        double s = direction > 0.0 ? start + mid : end - mid;
        s = host_max(0.0, host_min(s, line_len));
        cursor += advance;
        if (!g.has_mesh()) continue;  // whitespace and glyphs without outline

        engine::Mat4 m = frame_at(line, s, false, settings.posture);
        if (direction < 0.0) {
            // Half a turn about the axis facing the reader, so the glyph
            // still reads left to right: flat text turns about z (columns 0
            // and 1), upright text about its face normal (columns 0 and 2).
            const int other = settings.posture == engine::Posture::flat ? 1 : 2;
            for (int r = 0; r < 3; ++r) {
                m[4 * r] = -m[4 * r];
                m[4 * r + other] = -m[4 * r + other];
            }
        }
        obj.mesh(m, g.glyph->mesh.vertices, g.glyph->mesh.faces);
    }
}

}  // namespace

NoFramePoint::NoFramePoint(bool empty_line)
    : std::runtime_error(empty_line ? "the line is empty: it has no point"
                                    : "the distance is NaN: a line has no point there"),
      empty_line_(empty_line) {}

std::string obj_object_name(std::string_view text) {
    std::string name;
    name.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const auto next = [&](std::size_t k) {
            return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0u;
        };
        if (byte < 0x20 || byte == 0x7F) {  // C0 controls (tab, VT, FF, CR, LF...) and DEL
            name += ' ';
        } else if (byte == 0xC2 && next(1) >= 0x80 && next(1) <= 0x9F) {  // C1, NEL among them
            name += ' ';
            i += 1;
        } else if (byte == 0xE2 && next(1) == 0x80 && (next(2) == 0xA8 || next(2) == 0xA9)) {
            name += ' ';  // line and paragraph separators
            i += 2;
        } else {
            name += static_cast<char>(byte);
        }
    }
    return name;
}

void write_obj(const std::string& path, const std::vector<ObjLabel>& labels,
               const ObjSettings& settings, const engine::InterruptCallback& check_interrupt) {
    OutputFile file(path);
    file.write(kObjHeader);
    // Labels and meshes (glyphs) both count: labels without glyphs still
    // take time, a long curved name takes one mesh per glyph.
    engine::PeriodicCheck interrupt(check_interrupt, 2048);
    ObjStream obj(file, interrupt);
    StraightMeshes meshes(settings);
    for (const ObjLabel& label : labels) {
        interrupt.tick();
        // Also notices a SIGTERM between labels that have no glyphs.
        file.flush_if_full();
        if (settings.separate_objects) obj.object_line(label);
        if (settings.curved_text) {
            write_curved(obj, label, settings);
        } else {
            write_straight(obj, label, meshes);
        }
    }
    file.commit();
}

}  // namespace glyphway::export_
