#pragma once
// The label table of a GLB: one row per label, as an EXT_structural_metadata
// property table (schema class "label", table "labels"), which CesiumJS
// reads and other viewers ignore. The instances' _FEATURE_ID_0 is the row.
// A label without a group has an empty group_id.
#include <vector>

#include "export/drawn_label.hpp"
#include "export/gltf_buffer.hpp"
#include "export/json_writer.hpp"

namespace glyphway::export_::gltf {

// Adds the columns' views and writes "EXT_structural_metadata" as a member
// of the open root "extensions" object.
void write_label_table(JsonWriter& json, BufferBuilder& buffer,
                       const std::vector<DrawnLabel>& labels);

}  // namespace glyphway::export_::gltf
