#pragma once
// The glTF binary (GLB) writer: the same 3D text as the OBJ writer, but each
// distinct glyph mesh stored once and drawn per label through
// EXT_mesh_gpu_instancing, or, without instancing, one plain mesh per label.
//
// Axes are glTF's: right-handed, Y up, metres (working-system units). The
// working system's east is +X, up is +Y and north is -Z. Every position in
// the buffers is float32 relative to a local origin near the labels' centre;
// the root node's translation holds that origin in double precision, and its
// extras the origin in working-system order with the system's EPSG code and
// WKT, so a reader gets back to working coordinates exactly.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/orientation_frame.hpp"
#include "engine/periodic_check.hpp"
#include "export/drawn_label.hpp"
#include "export/obj_export.hpp"

namespace glyphway::export_ {

// The working coordinate system, as the file records it.
struct GlbCrs {
    std::optional<std::int64_t> epsg;
    std::string name;
    std::string wkt;
    std::string unit;
};

struct GlbSettings {
    ObjSettings mesh;  // as for write_obj; node names only without instancing
    double extrusion_depth = 0.0;
    bool instancing = true;
    GlbCrs crs;
};

// Writes the file the way write_obj does (OutputFile: atomic, or in place
// for a device or FIFO), with the same exceptions and interrupt checks.
// Each label's row of the label table holds its index, texts, group,
// weight, drawn font size and anchor.
void write_glb(const std::string& path, const std::vector<DrawnLabel>& labels,
               const GlbSettings& settings,
               const engine::InterruptCallback& check_interrupt = {});

}  // namespace glyphway::export_
