#pragma once
// The OBJ writer: every visible label as extruded 3D text in one Wavefront
// OBJ file, either the whole string as one mesh on the label's frame
// (straight text) or glyph by glyph along the road, each glyph on its own
// frame (curved text).
//
// Layout: the header line, then per label an optional blank line and object
// line, its "v x y z" lines (four decimals) and its "f a b c" lines with
// 1-based vertex indices global over the file. Nothing else: no normals,
// texture coordinates, groups or materials.
#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/line_geometry.hpp"
#include "engine/orientation_frame.hpp"
#include "engine/periodic_check.hpp"
#include "export/glyph_layout.hpp"
#include "text/mesh.hpp"
#include "text/text_mesh_engine.hpp"

namespace glyphway::export_ {

inline constexpr std::string_view kObjHeader = "# 3D Tessara Engine Export\n";

// One visible label, as the writer needs it.
struct ObjLabel {
    std::size_t index = 0;  // position in the label list, hidden labels counted
    std::string name;       // the label's text, UTF-8, for the object line
    // Straight text: the label's frame and its unfitted text.
    engine::Mat4 matrix{};
    // Curved text: the fitted text, the road and the engine for the fitted
    // size and spacing. Straight text keeps its unfitted text here.
    std::u32string text;
    std::shared_ptr<const engine::LineGeometry> line;
    double distance = 0.0;
    double line_len = 0.0;
    text::TextMeshEngine* engine = nullptr;
    // Text laid out beforehand (the cartographic style places every glyph
    // itself): one frame per character of `text`, used instead of the road
    // layout when not empty. The glyphs of `engine` are drawn `glyph_scale`
    // times their size in the text plane (a name shrunk to its road), so one
    // engine serves every size and its glyph cache is shared.
    std::vector<engine::Mat4> glyph_frames;
    double glyph_scale = 1.0;
};

struct ObjSettings {
    bool separate_objects = true;
    bool curved_text = true;
    engine::Posture posture = engine::Posture::flat;
    text::TextMeshEngine* mesh_engine = nullptr;  // straight text
    double font_size = 0.0;                       // straight text: centres the string
};

// The object name of a label: its text with every control character (C0,
// DEL, C1) and the Unicode line and paragraph separators replaced by one
// space each. Readers split lines on more than LF (vertical tab, form feed,
// NEL, U+2028, U+2029), and a break inside the name would end the object
// line early and turn the rest of the name into a malformed record.
std::string obj_object_name(std::string_view text);

// Calls `visit` for every glyph of a glyph-by-glyph label that has a mesh,
// in order, with the frame its mesh is drawn on and the scale it is drawn at
// in the text plane: its own frames when it has them (with its glyph_scale),
// else the curved layout along its road (scale 1). Throws NoFramePoint.
using ScaledGlyphVisit =
    std::function<void(const engine::Mat4& frame, const text::GlyphRecord& glyph, double scale)>;
void lay_out_label_glyphs(const ObjLabel& label, const std::vector<text::GlyphRecord>& glyphs,
                          engine::Posture posture, const ScaledGlyphVisit& visit);

// `frame` with its two text-plane axes stretched by `scale`: a mesh drawn on
// it is that many times its size, its depth unchanged.
engine::Mat4 scaled_in_text_plane(const engine::Mat4& frame, double scale);

// Writes the file (see OutputFile): atomically, or in place for a device
// or FIFO. Throws FileError,
// NoFramePoint and whatever the text mesh engines throw (FontError); on an
// exception the target is untouched. `check_interrupt` is called every few
// thousand labels or meshes, on this thread; what it throws propagates the
// same way (the temporary file is removed, the target untouched).
void write_obj(const std::string& path, const std::vector<ObjLabel>& labels,
               const ObjSettings& settings,
               const engine::InterruptCallback& check_interrupt = {});

}  // namespace glyphway::export_
