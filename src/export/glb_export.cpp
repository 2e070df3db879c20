#include "export/glb_export.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <exception>
#include <limits>
#include <memory>
#include <stdexcept>
#include <unordered_map>

#include "export/frame_transform.hpp"
#include "export/glb_instances.hpp"
#include "export/glb_label_table.hpp"
#include "export/glb_meshes.hpp"
#include "export/gltf_buffer.hpp"
#include "export/glyph_layout.hpp"
#include "export/json_writer.hpp"
#include "export/output_file.hpp"

namespace glyphway::export_ {

namespace {

using gltf::Accessor;
using gltf::BufferBuilder;
using gltf::MeshPacker;
using gltf::PrimitiveAccessors;

// Feature ids are float32 instance attributes (glTF attributes have no
// 32-bit integers): exact up to 2^24.
constexpr std::size_t kMaxLabels = std::size_t{1} << 24;

std::string utf8_of(std::u32string_view text) {
    std::string out;
    for (char32_t c : text) {
        const auto u = static_cast<std::uint32_t>(c);
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else if (u < 0x10000) {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (u >> 18));
            out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

// The centre of the anchors' extent, to whole units: instance positions are
// float32 offsets from it, which keeps them within a few kilometres for a
// city (about a millimetre of float32 resolution).
std::array<double, 3> local_origin(const std::vector<DrawnLabel>& labels) {
    std::array<double, 3> lo{}, hi{};
    bool any = false;
    for (const DrawnLabel& label : labels) {
        const std::array<double, 3> anchor = label_anchor(label);
        bool finite = true;
        for (double a : anchor) finite = finite && std::isfinite(a);
        if (!finite) continue;
        for (int c = 0; c < 3; ++c) {
            lo[c] = any ? std::min(lo[c], anchor[c]) : anchor[c];
            hi[c] = any ? std::max(hi[c], anchor[c]) : anchor[c];
        }
        any = true;
    }
    std::array<double, 3> origin{};
    if (any) {
        for (int c = 0; c < 3; ++c) origin[c] = std::round(lo[c] / 2.0 + hi[c] / 2.0);
    }
    return origin;
}

// Visits every mesh of a label with the frame it is drawn on: exactly the
// OBJ writer's meshes, in its order.
template <typename Visit>
void for_each_mesh(const DrawnLabel& label, const GlbSettings& settings, StringMeshes& strings,
                   Visit&& visit) {
    const ObjSettings& s = settings.mesh;
    if (label.layout == DrawnLayout::whole_string) {
        const text::Mesh& mesh = strings.get(*label.engine, label.font_size, label.drawn_text);
        if (!mesh.empty()) visit(mesh, label.frame);
        return;
    }
    const std::vector<text::GlyphRecord> glyphs =
        label.engine->generate_glyph_meshes(label.drawn_text);
    lay_out_label_glyphs(label, glyphs, s.posture,
                         [&](const engine::Mat4& frame, const text::GlyphRecord& g, double scale) {
                             visit(g.glyph->mesh,
                                   scale == 1.0 ? frame : scaled_in_text_plane(frame, scale));
                         });
}

void write_root_node(JsonWriter& json, const std::array<double, 3>& origin, const GlbCrs& crs,
                     std::size_t children) {
    json.begin_object();
    json.key("name");
    json.value("glyphway_labels");
    const auto t = gltf::to_gltf_axes(origin[0], origin[1], origin[2]);
    json.key("translation");
    json.begin_array();
    for (double v : t) json.value(v);
    json.end_array();
    if (children > 0) {
        json.key("children");
        json.begin_array();
        for (std::size_t i = 0; i < children; ++i) json.value(static_cast<std::uint64_t>(i + 1));
        json.end_array();
    }
    json.key("extras");
    json.begin_object();
    json.key("origin");
    json.begin_array();
    for (double v : origin) json.value(v);
    json.end_array();
    json.key("axes");
    json.value("glTF x = east, y = up, z = -north of the working system");
    json.key("crs");
    json.begin_object();
    json.key("epsg");
    if (crs.epsg) {
        json.value(*crs.epsg);
    } else {
        json.null();
    }
    json.key("name");
    json.value(crs.name);
    json.key("unit");
    json.value(crs.unit);
    json.key("wkt");
    json.value(crs.wkt);
    json.end_object();
    json.end_object();
    json.end_object();
}

void write_asset(JsonWriter& json, const std::vector<const char*>& used,
                 const std::vector<const char*>& required) {
    json.key("asset");
    json.begin_object();
    json.key("version");
    json.value("2.0");
    json.key("generator");
    json.value("glyphway_maker");
    json.end_object();
    json.key("extensionsUsed");
    json.begin_array();
    for (const char* e : used) json.value(e);
    json.end_array();
    if (!required.empty()) {
        json.key("extensionsRequired");
        json.begin_array();
        for (const char* e : required) json.value(e);
        json.end_array();
    }
    json.key("scene");
    json.value(0);
    json.key("scenes");
    json.begin_array();
    json.begin_object();
    json.key("nodes");
    json.begin_array();
    json.value(0);
    json.end_array();
    json.end_object();
    json.end_array();
}

// One drawing of a mesh, found for one label.
struct Drawn {
    const void* key;
    const text::Mesh* mesh;
    char32_t character;  // curved text; 0 for a whole string
    gltf::Instance instance;
};

// What a label draws, as computed on its own: glyph frames along the road
// (curved text) or the whole string on the label's frame.
class LabelDrawings {
public:
    LabelDrawings(const GlbSettings& settings, const std::array<double, 3>& origin)
        : settings_(settings), origin_(origin) {}

    // What needs the text engines (and builds glyphs on first use): on the
    // calling thread only.
    void prepare(const DrawnLabel& label, StringMeshes& strings,
                 std::vector<text::GlyphRecord>& glyphs, const text::Mesh*& string_mesh) const {
        if (label.layout == DrawnLayout::whole_string) {
            string_mesh = &strings.get(*label.engine, label.font_size, label.drawn_text);
        } else {
            glyphs = label.engine->generate_glyph_meshes(label.drawn_text);
        }
    }

    // Pure arithmetic on what prepare() found: safe on any thread.
    void place(const DrawnLabel& label, const std::vector<text::GlyphRecord>& glyphs,
               const text::Mesh* string_mesh, std::uint32_t row, std::vector<Drawn>& out) const {
        const ObjSettings& s = settings_.mesh;
        if (label.layout == DrawnLayout::whole_string) {
            if (string_mesh->faces.empty()) return;
            out.push_back({string_mesh, string_mesh, 0,
                           gltf::make_instance(label.frame, origin_, label.font_size,
                                               label.engine->depth(), row)});
            return;
        }
        const double size = label.engine->font_size();
        const double depth = label.engine->depth();
        lay_out_label_glyphs(
            label, glyphs, s.posture,
            [&](const engine::Mat4& frame, const text::GlyphRecord& g, double scale) {
                if (g.glyph->mesh.faces.empty()) return;
                out.push_back({g.glyph.get(), &g.glyph->mesh, g.character,
                               gltf::make_instance(frame, origin_, size * scale, depth, row)});
            });
    }

private:
    const GlbSettings& settings_;
    const std::array<double, 3>& origin_;
};

// What both kinds of file end with, after their nodes: the meshes, the
// label table, the buffer and the container around it all.
std::string finish_document(JsonWriter& json, std::string& out, BufferBuilder& buffer,
                            const std::vector<std::string>& names,
                            const std::vector<PrimitiveAccessors>& primitives,
                            const std::vector<DrawnLabel>& labels) {
    if (!primitives.empty()) gltf::write_meshes(json, names, primitives);
    json.key("extensions");
    json.begin_object();
    gltf::write_label_table(json, buffer, labels);
    json.end_object();
    buffer.write_json(json);
    json.end_object();
    return gltf::glb_container(std::move(out), buffer.bytes());
}

// Instanced: one node per distinct mesh, its instances in four attributes.
//
// Labels go in blocks: the glyph records of a block are looked up (and new
// glyphs built) on this thread, then the frames of its labels computed in
// parallel, each label into its own slot, then the drawings appended in
// label order. The file is therefore the same at any thread count, and the
// interrupt check runs between blocks, outside the parallel region.
std::string instanced_document(const std::vector<DrawnLabel>& labels, const GlbSettings& settings,
                               const std::array<double, 3>& origin,
                               engine::PeriodicCheck& interrupt) {
    constexpr std::size_t kBlock = 16384;
    gltf::InstanceLayout layout;
    StringMeshes strings;
    const LabelDrawings drawings(settings, origin);
    std::vector<std::vector<text::GlyphRecord>> glyphs(kBlock);
    std::vector<const text::Mesh*> string_meshes(kBlock, nullptr);
    std::vector<std::vector<Drawn>> drawn(kBlock);
    std::vector<std::exception_ptr> failures(kBlock);
    for (std::size_t first_row = 0; first_row < labels.size(); first_row += kBlock) {
        const std::size_t count = std::min(kBlock, labels.size() - first_row);
        for (std::size_t i = 0; i < count; ++i) {
            drawings.prepare(labels[first_row + i], strings, glyphs[i], string_meshes[i]);
            interrupt.tick();
        }
        const auto n = static_cast<std::ptrdiff_t>(count);
#pragma omp parallel for schedule(dynamic, 64)
        for (std::ptrdiff_t i = 0; i < n; ++i) {
            drawn[i].clear();
            failures[i] = nullptr;
            try {
                drawings.place(labels[first_row + i], glyphs[i], string_meshes[i],
                               static_cast<std::uint32_t>(first_row + i), drawn[i]);
            } catch (...) {
                failures[i] = std::current_exception();
            }
        }
        for (std::size_t i = 0; i < count; ++i) {
            if (failures[i]) std::rethrow_exception(failures[i]);
            const DrawnLabel& label = labels[first_row + i];
            for (const Drawn& d : drawn[i]) {
                std::size_t mesh = layout.find(d.key);
                if (mesh == gltf::InstanceLayout::npos) {
                    // A glyph mesh is named by its character and built at its
                    // engine's size; a whole string by its text, at the size
                    // it is drawn at.
                    const bool glyph = label.layout != DrawnLayout::whole_string;
                    mesh = layout.add_mesh(
                        d.key, *d.mesh,
                        glyph ? utf8_of(std::u32string_view(&d.character, 1))
                              : utf8_of(label.drawn_text),
                        glyph ? label.engine->font_size() : label.font_size,
                        label.engine->depth());
                }
                layout.add_instance(mesh, d.instance);
            }
            interrupt.tick(drawn[i].size());
        }
    }

    BufferBuilder buffer;
    MeshPacker packer;
    std::vector<std::string> names;
    std::vector<float> translations, rotations, scales, features;
    std::vector<std::size_t> first;  // each mesh's first instance
    for (const gltf::SharedMesh& mesh : layout.meshes()) {
        packer.add(mesh.positions, mesh.indices);
        names.push_back(mesh.name);
        first.push_back(features.size());
        for (const gltf::Instance& i : mesh.instances) {
            translations.insert(translations.end(), i.translation, i.translation + 3);
            rotations.insert(rotations.end(), i.rotation, i.rotation + 4);
            scales.insert(scales.end(), i.scale, i.scale + 3);
            features.push_back(i.feature);
        }
    }
    interrupt.tick();
    const std::vector<PrimitiveAccessors> primitives = packer.finish(buffer);
    const std::size_t mesh_count = primitives.size();
    std::vector<std::array<int, 4>> instance_accessors;
    const auto view = [&](const std::vector<float>& values, std::size_t stride) {
        return mesh_count > 0 ? buffer.add_view(gltf::bytes_of(values), stride) : -1;
    };
    const int tv = view(translations, 12);
    const int rv = view(rotations, 16);
    const int sv = view(scales, 12);
    const int fv = view(features, 4);
    for (std::size_t m = 0; m < mesh_count; ++m) {
        const std::size_t count = layout.meshes()[m].instances.size();
        const auto accessor = [&](int view, std::size_t width, const char* type) {
            Accessor a;
            a.view = view;
            a.byte_offset = first[m] * width * sizeof(float);
            a.type = type;
            a.count = count;
            return buffer.add_accessor(std::move(a));
        };
        instance_accessors.push_back({accessor(tv, 3, "VEC3"), accessor(rv, 4, "VEC4"),
                                      accessor(sv, 3, "VEC3"), accessor(fv, 1, "SCALAR")});
    }

    std::string out;
    JsonWriter json(out);
    json.begin_object();
    write_asset(json,
                {"EXT_mesh_gpu_instancing", "EXT_instance_features", "EXT_structural_metadata"},
                {"EXT_mesh_gpu_instancing"});
    json.key("nodes");
    json.begin_array();
    write_root_node(json, origin, settings.crs, mesh_count);
    for (std::size_t m = 0; m < mesh_count; ++m) {
        json.begin_object();
        json.key("name");
        json.value(names[m]);
        json.key("mesh");
        json.value(static_cast<std::uint64_t>(m));
        json.key("extensions");
        json.begin_object();
        json.key("EXT_mesh_gpu_instancing");
        json.begin_object();
        json.key("attributes");
        json.begin_object();
        json.key("TRANSLATION");
        json.value(instance_accessors[m][0]);
        json.key("ROTATION");
        json.value(instance_accessors[m][1]);
        json.key("SCALE");
        json.value(instance_accessors[m][2]);
        json.key("_FEATURE_ID_0");
        json.value(instance_accessors[m][3]);
        json.end_object();
        json.end_object();
        json.key("EXT_instance_features");
        json.begin_object();
        json.key("featureIds");
        json.begin_array();
        json.begin_object();
        json.key("featureCount");
        json.value(static_cast<std::uint64_t>(labels.size()));
        json.key("attribute");
        json.value(0);
        json.key("propertyTable");
        json.value(0);
        json.end_object();
        json.end_array();
        json.end_object();
        json.end_object();
        json.end_object();
    }
    json.end_array();
    return finish_document(json, out, buffer, names, primitives, labels);
}

// Plain: every label's meshes expanded into one mesh per label (or one for
// all with separate_objects off), float32 offsets from the origin.
std::string plain_document(const std::vector<DrawnLabel>& labels, const GlbSettings& settings,
                           const std::array<double, 3>& origin,
                           engine::PeriodicCheck& interrupt) {
    StringMeshes strings;
    MeshPacker packer;
    std::vector<std::string> names;
    std::vector<std::size_t> rows;  // the label of each mesh, separate objects only
    std::vector<float> positions;
    std::vector<std::uint32_t> indices;
    std::vector<double> placed;
    const auto close_mesh = [&](std::string name, std::size_t row) {
        if (indices.empty()) {
            positions.clear();
            return;
        }
        packer.add(positions, indices);
        names.push_back(std::move(name));
        rows.push_back(row);
        positions.clear();
        indices.clear();
    };
    for (std::size_t row = 0; row < labels.size(); ++row) {
        interrupt.tick();
        const DrawnLabel& label = labels[row];
        for_each_mesh(label, settings, strings, [&](const text::Mesh& mesh,
                                                    const engine::Mat4& frame) {
            if (mesh.faces.empty()) return;
            const std::size_t count = mesh.vertex_count();
            placed.resize(mesh.vertices.size());
            transform_vertices(frame, mesh.vertices.data(), count, placed.data());
            const auto base = static_cast<std::uint32_t>(positions.size() / 3);
            for (std::size_t v = 0; v < count; ++v) {
                const auto p = gltf::to_gltf_axes(placed[3 * v] - origin[0],
                                                  placed[3 * v + 1] - origin[1],
                                                  placed[3 * v + 2] - origin[2]);
                for (double c : p) positions.push_back(static_cast<float>(c));
            }
            for (text::VertexIndex f : mesh.faces) indices.push_back(base + f);
            interrupt.tick();
        });
        if (settings.mesh.separate_objects) {
            close_mesh(label.name + "_" + std::to_string(label.index), row);
        }
    }
    if (!settings.mesh.separate_objects) close_mesh("labels", 0);

    BufferBuilder buffer;
    const std::vector<PrimitiveAccessors> primitives = packer.finish(buffer);
    std::string out;
    JsonWriter json(out);
    json.begin_object();
    write_asset(json, {"EXT_structural_metadata"}, {});
    json.key("nodes");
    json.begin_array();
    write_root_node(json, origin, settings.crs, primitives.size());
    for (std::size_t m = 0; m < primitives.size(); ++m) {
        json.begin_object();
        json.key("name");
        json.value(names[m]);
        json.key("mesh");
        json.value(static_cast<std::uint64_t>(m));
        if (settings.mesh.separate_objects) {
            json.key("extras");
            json.begin_object();
            json.key("label");
            json.value(static_cast<std::uint64_t>(rows[m]));
            json.end_object();
        }
        json.end_object();
    }
    json.end_array();
    return finish_document(json, out, buffer, names, primitives, labels);
}

}  // namespace

void write_glb(const std::string& path, const std::vector<DrawnLabel>& labels,
               const GlbSettings& settings, const engine::InterruptCallback& check_interrupt) {
    if (labels.size() > kMaxLabels) throw std::length_error("too many labels for one GLB");
    OutputFile file(path);
    // The file is written at the end, in one go: until then a SIGTERM is
    // noticed with the interrupt checks (the pending buffer is empty, so
    // flush_if_full() only looks at the flag).
    const engine::InterruptCallback checks = [&] {
        if (check_interrupt) check_interrupt();
        file.flush_if_full();
    };
    engine::PeriodicCheck interrupt(checks, 2048);
    const std::array<double, 3> origin = local_origin(labels);
    const std::string glb = settings.instancing
                                ? instanced_document(labels, settings, origin, interrupt)
                                : plain_document(labels, settings, origin, interrupt);
    // Large files go out in pieces, so a SIGTERM is noticed between them.
    constexpr std::size_t kPiece = std::size_t{1} << 22;
    for (std::size_t at = 0; at < glb.size(); at += kPiece) {
        file.buffer().append(glb, at, std::min(kPiece, glb.size() - at));
        file.flush_if_full();
        interrupt.tick(2048);
    }
    file.commit();
}

}  // namespace glyphway::export_
