#include "export/obj_export.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <unordered_map>

#include "export/output_file.hpp"
#include "export/fixed_format.hpp"
#include "export/frame_transform.hpp"
#include "export/glyph_layout.hpp"

namespace glyphway::export_ {

namespace {

constexpr int kCoordinateDecimals = 4;

class ObjStream {
public:
    ObjStream(OutputFile& file, engine::PeriodicCheck& interrupt)
        : file_(file), out_(file.buffer()), interrupt_(interrupt) {}

    void object_line(const DrawnLabel& label) {
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

void write_straight(ObjStream& obj, const DrawnLabel& label, StringMeshes& meshes) {
    const text::Mesh& mesh = meshes.get(*label.engine, label.font_size, label.drawn_text);
    if (mesh.empty()) return;
    obj.mesh(label.frame, mesh.vertices, mesh.faces);
}

void write_glyphs(ObjStream& obj, const DrawnLabel& label, const ObjSettings& settings) {
    const std::vector<text::GlyphRecord> glyphs =
        label.engine->generate_glyph_meshes(label.drawn_text);
    lay_out_label_glyphs(label, glyphs, settings.posture,
                         [&](const engine::Mat4& frame, const text::GlyphRecord& g, double scale) {
                             obj.mesh(scale == 1.0 ? frame : scaled_in_text_plane(frame, scale),
                                      g.glyph->mesh.vertices, g.glyph->mesh.faces);
                         });
}

}  // namespace

void lay_out_label_glyphs(const DrawnLabel& label, const std::vector<text::GlyphRecord>& glyphs,
                          engine::Posture posture, const ScaledGlyphVisit& visit) {
    if (label.layout != DrawnLayout::placed) {
        const CurvedPlacement placement{label.line.get(), label.distance, label.line_len};
        lay_out_curved(placement, glyphs, posture,
                       [&](const engine::Mat4& frame, const text::GlyphRecord& g) {
                           visit(frame, g, 1.0);
                       });
        return;
    }
    // Placement centres each glyph's cell (its shaped advance, kerning
    // included) on the road; the mesh is drawn from the cell's pen position
    // with the outline where the font puts it, so a kerned pair sits as
    // tight as the font sets it.
    const double scale = label.glyph_scale;
    const std::size_t n = std::min(glyphs.size(), label.glyphs.size());
    for (std::size_t i = 0; i < n; ++i) {
        const text::GlyphRecord& g = glyphs[i];
        if (!g.has_mesh()) continue;
        const PlacedGlyphCell& cell = label.glyphs[i];
        engine::Mat4 frame = cell.frame;
        const double shift = g.glyph->ink_centre_x * scale - 0.5 * cell.advance;
        for (int r = 0; r < 3; ++r) frame[4 * r + 3] += shift * cell.frame[4 * r];
        visit(frame, g, scale);
    }
}

engine::Mat4 scaled_in_text_plane(const engine::Mat4& frame, double scale) {
    engine::Mat4 m = frame;
    for (int r = 0; r < 3; ++r) {
        m[4 * r] *= scale;
        m[4 * r + 1] *= scale;
    }
    return m;
}

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

void write_obj(const std::string& path, const std::vector<DrawnLabel>& labels,
               const ObjSettings& settings, const engine::InterruptCallback& check_interrupt) {
    OutputFile file(path);
    file.write(kObjHeader);
    // Labels and meshes (glyphs) both count: labels without glyphs still
    // take time, a long curved name takes one mesh per glyph.
    engine::PeriodicCheck interrupt(check_interrupt, 2048);
    ObjStream obj(file, interrupt);
    StringMeshes meshes;
    for (const DrawnLabel& label : labels) {
        interrupt.tick();
        // Also notices a SIGTERM between labels that have no glyphs.
        file.flush_if_full();
        if (settings.separate_objects) obj.object_line(label);
        if (label.layout == DrawnLayout::whole_string) {
            write_straight(obj, label, meshes);
        } else {
            write_glyphs(obj, label, settings);
        }
    }
    file.commit();
}

}  // namespace glyphway::export_
