#pragma once
// Candidate sampling: where along each road line a label may go, and the
// candidate records of the features that carry a usable name.
//
// Positions follow the host arithmetic the configuration is written for:
// an evenly spaced count divides the line into count + 1 steps; otherwise
// the line takes floor(length / interval) positions, one interval apart,
// the floor being the host's floor division of reals.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/label_record.hpp"
#include "engine/line_geometry.hpp"
#include "engine/periodic_check.hpp"

namespace glyphway::engine {

struct SamplingSettings {
    // Labels per line, evenly spaced; 0 when unset (the interval applies).
    std::int64_t text_count = 0;
    double distance_interval = 0.0;
    bool add_at_endpoints = false;
};

// More candidates than this on one line is a configuration mistake (an
// interval far below the data's unit, a count in the millions) rather than
// a request: sampling refuses it instead of exhausting memory.
inline constexpr std::int64_t kMaxCandidatesPerLine = 10'000'000;

// The same limit over all lines together: a modest interval on a whole
// country's network adds up line by line (each line under the limit above)
// to more records than memory holds. Sampling counts first and refuses
// before it allocates anything.
inline constexpr std::int64_t kMaxCandidatesTotal = 10'000'000;

// The settings cannot sample. The message names the parameter.
struct SamplingError : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

// Checks what can be checked before any line is seen: with no count the
// interval must be a positive finite number (a zero interval would divide
// by zero, a negative or NaN one yields nonsense, an infinite one nothing);
// a count may not exceed kMaxCandidatesPerLine.
void check_sampling_settings(const SamplingSettings& settings);

// a // b for reals, as the host computes it (the quotient rounded toward
// negative infinity, from fmod so that it agrees with a % b). b != 0.
double floor_divide(double a, double b);

// Whether a line can carry candidates: it has a point, and every coordinate
// is finite (a NaN or infinite vertex, for example from a re-projection
// outside the target system's domain, has no meaningful length).
bool line_can_be_sampled(const LineGeometry& line);

// How many candidates candidate_distances() puts on a line of length
// `line_len`, as a real so that an absurd interval cannot overflow it.
double candidate_count(double line_len, const SamplingSettings& settings);

// The candidate distances along a line of length `line_len`, in order:
// line_len / (count + 1) * i for i = 1..count, or interval * i for
// i = 1..floor(line_len / interval); with add_at_endpoints also 0.0 first
// and line_len last. Throws SamplingError when the interval would put more
// than kMaxCandidatesPerLine candidates on the line.
std::vector<double> candidate_distances(double line_len, const SamplingSettings& settings);

// A feature that passed the name filter, with its lines.
struct SampledFeature {
    IndexLabel index;           // the feature's index label
    std::string text;           // the cleaned name, UTF-8
    std::int64_t text_len = 0;  // its length in code points
    double weight = 1.0;        // already at least 1
    std::size_t first_line = 0; // its lines are lines[first_line, first_line + line_count)
    std::size_t line_count = 0;
};

// The keys a candidate record is created with, in this order.
inline constexpr Field kCandidateOrder[] = {
    Field::id,       Field::feature_id, Field::line_uid, Field::line_key, Field::line_start,
    Field::line_end, Field::text,       Field::text_len, Field::distance, Field::line,
    Field::line_len, Field::weight,     Field::hidden,   Field::matrix_dirty};

// One record per candidate of every line, features in order and lines in
// order within a feature. A line's running number (line_uid) is its
// position in `lines`, counted also for lines that get no candidate; lines
// that cannot be sampled get none. The features' line ranges must follow
// each other in `lines`.
// Throws SamplingError, before any record is made, when all lines together
// would carry more than kMaxCandidatesTotal candidates.
// `check_interrupt` is called every few thousand lines or candidates; it
// may throw to abandon the run (what was sampled so far is dropped).
std::vector<LabelRecord> sample_candidates(
    const std::vector<SampledFeature>& features,
    const std::vector<std::shared_ptr<const LineGeometry>>& lines,
    const SamplingSettings& settings,
    const InterruptCallback& check_interrupt = {});

}  // namespace glyphway::engine
