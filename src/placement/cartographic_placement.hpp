#pragma once
// Cartographic placement: labels run along whole roads, glyph by glyph,
// where the road is straight enough to read them, upright, and never on top
// of one another.
//
// The pieces of each named road are first merged into long lines
// (engine/road_merge.hpp, with merge_settings below). Each merged line
// offers label slots one spacing apart, centred in the line (a line that holds only one label gets it in
// the middle); when the line holds more slots than its cap allows, the
// allowed number is spread evenly over it instead (so is a line that would
// hold more than a million). A slot whose glyph run
// fails the turn test (placement/glyph_run.hpp) or would touch a glyph of an
// accepted label slides along the line, one step at a time alternately
// forward and back, up to half the distance to the neighbouring slots,
// before it is given up.
//
// A road's text is laid out at its class size: font_size times
// class_font_scale of the road's weight, so that main roads read larger
// than side streets. A road too short for its name gets the name shrunk to
// max_road_fill of the road's length, down to min_font_scale of its class
// size; shorter roads get no label.
//
// One name's labels keep apart across roads: a label is refused where a
// label of the same name already lies within the spacing (centre to
// centre), whatever line it lies on, so the carriageways of a dual street,
// copies of one road and the spokes of a star of one name never stack their
// names. Same-name lines that run side by side a few font sizes apart
// (placement/parallel_roads.hpp) are one road: a label on one of them keeps
// the slot gap of the group's sparsest line (its length over its slot
// count) from the labels on the others, so the best-ranked line takes its
// labels first and the others are labelled only where those leave them
// bare: ten copies of a road get one road's labels.
//
// Roads are ranked in a fixed order (higher weight, then longer merged line,
// then input order) and slots are served in rounds: every road's middle slot,
// then every road's next slot out from the middle, and so on, so that one
// road's many labels never crowd out another road's first. Within a round
// the best-ranked road of every name comes before the second of any name
// (the many pieces of a dual carriageway wait for the other names).
// A label is accepted only if none of its glyph boxes overlaps a glyph box of
// an accepted label, so no two labels' glyphs ever overlap. Shaping,
// planning and each slot's first layout run on all threads, since none of
// them depends on another; every decision that depends on the labels
// accepted before is taken on the calling thread in task order, so the
// result depends on the input alone, not on the thread count.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/candidate_sampling.hpp"
#include "engine/density_profile.hpp"
#include "engine/line_geometry.hpp"
#include "engine/periodic_check.hpp"
#include "engine/road_merge.hpp"
#include "placement/glyph_run.hpp"
#include "placement/upright_run.hpp"

namespace glyphway::placement {

// Each glyph's advance of a text, in working units, letter spacing included.
using GlyphAdvances = std::function<std::vector<double>(const std::string& utf8_text)>;
// Which glyphs of a text are drawn as nothing (word spaces), one flag per
// advance; turns are judged across them (placement/glyph_run.hpp).
using BlankGlyphs = std::function<std::vector<bool>(const std::string& utf8_text)>;

// The run's options (font size, turn limit, auto-fit floor) come from the
// pipeline's option table, which sits above this layer; these fields hold
// no default of their own for them.
struct CartographicSettings {
    double font_size = 0.0;
    // Distance between the starts of neighbouring labels on one line.
    double spacing = 270.0;
    // At most this many labels per merged line (per `cap_length` of it when
    // that is positive); 0 for no cap.
    std::int64_t max_labels_per_road = 3;
    double cap_length = 0.0;
    // The largest turn, in degrees, between adjacent glyphs or at a vertex
    // under a label.
    double max_char_angle = 0.0;
    // The slide step; 0 for the label's mean glyph advance.
    double slide_step = 0.0;
    // End points of same-named pieces this close meet; none for half the
    // font size, the default of name_connected grouping.
    std::optional<double> connect_eps;
    // A name wider than max_road_fill of its merged line's length is laid
    // out at a font size shrunk to that width, down to min_font_scale of
    // its class size (no label below that; 0: never shrink). Shrinking to less
    // than the whole line leaves a short road room to slide its label off a
    // bend or a neighbour: on Lisbon's short, crooked streets 0.6 labels
    // more of the network than 0.8 or a whole road's length does.
    double min_font_scale = 0.0;
    double max_road_fill = 0.6;
    // Whether a merged line runs on through a junction of its own name where
    // it turns there by at most max_char_angle (engine/road_merge.hpp).
    bool run_through_junctions = true;
    // Which labels stand upright instead of turning with the road
    // (placement/upright_run.hpp).
    CjkOrientation cjk_orientation = CjkOrientation::along;
};

// The steps of the size hierarchy: a road's class size as a share of the
// font size, by its weight (the smaller, the more important; the weights of
// road classes run from 1 for motorways to 10):
//   weight <= 2 (motorway, trunk)          1.0
//   weight <= 4 (primary, secondary)       0.9
//   weight <= 6 (tertiary, unclassified)   0.8
//   heavier (residential, service, other)  0.7
// An input without weights weighs every road 1, so all its labels keep the
// font size.
double class_font_scale(double weight);

// Same-name lines closer than this many font sizes are one road for the cap.
inline constexpr double kParallelRoadFontSizes = 3.0;

// The merge settings placement uses.
engine::MergeSettings merge_settings(const CartographicSettings& settings);

// The settings of a density profile scaled for `font_size`: its repeat
// interval as the spacing and its group cap as the cap per road.
CartographicSettings cartographic_settings(const engine::DensityProfile& profile,
                                           double font_size);

struct CartographicLabel {
    std::size_t feature = 0;  // the merged road's feature (its first piece's)
    std::size_t road = 0;     // the merged road's position in merge_named_roads' list
                              // (called with merge_settings(settings))
    std::string text;
    std::shared_ptr<const engine::LineGeometry> line;  // the merged line
    // The font size the label is laid out at: its road's class size, or
    // less where the road is shorter than the name (advances scale alike).
    double font_size = 0.0;
    double class_font_size = 0.0;
    GlyphRun run;
};

// The placed labels, in the order they were accepted. `advances` (and
// `blanks`) is asked once per distinct text, from several threads at once;
// a text with no glyphs gets no label.
// `check_interrupt` is called now and then; it may throw to abandon the run.
std::vector<CartographicLabel> place_cartographic(
    const std::vector<engine::SampledFeature>& features,
    const std::vector<std::shared_ptr<const engine::LineGeometry>>& lines,
    const CartographicSettings& settings, const GlyphAdvances& advances,
    const engine::InterruptCallback& check_interrupt = {}, const BlankGlyphs& blanks = {});

}  // namespace glyphway::placement
