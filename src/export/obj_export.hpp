#pragma once
// The OBJ writer: every visible label as extruded 3D text in one Wavefront
// OBJ file, either the whole string as one mesh on the label's frame
// (straight text) or glyph by glyph, each glyph on its own frame (along the
// road, or where placement put it).
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
#include "export/drawn_label.hpp"
#include "export/glyph_layout.hpp"
#include "text/mesh.hpp"
#include "text/text_mesh_engine.hpp"

namespace glyphway::export_ {

inline constexpr std::string_view kObjHeader = "# 3D Tessara Engine Export\n";

struct ObjSettings {
    bool separate_objects = true;  // one object line per label, named by `DrawnLabel::name`
    engine::Posture posture = engine::Posture::flat;
};

// The object name of a label: its text with every control character (C0,
// DEL, C1) and the Unicode line and paragraph separators replaced by one
// space each. Readers split lines on more than LF (vertical tab, form feed,
// NEL, U+2028, U+2029), and a break inside the name would end the object
// line early and turn the rest of the name into a malformed record.
std::string obj_object_name(std::string_view text);

// Calls `visit` for every glyph of a glyph-by-glyph label that has a mesh,
// in order, with the frame its mesh is drawn on and the scale it is drawn at
// in the text plane: the curved layout along its road (scale 1), or its
// placed cells (with its glyph_scale). Throws NoFramePoint.
using ScaledGlyphVisit =
    std::function<void(const engine::Mat4& frame, const text::GlyphRecord& glyph, double scale)>;
void lay_out_label_glyphs(const DrawnLabel& label, const std::vector<text::GlyphRecord>& glyphs,
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
void write_obj(const std::string& path, const std::vector<DrawnLabel>& labels,
               const ObjSettings& settings,
               const engine::InterruptCallback& check_interrupt = {});

}  // namespace glyphway::export_
