#pragma once
// Where each glyph of a label goes: the frames the OBJ writer draws its
// meshes on, shared with every writer that must draw the same picture.
//
// Straight text is one centred mesh of the whole string on the label's
// frame; curved text is one frame per glyph along the road, turned half a
// way round where the road runs leftwards so the text still reads left to
// right.
#include <cstddef>
#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/line_geometry.hpp"
#include "engine/orientation_frame.hpp"
#include "text/mesh.hpp"
#include "text/text_mesh_engine.hpp"

namespace glyphway::export_ {

// A frame asked for where the road has no point (an empty line, a NaN
// distance).
class NoFramePoint : public std::runtime_error {
public:
    explicit NoFramePoint(bool empty_line);
    bool empty_line() const { return empty_line_; }

private:
    bool empty_line_;
};

// The road a curved label stands on and where.
struct CurvedPlacement {
    const engine::LineGeometry* line = nullptr;
    double distance = 0.0;
    double line_len = 0.0;
};

using GlyphVisit = std::function<void(const engine::Mat4& frame, const text::GlyphRecord& glyph)>;
// `position` is the glyph's index in the list it came from.
using PositionedGlyphVisit = std::function<void(const engine::Mat4& frame,
                                                const text::GlyphRecord& glyph,
                                                std::size_t position)>;

// Calls `visit` for every glyph of `glyphs` that has a mesh, in order, with
// the frame its mesh is drawn on. Throws NoFramePoint.
void lay_out_curved(const CurvedPlacement& placement, const std::vector<text::GlyphRecord>& glyphs,
                    engine::Posture posture, const GlyphVisit& visit);

// The same layout with every glyph that takes up room (a positive advance)
// visited, those without a mesh too, on the frame a mesh there would get:
// for measuring the layout, where a blank still shows how the text runs.
void lay_out_curved_all(const CurvedPlacement& placement,
                        const std::vector<text::GlyphRecord>& glyphs, engine::Posture posture,
                        const PositionedGlyphVisit& visit);

// The whole string as one mesh, centred on the anchor: horizontally on its
// outline's extent, vertically by half the font size.
text::Mesh centred_string_mesh(text::TextMeshEngine& engine, const std::u32string& text,
                               double font_size);

// Whole-string meshes, centred, by engine, size and text. A road name
// recurs along its road and the mesh of a string depends on nothing else, so
// each distinct name is outlined, merged and triangulated once per file. Map
// nodes stay put, so a mesh's address is its identity for the file.
class StringMeshes {
public:
    const text::Mesh& get(text::TextMeshEngine& engine, double font_size,
                          const std::u32string& text);

private:
    struct EngineMeshes {
        text::TextMeshEngine* engine;
        double font_size;
        std::unordered_map<std::u32string, text::Mesh> meshes;
    };
    // A file draws its whole strings with one engine at one size: a short
    // list beats a map.
    std::deque<EngineMeshes> by_engine_;  // entries stay put
};

}  // namespace glyphway::export_
