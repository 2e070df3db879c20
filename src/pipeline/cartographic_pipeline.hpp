#pragma once
// One run of the cartographic style from the feature table to the placed
// labels: names shaped with the font (HarfBuzz advances and kerning), then
// placed along the merged roads (placement/cartographic_placement.hpp) with
// the density profile's spacing and cap at the engine's font size.
#include <memory>
#include <string>
#include <vector>

#include "engine/candidate_sampling.hpp"
#include "engine/line_geometry.hpp"
#include "pipeline/cartographic_labels.hpp"
#include "pipeline/label_pipeline.hpp"
#include "pipeline/options.hpp"
#include "pipeline/road_table.hpp"
#include "placement/cartographic_placement.hpp"

namespace glyphway::pipeline {

// The cartographic style's shrink floor where the run leaves min_font_scale
// at its default: a share of the road's class size.
inline constexpr double kCartographicMinFontScale = 0.7;

// The placement settings of a run: the density profile of `settings` at its
// font size, the largest turn between glyphs, the grouping's connect_eps and
// the auto-fit floor of the class size.
placement::CartographicSettings cartographic_placement_settings(const Options& settings,
                                                                double max_char_angle);

// Names shaped with the chain `font_paths` (the first font that has a
// glyph for a character shapes it). Throws text::FontError when a font
// cannot be shaped with. `host` is asked between stretches of placement
// whether to go on.
std::vector<placement::CartographicLabel> run_cartographic(
    const std::vector<engine::SampledFeature>& features,
    const std::vector<std::shared_ptr<const engine::LineGeometry>>& lines,
    const Options& settings, const std::vector<std::string>& font_paths, double max_char_angle,
    StageHost& host);

// The run every output of the style starts from: announced on `host`, then
// run on `table` with options.font_chain() and options.max_char_angle. Throws text::FontError as run_cartographic does.
CartographicLabels place_cartographic_labels(const RoadTable& table, const Options& options,
                                             StageHost& host);

}  // namespace glyphway::pipeline
