#pragma once
// The checks a shapefile's parts pass before the reader takes them: which
// encoding its text is read with, and what is damaged.
#include <optional>
#include <string>

#include "engine/shapefile_records.hpp"
#include "text/text_encoding.hpp"

namespace glyphway::pipeline {

// The encoding the text of the dBASE file at `dbf_path` is read with: what
// `cpg_text` (the .cpg's content, when there is one) declares, else its
// LDID byte, else or where that does not fit, what its text bytes show.
text::EncodingChoice dbf_text_encoding(const std::string& dbf_path,
                                       const std::optional<std::string>& cpg_text);

// What is damaged in the shapefile at `shp_path`, its index `shx_path` and
// table `dbf_path` (each when there is one): the .shp against itself and
// the .shx, the table's record count against both, a table cut short.
engine::ShapefileCheck shapefile_damage(const std::string& shp_path,
                                        const std::optional<std::string>& shx_path,
                                        const std::optional<std::string>& dbf_path);

}  // namespace glyphway::pipeline
