#include "engine/road_grouping.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "engine/font_size_median.hpp"
#include "engine/union_find.hpp"

namespace glyphway::engine {

namespace {

// One polyline piece: the first record seen on its line key supplies its
// text and end points.
struct Piece {
    std::string_view text;
    const EndPoint* a = nullptr;
    const EndPoint* b = nullptr;
};

const EndPoint* end_point(const LabelRecord& r, Field field) {
    const std::optional<EndPoint>& p = field == Field::line_start ? r.line_start : r.line_end;
    return r.present.has(field) && p ? &*p : nullptr;
}

const std::string* line_key(const LabelRecord& r) {
    return r.present.has(Field::line_key) && r.line_key ? &*r.line_key : nullptr;
}

// Smallest distance between the ends of two pieces. Taken like the host's
// min over the four distances in this order: a later value replaces the
// current one only when strictly smaller, so a NaN first distance stays.
double end_gap(const Piece& p, const Piece& q) {
    const int dims = p.a->dims;
    if (p.b->dims != dims || q.a->dims != dims || q.b->dims != dims) {
        throw std::invalid_argument("line end points of " + std::to_string(p.a->dims) + " and " +
                                    std::to_string(p.a->dims == q.a->dims ? q.b->dims : q.a->dims) +
                                    " components cannot be compared");
    }
    const double gaps[4] = {norm(p.a->point - q.a->point), norm(p.a->point - q.b->point),
                            norm(p.b->point - q.a->point), norm(p.b->point - q.b->point)};
    double smallest = gaps[0];
    for (double g : gaps) {
        if (g < smallest) smallest = g;
    }
    return smallest;
}

void join_pairwise(const std::vector<std::size_t>& bucket, const std::vector<Piece>& pieces,
                   double eps, UnionFind& sets) {
    for (std::size_t ii = 0; ii < bucket.size(); ++ii) {
        const Piece& p = pieces[bucket[ii]];
        if (!p.a || !p.b) continue;
        for (std::size_t jj = ii + 1; jj < bucket.size(); ++jj) {
            const Piece& q = pieces[bucket[jj]];
            if (!q.a || !q.b) continue;
            if (end_gap(p, q) <= eps) unite(sets, bucket[ii], bucket[jj]);
        }
    }
}

// Below this many pieces a name's pieces are simply compared pairwise.
constexpr std::size_t kPairwiseBucket = 64;

// The grid below only finds pieces whose ends are close in plain
// arithmetic: finite coordinates, a positive finite tolerance, one
// dimension count for every end (otherwise the pairwise scan reports the
// mismatch), and cell numbers that fit an integer.
bool grid_applies(const std::vector<std::size_t>& bucket, const std::vector<Piece>& pieces,
                  double eps, double cell) {
    if (!(eps > 0.0) || !std::isfinite(cell)) return false;
    int dims = 0;
    constexpr double kLargestCell = 4.0e18;
    for (std::size_t i : bucket) {
        const Piece& p = pieces[i];
        if (!p.a || !p.b) continue;
        for (const EndPoint* e : {p.a, p.b}) {
            if (dims == 0) dims = e->dims;
            if (e->dims != dims) return false;
            const Vec3& v = e->point;
            if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) return false;
            if (std::fabs(v.x / cell) > kLargestCell || std::fabs(v.y / cell) > kLargestCell) {
                return false;
            }
        }
    }
    return true;
}

using Cell = std::pair<std::int64_t, std::int64_t>;

// The grid of one name's piece ends: (cell, piece position) for every end,
// sorted, so the pieces in a row of neighbouring cells are one run found by
// binary search. Kept from name to name so that its memory is reused: a
// country's network has thousands of names, each with its own grid.
struct JoinScratch {
    std::vector<std::pair<Cell, std::size_t>> ends;
    std::vector<std::size_t> near;
};

// Joins the pieces of one name whose ends come within eps of each other.
// A long road or a common name (a country's "Main Street") has thousands of
// pieces, so comparing every pair is too slow; pieces are found through a
// grid of their end points instead. Joins still happen in the order of the
// pairwise scan: with union by rank that order decides the roots, and the
// roots decide the group numbers.
void join_touching(const std::vector<std::size_t>& bucket, const std::vector<Piece>& pieces,
                   double eps, UnionFind& sets, JoinScratch& scratch) {
    // Cells twice the tolerance wide: two ends within eps (even after the
    // rounding of the gap and of the cell numbers) lie in the same or in
    // neighbouring cells.
    const double cell = 2.0 * eps;
    if (bucket.size() < kPairwiseBucket || !grid_applies(bucket, pieces, eps, cell)) {
        join_pairwise(bucket, pieces, eps, sets);
        return;
    }
    auto cell_of = [cell](const EndPoint* e) {
        return Cell{static_cast<std::int64_t>(std::floor(e->point.x / cell)),
                    static_cast<std::int64_t>(std::floor(e->point.y / cell))};
    };
    std::vector<std::pair<Cell, std::size_t>>& ends = scratch.ends;
    ends.clear();
    for (std::size_t ii = 0; ii < bucket.size(); ++ii) {
        const Piece& p = pieces[bucket[ii]];
        if (!p.a || !p.b) continue;
        const Cell ca = cell_of(p.a);
        const Cell cb = cell_of(p.b);
        ends.emplace_back(ca, ii);
        if (cb != ca) ends.emplace_back(cb, ii);
    }
    std::sort(ends.begin(), ends.end());
    std::vector<std::size_t>& near = scratch.near;
    for (std::size_t ii = 0; ii < bucket.size(); ++ii) {
        const Piece& p = pieces[bucket[ii]];
        if (!p.a || !p.b) continue;
        near.clear();
        for (const EndPoint* e : {p.a, p.b}) {
            const Cell c = cell_of(e);
            for (std::int64_t dx = -1; dx <= 1; ++dx) {
                // Cells (x, y - 1), (x, y), (x, y + 1) follow each other in
                // the sorted ends.
                const std::int64_t x = c.first + dx;
                const Cell last{x, c.second + 1};
                auto it = std::lower_bound(
                    ends.begin(), ends.end(), std::make_pair(Cell{x, c.second - 1}, std::size_t{0}));
                for (; it != ends.end() && it->first <= last; ++it) {
                    if (it->second > ii) near.push_back(it->second);
                }
            }
        }
        std::sort(near.begin(), near.end());
        near.erase(std::unique(near.begin(), near.end()), near.end());
        for (std::size_t jj : near) {
            if (end_gap(p, pieces[bucket[jj]]) <= eps) unite(sets, bucket[ii], bucket[jj]);
        }
    }
}

void group_connected(std::vector<LabelRecord>& records, const GroupingSettings& settings) {
    // Pieces in order of first appearance of their line key. A line's
    // candidates follow each other, so a key equal to the last record's is
    // known without a look-up.
    std::vector<Piece> pieces;
    std::unordered_map<std::string_view, std::size_t> piece_of_key;
    // Sized up front: growing rehashes every piece seen so far, again and
    // again. The maps are only looked up, never walked, so their bucket
    // counts change nothing but speed.
    piece_of_key.reserve(records.size());
    const std::string* last_key = nullptr;
    for (const LabelRecord& r : records) {
        const std::string* key = line_key(r);
        if (!key) continue;
        if (last_key && *last_key == *key) continue;
        last_key = key;
        if (!piece_of_key.emplace(*key, pieces.size()).second) continue;
        pieces.push_back({record_text(r), end_point(r, Field::line_start),
                          end_point(r, Field::line_end)});
    }

    const double eps = join_tolerance(records, settings);

    // Only pieces with the same text can join, so only those are compared;
    // buckets keep the order of first appearance of each text.
    std::vector<std::vector<std::size_t>> buckets;
    std::unordered_map<std::string_view, std::size_t> bucket_of_text;
    bucket_of_text.reserve(pieces.size());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        auto [it, inserted] = bucket_of_text.emplace(pieces[i].text, buckets.size());
        if (inserted) buckets.emplace_back();
        buckets[it->second].push_back(i);
    }

    UnionFind sets = make_union_find(pieces.size());
    JoinScratch scratch;
    for (const std::vector<std::size_t>& bucket : buckets) {
        join_touching(bucket, pieces, eps, sets, scratch);
    }

    // Component numbers: walking the pieces in order, a component meets its
    // number the first time one of its pieces is seen, and the number is the
    // count of pieces and roots numbered so far. Numbers are therefore unique
    // per component but not consecutive.
    constexpr std::int64_t kUnnumbered = -1;
    std::vector<std::int64_t> component(pieces.size(), kUnnumbered);
    std::int64_t numbered = 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const std::size_t root = find_root(sets, i);
        if (component[root] == kUnnumbered) component[root] = numbered++;
        if (component[i] == kUnnumbered) {
            component[i] = component[root];
            ++numbered;
        }
    }

    // A record with the same line key and text as the one before it (the
    // next candidate on the same line) has that record's group.
    const LabelRecord* last = nullptr;
    for (LabelRecord& r : records) {
        const std::string* key = line_key(r);
        const std::string* last_key_seen = last ? line_key(*last) : nullptr;
        if (key && last_key_seen && *key == *last_key_seen && record_text(r) == record_text(*last)) {
            r.group_id = last->group_id;
        } else {
            std::string id = "name_connected:";
            id += record_text(r);
            id += ':';
            id += key ? std::to_string(component[piece_of_key.at(*key)]) : std::string("solo");
            r.group_id = std::move(id);
        }
        mark_written(r, Field::group_id);
        last = &r;
    }
}

}  // namespace

double join_tolerance(const std::vector<LabelRecord>& records, const GroupingSettings& settings) {
    const double eff_fs = median_visible_font_size(records, settings.font_size);
    return settings.connect_eps ? *settings.connect_eps : eff_fs * 0.5;
}

void build_groups(std::vector<LabelRecord>& records, const GroupingSettings& settings) {
    switch (settings.mode) {
        case RepeatMode::feature:
            for (LabelRecord& r : records) {
                r.group_id = "feature:" + feature_key_text(r);
                mark_written(r, Field::group_id);
            }
            return;
        case RepeatMode::name:
            for (LabelRecord& r : records) {
                r.group_id = "name:";
                r.group_id += record_text(r);
                mark_written(r, Field::group_id);
            }
            return;
        case RepeatMode::name_connected:
            group_connected(records, settings);
            return;
    }
}

}  // namespace glyphway::engine
