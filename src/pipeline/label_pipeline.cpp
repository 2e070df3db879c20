#include "pipeline/label_pipeline.hpp"

#include <cstddef>
#include <utility>

#include "engine/orientation_frame.hpp"
#include "engine/periodic_check.hpp"
#include "engine/text_autofit.hpp"
#include "solver/label_solver_adaptor.hpp"
#include "solver/solver_record.hpp"

namespace glyphway::pipeline {

namespace {

using engine::Field;
using engine::LabelRecord;

// How many labels the frame loop builds between two interrupt checks.
constexpr std::size_t kLabelsPerCheck = 4096;

// The host's check as the stages take it.
engine::InterruptCallback interrupt_of(StageHost& host) {
    return [&host] { host.check_interrupt(); };
}

void set_frames(std::vector<LabelRecord>& labels, engine::Posture posture,
                const engine::InterruptCallback& interrupt) {
    engine::PeriodicCheck check(interrupt, kLabelsPerCheck);
    for (LabelRecord& r : labels) {
        check.tick();
        const auto frame = engine::build_tbn_matrix(*r.line, r.distance, true, posture);
        // Sampled lines have finite points and the solver keeps distances
        // finite, so every label has a point on its line.
        if (!frame) throw FrameError("a label's distance has no point on its line");
        r.matrix = *frame;
        engine::mark_written(r, Field::matrix);
    }
}

void resolve_collisions(std::vector<LabelRecord>& labels, const Options& settings,
                        const engine::InterruptCallback& interrupt) {
    const solver::SolverSizes sizes{solver::narrow_to_float(settings.char_width()),
                                    solver::narrow_to_float(settings.font_size),
                                    solver::narrow_to_float(settings.letter_spacing)};
    std::vector<std::size_t> indices(labels.size());
    for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = i;
    solver::resolve_label_collisions(labels, indices, sizes, interrupt);
}

}  // namespace

placement::PlacementSettings placement_settings(const Options& settings,
                                                const std::vector<LabelRecord>& records) {
    placement::PlacementSettings s;
    s.grouping = settings.grouping();
    s.profile = placement::placement_profile(records, settings.density,
                                             settings.max_global_iterations, settings.font_size);
    s.sizes.font_size = settings.font_size;
    s.sizes.char_width_est = settings.char_width();
    s.sizes.letter_spacing = settings.letter_spacing;
    if (s.profile.iterations > 0) {
        s.posture = settings.posture;
        // Placement's passes take the sizes plainly rounded to single
        // precision, as they always have.
        s.solver_sizes.char_width_est = static_cast<float>(settings.char_width());
        s.solver_sizes.font_size = static_cast<float>(settings.font_size);
        s.solver_sizes.letter_spacing = static_cast<float>(settings.letter_spacing);
    }
    return s;
}

std::vector<LabelRecord> run_pipeline(
    const std::vector<engine::SampledFeature>& features,
    const std::vector<std::shared_ptr<const engine::LineGeometry>>& lines,
    const Options& settings, StageHost& host) {
    const engine::InterruptCallback interrupt = interrupt_of(host);
    engine::check_sampling_settings(settings.sampling());
    std::vector<LabelRecord> candidates =
        engine::sample_candidates(features, lines, settings.sampling(), interrupt);

    const engine::AutofitSettings autofit = settings.autofit();
    if (autofit.enabled) engine::apply_autofit(candidates, autofit);

    if (settings.curved_text) {
        const std::vector<std::size_t> kept = placement::auto_place_labels(
            candidates, placement_settings(settings, candidates), interrupt);
        // The kept records move down within the candidates' own storage
        // (kept is ascending, so none is overwritten before it moves): a
        // second vector would add its pages to the peak, all of them fresh.
        for (std::size_t k = 0; k < kept.size(); ++k) {
            if (kept[k] != k) candidates[k] = std::move(candidates[kept[k]]);
        }
        candidates.erase(candidates.begin() + static_cast<std::ptrdiff_t>(kept.size()),
                         candidates.end());
    }
    std::vector<LabelRecord> labels = std::move(candidates);

    host.progress("[glyphway_maker] Pre-computing Matrices for " +
                  std::to_string(labels.size()) + " candidates...");
    if (labels.empty()) return labels;

    set_frames(labels, settings.posture, interrupt);
    host.progress("[glyphway_maker] Solving Collisions via Cython/OpenMP/AVX2...");
    resolve_collisions(labels, settings, interrupt);
    return labels;
}

std::vector<LabelRecord> run_pipeline(
    const std::vector<engine::SampledFeature>& features,
    const std::vector<std::shared_ptr<const engine::LineGeometry>>& lines,
    const Options& settings) {
    Hooks quiet;
    return run_pipeline(features, lines, settings, quiet);
}

}  // namespace glyphway::pipeline
