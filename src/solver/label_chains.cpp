#include "solver/label_chains.hpp"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "engine/orientation_frame.hpp"

namespace glyphway::solver {

namespace {

// Distance order with NaN after every number, so the order is total.
bool distance_before(float a, float b) {
    if (std::isnan(a)) return false;
    if (std::isnan(b)) return true;
    return a < b;
}

// Centre and direction from the label's frame at its new distance; false
// where the line has no point there (an empty line, a NaN distance).
bool reframe(SolverRecord& r, const engine::LineGeometry& line) {
    // Columns 0 (tangent) and 3 (anchor) are the same in both postures.
    const auto frame = engine::build_tbn_matrix(line, static_cast<double>(r.distance),
                                                /*auto_flip=*/true, engine::Posture::flat);
    if (!frame) return false;
    const engine::Mat4& m = *frame;
    r.cx = narrow_to_float(m[0 * 4 + 3]);
    r.cy = narrow_to_float(m[1 * 4 + 3]);
    r.dx = narrow_to_float(m[0 * 4 + 0]);
    r.dy = narrow_to_float(m[1 * 4 + 0]);
    return true;
}

}  // namespace

ChainIndex::ChainIndex(const SolverInput& input) {
    const std::size_t n = input.records.size();
    using Key = std::tuple<std::int32_t, bool, std::int64_t, std::uint32_t>;
    std::vector<Key> keys(n);
    for (std::size_t i = 0; i < n; ++i) {
        const SolverRecordLink& link = input.links[i];
        keys[i] = Key{input.records[i].id, link.has_line_uid,
                      link.has_line_uid ? link.line_uid : 0, static_cast<std::uint32_t>(i)};
    }
    std::sort(keys.begin(), keys.end());
    group_of_.resize(n);
    members_.resize(n);
    for (std::size_t s = 0; s < n; ++s) {
        const bool same = s > 0 && std::get<0>(keys[s]) == std::get<0>(keys[s - 1]) &&
                          std::get<1>(keys[s]) == std::get<1>(keys[s - 1]) &&
                          std::get<2>(keys[s]) == std::get<2>(keys[s - 1]);
        if (!same) starts_.push_back(static_cast<std::uint32_t>(s));
        const std::uint32_t r = std::get<3>(keys[s]);
        members_[s] = r;
        group_of_[r] = static_cast<std::uint32_t>(starts_.size() - 1);
    }
    starts_.push_back(static_cast<std::uint32_t>(n));
    sorted_ = members_;
    sorted_valid_.assign(starts_.size() - 1, 0);
}

void ChainIndex::visible_chain(std::uint32_t record, const std::vector<SolverRecord>& records,
                               std::vector<std::uint32_t>& out) {
    const std::uint32_t g = group_of_[record];
    const auto begin = sorted_.begin() + starts_[g];
    const auto end = sorted_.begin() + starts_[g + 1];
    if (!sorted_valid_[g]) {
        // Sorting every member and then dropping the hidden ones gives the
        // same order as sorting the visible ones: the sort is stable.
        std::copy(members_.begin() + starts_[g], members_.begin() + starts_[g + 1], begin);
        std::stable_sort(begin, end, [&](std::uint32_t a, std::uint32_t b) {
            return distance_before(records[a].distance, records[b].distance);
        });
        sorted_valid_[g] = 1;
    }
    out.clear();
    for (auto it = begin; it != end; ++it) {
        if (!records[*it].hidden) out.push_back(*it);
    }
}

void slide_chain(SolverInput& input, const std::vector<std::uint32_t>& chain, std::size_t from,
                 float step, float gap_unit) {
    std::vector<SolverRecord>& records = input.records;
    float shift = step;
    for (std::size_t pos = from; pos < chain.size(); ++pos) {
        SolverRecord& r = records[chain[pos]];
        r.distance += shift;
        if (r.distance > r.line_len) {
            // Off the end of its road: hidden, and the next label takes the
            // same push.
            r.hidden = 1;
            continue;
        }
        const engine::LineGeometry* line = input.links[chain[pos]].line;
        if (!line || !reframe(r, *line)) {
            r.cx += shift * r.dx;
            r.cy += shift * r.dy;
        }
        if (pos + 1 == chain.size()) break;
        const SolverRecord& next = records[chain[pos + 1]];
        // Summed in 64 bits: two 32-bit lengths may not fit 32 bits together.
        const float need =
            static_cast<float>(static_cast<std::int64_t>(next.text_len) + r.text_len) * gap_unit;
        if (!(need > next.distance - r.distance)) break;
        shift = r.distance - next.distance + need;
    }
}

}  // namespace glyphway::solver
