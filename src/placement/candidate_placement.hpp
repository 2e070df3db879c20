#pragma once
// Candidate placement: which of the sampled candidate labels are shown.
//
// One anchor per feature (the candidate nearest the middle of its line,
// slightly favouring longer lines), then up to `iterations` passes. Each
// pass frames the selected labels, runs the collision solver on them (labels
// it hides leave the selection, unless it hides them all), and adds the
// admissible candidate farthest from every selected label (farthest-point
// insertion). A candidate is admissible while its group holds fewer than
// `max_labels_per_group` selected labels, no selected label of its group is
// closer than `repeat_min_interval` and no selected label at all is closer
// than `global_min_sep`. The kept labels end visible, every other hidden.
//
// Each pass costs O(R log S) for R remaining candidates and S selected
// labels, not O(R * S): the remaining candidates never move (the solver only
// moves selected labels), so their centres are computed once; the selected
// centres go into a k-d tree and a per-group grid each pass; and each
// candidate keeps an upper bound of its distance to the selection in a
// max-heap, so a pass in which the selection only grew re-examines only the
// candidates at the top of the heap.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "engine/density_profile.hpp"
#include "engine/label_record.hpp"
#include "engine/orientation_frame.hpp"
#include "engine/road_grouping.hpp"
#include "solver/label_solver_adaptor.hpp"

namespace glyphway::placement {

// Placement works on the engine's records, frames and groups throughout.
using engine::DensityProfile;
using engine::EngineSizes;
using engine::Field;
using engine::GroupingSettings;
using engine::LabelRecord;
using engine::Posture;

// The keys placement writes, in the order it first writes them: grouping,
// the candidate index, the frames of the labels it tries, what the solver
// sets on them, and the final visibility.
inline constexpr Field kPlacementOrder[] = {Field::group_id,     Field::cand_idx,
                                            Field::matrix,       Field::matrix_dirty,
                                            Field::distance,     Field::hidden};

// The profile placement runs with: `density` scaled on the median font size
// of the visible records (the engine's font size when none is visible), with
// `iterations` replaced by `iterations_override` when there is one.
DensityProfile placement_profile(const std::vector<LabelRecord>& records,
                                 std::string_view density,
                                 std::optional<std::int64_t> iterations_override,
                                 double engine_font_size);

struct PlacementSettings {
    DensityProfile profile;
    // Fall-backs of effective_char_width_est and effective_letter_spacing
    // in the anchor span test.
    EngineSizes sizes;
    GroupingSettings grouping;
    Posture posture = Posture::flat;
    // The engine's sizes as the solver takes them.
    solver::SolverSizes solver_sizes;
    // Whether a pass reuses what earlier passes established: frames and
    // centres of labels that have not moved, and solver runs that cannot
    // change anything (solver/repeated_solve.hpp). The result is the same
    // either way; off, every pass starts afresh, which tests compare with.
    bool reuse = true;
};

// A record placement has to measure lacks what it takes. Raised at the
// point where the measurement is first needed (an anchor's distance, the
// frame of a selected label, the centre of a candidate that is not ruled out
// by its group's cap), so a record that is never measured may lack it.
struct PlacementError : std::runtime_error {
    enum class Reason {
        missing_distance,   // no `distance`
        missing_line,       // no `line`
        empty_line,         // the line has no point
        nan_distance,       // the distance is NaN
        non_finite_centre,  // the line's point there has a non-finite coordinate
    };
    PlacementError(Reason reason, std::size_t index);
    Reason reason;
    std::size_t index;  // the record's position in the list
};

using PlacementInterrupt = std::function<void()>;

// Runs placement on `records` in place and returns the indices of the kept
// records, ascending. Writes group_id, cand_idx and hidden into every
// record, matrix into every record it tries, and lets the solver write
// distance, hidden and matrix_dirty into the selected ones.
// `check_interrupt` is called now and then; it may throw to abandon the run.
std::vector<std::size_t> auto_place_labels(std::vector<LabelRecord>& records,
                                           const PlacementSettings& settings,
                                           const PlacementInterrupt& check_interrupt = {});

}  // namespace glyphway::placement
