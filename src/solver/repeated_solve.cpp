#include "solver/repeated_solve.hpp"

#include <cstring>

namespace glyphway::solver {

namespace {

// Testing a fresh label's row costs one pass over the records; past this
// many fresh labels a full run is about as cheap.
constexpr std::size_t kMostFresh = 64;

// Bit for bit: a rectangle that compares equal but differs in its bits
// (0.0 and -0.0) counts as changed, which only costs a test.
bool same_rect(const Rect& a, const Rect& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

bool RepeatedSolve::quiet(const std::vector<std::uint32_t>& fresh) {
    const std::vector<SolverRecord>& records = input_.records;
    const std::size_t m = records.size();
    for (auto& c : columns_) c.resize(m);
    for (std::size_t i = 0; i < m; ++i) {
        const SolverRecord& r = records[i];
        columns_[0][i] = r.cx;
        columns_[1][i] = r.cy;
        columns_[2][i] = r.dx;
        columns_[3][i] = r.dy;
        columns_[4][i] = r.length;
        columns_[5][i] = r.height;
    }
    const RectColumns columns{columns_[0].data(), columns_[1].data(), columns_[2].data(),
                              columns_[3].data(), columns_[4].data(), columns_[5].data()};
    hits_.resize(m);
    // The test is symmetric to the bit, so the fresh label may go first
    // whichever of the pair comes first in the solver's order.
    for (std::uint32_t f : fresh) {
        overlap_row(rect_of(records[f]), columns, 0, m, hits_.data());
        for (std::size_t q = 0; q < m; ++q) {
            if (hits_[q] && q != f) return false;
        }
    }
    return true;
}

void RepeatedSolve::resolve(std::vector<engine::LabelRecord>& labels,
                            const std::vector<std::size_t>& indices, const SolverSizes& sizes,
                            const InterruptCheck& check_interrupt) {
    gather_solver_input(labels, indices, sizes, input_, owners_);
    std::vector<SolverRecord>& records = input_.records;
    if (records.empty()) {
        // Nothing is visible, so nothing overlaps.
        for (std::size_t l : settled_labels_) is_settled_[l] = 0;
        settled_labels_.clear();
        settled_ = true;
        return;
    }
    if (is_settled_.size() < labels.size()) {
        is_settled_.resize(labels.size(), 0);
        settled_rect_.resize(labels.size());
    }

    fresh_.clear();
    bool skip = settled_;
    for (std::size_t i = 0; i < records.size() && skip; ++i) {
        const std::size_t l = owners_[i];
        if (is_settled_[l] && same_rect(settled_rect_[l], rect_of(records[i]))) continue;
        fresh_.push_back(static_cast<std::uint32_t>(i));
        skip = fresh_.size() <= kMostFresh;
    }
    skip = skip && quiet(fresh_);

    bool settles = true;
    if (skip) {
        ++skipped_;
    } else {
        ++full_;
        // An interrupted run leaves the records unknown: nothing is settled.
        settled_ = false;
        resolve_collisions(input_, sizes.char_width_est, check_interrupt);
        // The solver stops before its final pass when no label has a
        // length (the same test as its own); overlaps may then remain.
        float max_len = 0.0f;
        for (const SolverRecord& r : records) {
            if (r.length > max_len) max_len = r.length;
        }
        settles = max_len > 0.0f;
    }
    write_solver_results(labels, input_, owners_);

    for (std::size_t l : settled_labels_) is_settled_[l] = 0;
    settled_labels_.clear();
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].hidden) continue;
        const std::size_t l = owners_[i];
        is_settled_[l] = 1;
        settled_rect_[l] = rect_of(records[i]);
        settled_labels_.push_back(l);
    }
    settled_ = settles;
}

}  // namespace glyphway::solver
