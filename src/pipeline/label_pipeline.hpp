#pragma once
// One labelling run on native records, from the sampled road lines to the
// final list of label records: sampling, auto-fit, placement (curved text),
// frames and the final collision solve. The host is reached only through
// StageHost (pipeline/host.hpp); the module reads the table and the
// settings, calls run_pipeline and turns the records into whatever the
// caller asked for (export rows, record dicts).
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/candidate_sampling.hpp"
#include "engine/label_record.hpp"
#include "engine/line_geometry.hpp"
#include "pipeline/host.hpp"
#include "pipeline/options.hpp"
#include "placement/candidate_placement.hpp"

namespace glyphway::pipeline {

// A StageHost made of two callables, either of which may be left empty
// (then that call does nothing): for callers with no host object of their
// own.
struct Hooks : StageHost {
    // Called now and then on the calling thread; may throw to abandon the run.
    std::function<void()> interrupt;
    // One line of progress per stage.
    std::function<void(const std::string&)> progress_line;

    void progress(const std::string& line) override {
        if (progress_line) progress_line(line);
    }
    void check_interrupt() override {
        if (interrupt) interrupt();
    }
};

// A label's distance has no point on its line when its frame is built.
struct FrameError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The settings placement runs with for `records`.
placement::PlacementSettings placement_settings(const Options& settings,
                                                const std::vector<engine::LabelRecord>& records);

// The kept label records, in candidate order. The stages' own failures come
// through unchanged (engine::SamplingError, placement::PlacementError, the
// solver adaptor's errors) so the caller can report each as it must;
// FrameError for a frame that cannot be built. `host` hears the progress
// lines and is asked between stretches of work whether to go on.
std::vector<engine::LabelRecord> run_pipeline(
    const std::vector<engine::SampledFeature>& features,
    const std::vector<std::shared_ptr<const engine::LineGeometry>>& lines,
    const Options& settings, StageHost& host);

// The same run, silent and never interrupted.
std::vector<engine::LabelRecord> run_pipeline(
    const std::vector<engine::SampledFeature>& features,
    const std::vector<std::shared_ptr<const engine::LineGeometry>>& lines,
    const Options& settings);

}  // namespace glyphway::pipeline
