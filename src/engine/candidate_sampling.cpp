#include "engine/candidate_sampling.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#ifdef __linux__
#include <sys/mman.h>
#endif

#include "engine/line_endpoints.hpp"
#include "engine/periodic_check.hpp"

namespace glyphway::engine {

namespace {

std::string text_of(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof(buffer), "%.17g", value);
    return buffer;
}

[[noreturn]] void too_many(const std::string& parameter, double count) {
    throw SamplingError(parameter + " would place " + text_of(count) +
                        " candidates on one line (at most " +
                        std::to_string(kMaxCandidatesPerLine) + " are allowed)");
}

// Asks the kernel to back the whole 2 MiB pages inside [data, data + bytes)
// with huge pages, where it hands them out only on request. The candidate
// records of a country's network take hundreds of megabytes that every
// later stage walks: in small pages that is one fault per 4 KiB while they
// are written and a TLB miss on almost every record read. Only advice: the
// memory and its contents are the same either way.
void prefer_huge_pages(const void* data, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t begin = (start + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t end = (start + bytes) & ~(kHugePage - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

}  // namespace

void check_sampling_settings(const SamplingSettings& s) {
    if (s.text_count > 0) {
        if (s.text_count > kMaxCandidatesPerLine) {
            too_many("text_count " + std::to_string(s.text_count),
                     static_cast<double>(s.text_count));
        }
        return;
    }
    if (!(std::isfinite(s.distance_interval) && s.distance_interval > 0.0)) {
        throw SamplingError("distance_interval must be a positive finite number when text_count "
                            "is not set, not " + text_of(s.distance_interval));
    }
}

double floor_divide(double a, double b) {
    // The host's float floor division: the remainder from fmod, moved into
    // the divisor's sign, and the quotient from (a - remainder) / b, which
    // is an integer up to rounding and is snapped to the nearest one.
    double mod = std::fmod(a, b);
    double div = (a - mod) / b;
    if (mod != 0.0 && ((b < 0.0) != (mod < 0.0))) div -= 1.0;
    if (div == 0.0) return std::copysign(0.0, a / b);
    double floor_div = std::floor(div);
    if (div - floor_div > 0.5) floor_div += 1.0;
    return floor_div;
}

bool line_can_be_sampled(const LineGeometry& line) {
    if (line.points.empty()) return false;
    for (const Vec3& p : line.points) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return false;
    }
    return true;
}

double candidate_count(double line_len, const SamplingSettings& s) {
    const double ends = s.add_at_endpoints ? 2.0 : 0.0;
    if (s.text_count > 0) return static_cast<double>(s.text_count) + ends;
    return std::max(floor_divide(line_len, s.distance_interval), 0.0) + ends;
}

std::vector<double> candidate_distances(double line_len, const SamplingSettings& s) {
    std::vector<double> distances;
    if (s.add_at_endpoints) distances.push_back(0.0);
    if (s.text_count > 0) {
        const double step = line_len / static_cast<double>(s.text_count + 1);
        for (std::int64_t i = 1; i <= s.text_count; ++i) {
            distances.push_back(step * static_cast<double>(i));
        }
    } else {
        const double steps = floor_divide(line_len, s.distance_interval);
        if (steps > static_cast<double>(kMaxCandidatesPerLine)) {
            too_many("distance_interval " + text_of(s.distance_interval) +
                         " on a line of length " + text_of(line_len),
                     steps);
        }
        const auto count = static_cast<std::int64_t>(steps);
        for (std::int64_t i = 1; i <= count; ++i) {
            distances.push_back(s.distance_interval * static_cast<double>(i));
        }
    }
    if (s.add_at_endpoints) distances.push_back(line_len);
    return distances;
}

std::vector<LabelRecord> sample_candidates(
    const std::vector<SampledFeature>& features,
    const std::vector<std::shared_ptr<const LineGeometry>>& lines,
    const SamplingSettings& settings,
    const std::function<void()>& check_interrupt) {
    // One unit of work per line and per candidate, so that a few long
    // lines with many candidates count as well as many short ones.
    PeriodicCheck interrupt(check_interrupt, 4096);

    // Lengths first: the total is known, and refused if it is too large,
    // before the records take any memory.
    std::vector<double> lengths(lines.size(), -1.0);  // -1: not sampled
    double total = 0.0;
    for (const SampledFeature& feature : features) {
        for (std::size_t k = 0; k < feature.line_count; ++k) {
            const std::size_t uid = feature.first_line + k;
            interrupt.tick();
            if (!line_can_be_sampled(*lines[uid])) continue;
            lengths[uid] = line_length(*lines[uid]);
            total += candidate_count(lengths[uid], settings);
        }
    }
    if (total > static_cast<double>(kMaxCandidatesTotal)) {
        const std::string parameter =
            settings.text_count > 0 ? "text_count " + std::to_string(settings.text_count)
                                    : "distance_interval " + text_of(settings.distance_interval);
        throw SamplingError(parameter + " would place " + text_of(total) +
                            " candidates in all (at most " +
                            std::to_string(kMaxCandidatesTotal) + " are allowed)");
    }

    std::vector<LabelRecord> records;
    records.reserve(static_cast<std::size_t>(total));
    prefer_huge_pages(records.data(), records.capacity() * sizeof(LabelRecord));
    for (const SampledFeature& feature : features) {
        const std::string key_prefix = index_label_text(feature.index) + ":";
        for (std::size_t k = 0; k < feature.line_count; ++k) {
            const std::size_t uid = feature.first_line + k;
            const std::shared_ptr<const LineGeometry>& line = lines[uid];
            interrupt.tick();
            if (lengths[uid] < 0.0) continue;
            const double line_len = lengths[uid];
            const std::vector<double> distances = candidate_distances(line_len, settings);
            if (distances.empty()) continue;

            LabelRecord base;
            base.id = feature.index;
            base.feature_id = feature.index;
            base.line_uid = static_cast<std::int64_t>(uid);
            base.line_key = key_prefix + std::to_string(uid);
            const auto ends = line_endpoints_3d(*line);  // a sampleable line has both
            base.line_start = EndPoint{ends->first, 3};
            base.line_end = EndPoint{ends->second, 3};
            base.text = feature.text;
            base.text_len = feature.text_len;
            base.line = line;
            base.line_len = line_len;
            base.weight = feature.weight;
            base.hidden = false;
            base.matrix_dirty = false;
            for (Field f : kCandidateOrder) mark_written(base, f);
            for (double d : distances) {
                records.push_back(base);
                records.back().distance = d;
            }
            interrupt.tick(distances.size());
        }
    }
    return records;
}

}  // namespace glyphway::engine
