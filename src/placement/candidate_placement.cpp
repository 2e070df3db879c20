#include "placement/candidate_placement.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <unordered_map>

#include "engine/font_size_median.hpp"
#include "engine/label_center.hpp"
#include "solver/repeated_solve.hpp"

namespace glyphway::placement {

// The engine's record, line and frame helpers are the vocabulary here.
using namespace engine;

namespace {

constexpr std::size_t kInterruptEvery = 4096;
// Points a nearest-point tree takes without being rebuilt.
constexpr std::size_t kMostAdded = 64;

struct Point {
    double x = 0.0;
    double y = 0.0;
};

// Squared plan distance from a candidate `c` to a selected label `s`, the
// way the selection tests measure it: (cx - sx)^2 + (cy - sy)^2.
inline double squared_distance(const Point& c, const Point& s) {
    const double dx = c.x - s.x;
    const double dy = c.y - s.y;
    return dx * dx + dy * dy;
}

inline double axis_of(const Point& p, int axis) { return axis == 0 ? p.x : p.y; }

// A static 2-d tree over the selected centres, answering the exact smallest
// squared distance from a point to any of them. A subtree on the far side of
// a split is skipped only when the squared offset to the split plane is at
// least the best distance found; rounding is monotone, so every point there
// measures at least that much and the minimum is the one a full scan finds.
class NearestTree {
public:
    void build(const std::vector<Point>& points) {
        points_ = points;
        extra_.clear();
        arrange(0, points_.size(), 0);
    }

    // A point added without rebuilding: scanned by every query. The
    // smallest distance over the tree's points and these is the smallest
    // over all of them, whichever finds it.
    void add(const Point& p) { extra_.push_back(p); }
    std::size_t added() const { return extra_.size(); }

    bool empty() const { return points_.empty() && extra_.empty(); }

    double nearest(const Point& q) const {
        double best = std::numeric_limits<double>::infinity();
        for (const Point& p : extra_) {
            const double d = squared_distance(q, p);
            if (d < best) best = d;
        }
        search(0, points_.size(), 0, q, best);
        return best;
    }

private:
    static constexpr std::size_t kLeafSize = 8;

    void arrange(std::size_t lo, std::size_t hi, int axis) {
        if (hi - lo <= kLeafSize) return;
        const std::size_t mid = lo + (hi - lo) / 2;
        std::nth_element(points_.begin() + static_cast<std::ptrdiff_t>(lo),
                         points_.begin() + static_cast<std::ptrdiff_t>(mid),
                         points_.begin() + static_cast<std::ptrdiff_t>(hi),
                         [axis](const Point& a, const Point& b) {
                             return axis_of(a, axis) < axis_of(b, axis);
                         });
        arrange(lo, mid, 1 - axis);
        arrange(mid + 1, hi, 1 - axis);
    }

    void search(std::size_t lo, std::size_t hi, int axis, const Point& q, double& best) const {
        if (hi - lo <= kLeafSize) {
            for (std::size_t i = lo; i < hi; ++i) {
                const double d = squared_distance(q, points_[i]);
                if (d < best) best = d;
            }
            return;
        }
        const std::size_t mid = lo + (hi - lo) / 2;
        const Point& split = points_[mid];
        const double d = squared_distance(q, split);
        if (d < best) best = d;
        const double offset = axis_of(q, axis) - axis_of(split, axis);
        if (offset < 0.0) {
            search(lo, mid, 1 - axis, q, best);
            if (offset * offset < best) search(mid + 1, hi, 1 - axis, q, best);
        } else {
            search(mid + 1, hi, 1 - axis, q, best);
            if (offset * offset < best) search(lo, mid, 1 - axis, q, best);
        }
    }

    std::vector<Point> points_;
    std::vector<Point> extra_;
};

// The selected centres by group, for the repeat test: is any selected label
// of group g strictly closer than r to a point? A uniform grid keyed by
// (group, cell) with cells a little wider than r, so that every point closer
// than r lies in one of the 3 x 3 cells around the query's; where r or the
// coordinates make cells unusable, a plain scan of the group's labels.
class GroupGrid {
public:
    void build(const std::vector<Point>& points, const std::vector<std::int32_t>& groups,
               double radius, std::size_t group_count) {
        cells_.clear();
        by_group_.clear();
        const double r = std::fabs(radius);
        cell_ = r * (1.0 + 1e-6);
        use_cells_ = std::isfinite(cell_) && cell_ > 0.0;
        for (std::size_t k = 0; k < points.size() && use_cells_; ++k) use_cells_ = fits(points[k]);
        if (use_cells_) {
            cells_.reserve(points.size());
        } else {
            by_group_.assign(group_count, {});
        }
        for (std::size_t k = 0; k < points.size(); ++k) insert(points[k], groups[k]);
    }

    // Adds one point as build() would have taken it; false, adding nothing,
    // where build() would have used no cells for the points with it (the
    // caller builds anew then).
    bool add(const Point& p, std::int32_t group) {
        if (use_cells_ && !fits(p)) return false;
        insert(p, group);
        return true;
    }

    bool any_within(std::int32_t group, const Point& q, double r2) const {
        if (!use_cells_) {
            for (const Point& p : by_group_[group]) {
                if (squared_distance(q, p) < r2) return true;
            }
            return false;
        }
        // Query points need not lie within the range the cells were checked
        // for; one far outside it has no selected label nearby anyway.
        if (!(std::fabs(q.x / cell_) < kMaxCell + 2) || !(std::fabs(q.y / cell_) < kMaxCell + 2)) {
            return false;
        }
        const std::int64_t cx = cell_index(q.x);
        const std::int64_t cy = cell_index(q.y);
        for (std::int64_t ix = cx - 1; ix <= cx + 1; ++ix) {
            for (std::int64_t iy = cy - 1; iy <= cy + 1; ++iy) {
                const auto found = cells_.find(key(group, ix, iy));
                if (found == cells_.end()) continue;
                for (const Point& p : found->second) {
                    if (squared_distance(q, p) < r2) return true;
                }
            }
        }
        return false;
    }

private:
    // Cell indices stay far inside 32 bits, and x / cell is accurate to far
    // better than the cells' margin over r.
    static constexpr double kMaxCell = 1e8;

    struct Key {
        std::int32_t group;
        std::int32_t ix;
        std::int32_t iy;
        bool operator==(const Key& o) const {
            return group == o.group && ix == o.ix && iy == o.iy;
        }
    };
    struct KeyHash {
        std::size_t operator()(const Key& k) const {
            std::uint64_t h = static_cast<std::uint32_t>(k.group);
            h = h * 0x9E3779B97F4A7C15ull ^ static_cast<std::uint32_t>(k.ix);
            h = h * 0x9E3779B97F4A7C15ull ^ static_cast<std::uint32_t>(k.iy);
            h ^= h >> 29;
            return static_cast<std::size_t>(h * 0xBF58476D1CE4E5B9ull);
        }
    };

    bool fits(const Point& p) const {
        return std::fabs(p.x / cell_) < kMaxCell && std::fabs(p.y / cell_) < kMaxCell;
    }
    // Points are kept by value: the selection they came from is re-ordered
    // as it grows. Within a cell their order does not matter (any_within
    // only asks whether one is near).
    void insert(const Point& p, std::int32_t group) {
        if (group < 0) return;
        if (use_cells_) {
            cells_[key(group, cell_index(p.x), cell_index(p.y))].push_back(p);
        } else {
            by_group_[group].push_back(p);
        }
    }
    std::int64_t cell_index(double v) const { return static_cast<std::int64_t>(std::floor(v / cell_)); }
    static Key key(std::int32_t group, std::int64_t ix, std::int64_t iy) {
        return {group, static_cast<std::int32_t>(ix), static_cast<std::int32_t>(iy)};
    }

    double cell_ = 0.0;
    bool use_cells_ = false;
    std::unordered_map<Key, std::vector<Point>, KeyHash> cells_;
    std::vector<std::vector<Point>> by_group_;
};

// A remaining candidate in the max-heap: `bound` is at least its current
// squared distance to the selection. The top is the largest bound, the
// lowest index among equal bounds.
struct HeapEntry {
    double bound;
    std::uint32_t index;
};

inline bool heap_below(const HeapEntry& a, const HeapEntry& b) {
    return a.bound < b.bound || (a.bound == b.bound && a.index > b.index);
}

using Reason = PlacementError::Reason;

std::string reason_text(Reason reason) {
    switch (reason) {
        case Reason::missing_distance: return "has no 'distance'";
        case Reason::missing_line: return "has no 'line'";
        case Reason::empty_line: return "lies on an empty line, which has no point";
        case Reason::nan_distance: return "has a NaN distance, where its line has no point";
        case Reason::non_finite_centre: return "lies on a line with a non-finite coordinate there";
    }
    return "cannot be measured";
}

// Checks the keys a measurement of the record reads, in the order it reads
// them (the line, then the distance).
std::optional<Reason> unmeasurable(const LabelRecord& r) {
    if (!r.present.has(Field::line) || !r.line) return Reason::missing_line;
    if (!r.present.has(Field::distance)) return Reason::missing_distance;
    if (r.line->points.empty()) return Reason::empty_line;
    return std::nullopt;
}

// The plan centre of a record, or why it has none.
std::optional<Reason> centre_of(const LabelRecord& r, Point& out) {
    if (const auto reason = unmeasurable(r)) return reason;
    const std::optional<PlanPoint> c = label_center_xy(*r.line, r.distance);
    if (!c) return Reason::nan_distance;
    if (!std::isfinite(c->x) || !std::isfinite(c->y)) return Reason::non_finite_centre;
    out = {c->x, c->y};
    return std::nullopt;
}

// The host's max(0, v): 0 unless v is greater (a NaN v gives 0).
inline double max_zero(double v) { return v > 0.0 ? v : 0.0; }

// The best anchor per feature key; integer ids compare by value, other ids
// by their text form.
class Anchors {
public:
    void offer(const LabelRecord& r, double score, std::size_t index) {
        const IndexLabel* id = r.present.has(Field::feature_id) ? &r.feature_id
                               : r.present.has(Field::id)       ? &r.id
                                                                : nullptr;
        if (id && id->is_integer) {
            // A feature's candidates follow each other: the last choice
            // is usually the one to offer to. Map entries stay where they
            // are as the map grows.
            if (!last_integer_ || last_value_ != id->value) {
                last_integer_ = &by_integer_[id->value];
                last_value_ = id->value;
            }
            offer(*last_integer_, score, index);
        } else {
            offer(by_text_[id ? id->text : std::string("None")], score, index);
        }
    }

    std::vector<std::size_t> indices() const {
        std::vector<std::size_t> out;
        out.reserve(by_integer_.size() + by_text_.size());
        for (const auto& [key, choice] : by_integer_) out.push_back(choice.index);
        for (const auto& [key, choice] : by_text_) out.push_back(choice.index);
        std::sort(out.begin(), out.end());
        return out;
    }

private:
    static constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
    struct Choice {
        double score = 0.0;
        std::size_t index = kNone;
    };
    // On equal scores the earlier record stays.
    static void offer(Choice& best, double score, std::size_t index) {
        if (best.index == kNone || score < best.score) best = {score, index};
    }

    std::unordered_map<std::int64_t, Choice> by_integer_;
    Choice* last_integer_ = nullptr;
    std::int64_t last_value_ = 0;
    std::unordered_map<std::string, Choice> by_text_;
};

}  // namespace

PlacementError::PlacementError(Reason r, std::size_t i)
    : std::runtime_error("label " + std::to_string(i) + " " + reason_text(r)), reason(r), index(i) {}

DensityProfile placement_profile(const std::vector<LabelRecord>& records,
                                 std::string_view density,
                                 std::optional<std::int64_t> iterations_override,
                                 double engine_font_size) {
    DensityProfile profile =
        density_profile(density, median_visible_font_size(records, engine_font_size));
    if (iterations_override) profile.iterations = *iterations_override;
    return profile;
}

std::vector<std::size_t> auto_place_labels(std::vector<LabelRecord>& records,
                                           const PlacementSettings& settings,
                                           const PlacementInterrupt& check_interrupt) {
    const auto tick = [&](std::size_t i) {
        if (check_interrupt && i % kInterruptEvery == 0) check_interrupt();
    };
    const std::size_t n = records.size();
    const DensityProfile& profile = settings.profile;

    build_groups(records, settings.grouping);

    // Dense group numbers; -1 for a record without a group.
    std::vector<std::int32_t> group(n, -1);
    std::size_t group_count = 0;
    {
        // Candidates of one line follow each other and share their group,
        // so a group equal to the last record's takes its number unlooked-up.
        std::unordered_map<std::string_view, std::int32_t> numbers;
        numbers.reserve(n);  // looked up only: sized once instead of rehashed as it grows
        const std::string* last_group = nullptr;
        std::int32_t last_number = -1;
        for (std::size_t i = 0; i < n; ++i) {
            if (!records[i].present.has(Field::group_id)) continue;
            const std::string& id = records[i].group_id;
            if (!last_group || *last_group != id) {
                const auto [it, added] =
                    numbers.emplace(id, static_cast<std::int32_t>(numbers.size()));
                (void)added;
                last_group = &id;
                last_number = it->second;
            }
            group[i] = last_number;
        }
        group_count = numbers.size();
    }

    // Anchors: per feature, the candidate nearest the middle of its line.
    Anchors anchors;
    for (std::size_t idx = 0; idx < n; ++idx) {
        tick(idx);
        LabelRecord& r = records[idx];
        r.cand_idx = static_cast<std::int64_t>(idx);
        mark_written(r, Field::cand_idx);
        const double line_len = record_line_len(r);
        const double text_len = static_cast<double>(effective_text_len(r));
        const double char_w = effective_char_width_est(r, settings.sizes);
        const double spacing = effective_letter_spacing(r, settings.sizes);
        const double span = char_w * text_len + spacing * max_zero(text_len - 1.0);
        if (line_len <= 0.0 || span <= 0.0 || line_len < 0.5 * span) continue;
        if (!r.present.has(Field::distance)) throw PlacementError(Reason::missing_distance, idx);
        const double score = std::fabs(r.distance - 0.5 * line_len) - 0.001 * line_len;
        anchors.offer(r, score, idx);
    }

    std::vector<std::size_t> selected = anchors.indices();
    std::vector<char> in_selection(n, 0);
    for (std::size_t i : selected) in_selection[i] = 1;
    std::vector<char> in_remaining(n, 0);
    for (std::size_t i = 0; i < n; ++i) in_remaining[i] = !in_selection[i];

    const std::int64_t passes = profile.iterations;
    const std::int64_t cap = profile.max_labels_per_group;
    const double global_sep2 = profile.global_min_sep * profile.global_min_sep;
    const double repeat2 = profile.repeat_min_interval * profile.repeat_min_interval;

    // Centres of the remaining candidates: they never move, since the solver
    // only sees selected labels. Those without a centre are never chosen;
    // they are an error in every pass in which their group's cap does not
    // rule them out (that is when the selection would measure them).
    std::vector<Point> centre;
    std::vector<std::pair<std::size_t, Reason>> unmeasured;
    if (passes > 0) {
        centre.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            tick(i);
            if (!in_remaining[i]) continue;
            if (const auto reason = centre_of(records[i], centre[i])) unmeasured.emplace_back(i, *reason);
        }
    }
    std::vector<char> measured(passes > 0 ? n : 0, 1);
    for (const auto& [i, reason] : unmeasured) measured[i] = 0;

    std::vector<std::int64_t> group_counts(group_count, 0);
    const auto capped = [&](std::size_t c) {
        return group[c] >= 0 && group_counts[static_cast<std::size_t>(group[c])] >= cap;
    };

    // Bounds of the remaining candidates' squared distance to the selection:
    // exact for the pass that computed them, and still upper bounds in later
    // passes for as long as the selection only grows (labels added, none
    // moved or dropped). Candidates found capped or too close to their group
    // while the selection only grows stay out of the heap: both stay true.
    std::vector<double> bound(passes > 0 ? n : 0, 0.0);
    std::vector<std::int64_t> bound_pass(passes > 0 ? n : 0, -1);
    std::vector<HeapEntry> heap;
    bool heap_ready = false;

    std::vector<std::size_t> previous;        // the selection scored in the last pass
    std::vector<Point> previous_centres;
    std::vector<Point> centres;               // of `selected`, this pass
    std::vector<std::int32_t> centre_groups;
    NearestTree tree;
    GroupGrid grid;
    std::vector<std::size_t> added;
    bool grid_current = false;
    std::vector<Point> grid_pending;
    std::vector<std::int32_t> grid_pending_groups;

    // With reuse: the distance each label was last framed at, and the one
    // its entry in `centre` was measured at. A frame and a centre depend on
    // the line and the distance alone, and only the solver changes a
    // distance, so a label still at that distance (bit for bit) keeps them.
    const bool reuse = settings.reuse;
    std::vector<double> framed_at(reuse && passes > 0 ? n : 0, 0.0);
    std::vector<char> framed(reuse && passes > 0 ? n : 0, 0);
    std::vector<double> centred_at(reuse && passes > 0 ? n : 0, 0.0);
    std::vector<char> centred(reuse && passes > 0 ? n : 0, 0);
    const auto same_bits = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    solver::RepeatedSolve repeated_solve;

    for (std::int64_t pass = 0; pass < passes; ++pass) {
        if (check_interrupt) check_interrupt();

        // Frames of the selection at its current distances, then the solver.
        for (std::size_t i : selected) {
            LabelRecord& r = records[i];
            if (reuse && framed[i] && same_bits(framed_at[i], r.distance)) continue;
            if (const auto reason = unmeasurable(r)) throw PlacementError(*reason, i);
            const std::optional<Mat4> frame =
                build_tbn_matrix(*r.line, r.distance, /*auto_flip=*/true, settings.posture);
            if (!frame) throw PlacementError(Reason::nan_distance, i);
            r.matrix = *frame;
            mark_written(r, Field::matrix);
            if (reuse) {
                framed[i] = 1;
                framed_at[i] = r.distance;
            }
        }
        if (reuse) {
            repeated_solve.resolve(records, selected, settings.solver_sizes, check_interrupt);
        } else {
            solver::resolve_label_collisions(records, selected, settings.solver_sizes,
                                             check_interrupt);
        }

        // Labels the solver hid leave the selection, unless it hid them all.
        {
            std::vector<std::size_t> visible;
            visible.reserve(selected.size());
            for (std::size_t i : selected) {
                if (!record_hidden(records[i])) visible.push_back(i);
            }
            if (!visible.empty() && visible.size() != selected.size()) {
                for (std::size_t i : selected) in_selection[i] = 0;
                selected.swap(visible);
                for (std::size_t i : selected) in_selection[i] = 1;
            }
        }

        std::fill(group_counts.begin(), group_counts.end(), 0);
        for (std::size_t i : selected) {
            if (group[i] >= 0) ++group_counts[static_cast<std::size_t>(group[i])];
        }
        for (const auto& [i, reason] : unmeasured) {
            if (in_remaining[i] && !capped(i)) throw PlacementError(reason, i);
        }

        centres.resize(selected.size());
        centre_groups.resize(selected.size());
        for (std::size_t k = 0; k < selected.size(); ++k) {
            const std::size_t i = selected[k];
            centre_groups[k] = group[i];
            if (reuse && centred[i] && same_bits(centred_at[i], records[i].distance)) {
                centres[k] = centre[i];
                continue;
            }
            if (const auto reason = centre_of(records[i], centres[k])) {
                throw PlacementError(*reason, i);
            }
            if (reuse) {
                // A selected label never returns to the remaining
                // candidates, so its entry in `centre` is free for this.
                centre[i] = centres[k];
                centred[i] = 1;
                centred_at[i] = records[i].distance;
            }
        }

        // Did the selection only grow since the last pass (every label
        // scored then still selected, at the same centre)?
        bool only_grew = heap_ready;
        for (std::size_t a = 0, b = 0; only_grew && a < previous.size(); ++a) {
            while (b < selected.size() && selected[b] < previous[a]) ++b;
            only_grew = b < selected.size() && selected[b] == previous[a] &&
                        centres[b].x == previous_centres[a].x &&
                        centres[b].y == previous_centres[a].y;
        }
        // With reuse, the labels added since the last pass (positions in
        // `selected`): when the selection only grew, the tree and the grid
        // of the last pass take just these instead of being built anew.
        added.clear();
        if (reuse && only_grew) {
            for (std::size_t a = 0, b = 0; b < selected.size(); ++b) {
                if (a < previous.size() && previous[a] == selected[b]) {
                    ++a;
                } else {
                    added.push_back(b);
                }
            }
        }
        if (!(reuse && only_grew)) grid_current = false;
        for (std::size_t b : added) {
            grid_pending.push_back(centres[b]);
            grid_pending_groups.push_back(centre_groups[b]);
        }
        if (!grid_current) {
            grid_pending.clear();
            grid_pending_groups.clear();
        }
        previous = selected;
        previous_centres = centres;

        constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
        std::size_t best = kNone;
        if (selected.empty()) {
            // Every admissible candidate scores alike: the first one wins.
            for (std::size_t c = 0; c < n && best == kNone; ++c) {
                if (in_remaining[c] && measured[c] && !capped(c)) best = c;
            }
            heap_ready = false;
        } else {
            // A tree with many added points scans them on every query: then
            // building it anew is cheaper.
            if (reuse && only_grew && tree.added() + added.size() <= kMostAdded) {
                for (std::size_t b : added) tree.add(centres[b]);
            } else {
                tree.build(centres);
            }
            bool grid_ready = false;
            const auto repeat_blocked = [&](std::size_t c) {
                if (group[c] < 0 || !(repeat2 > 0.0)) return false;
                if (!grid_ready) {
                    // The grid holds the centres of some earlier pass's
                    // selection, which has only grown since, plus those
                    // pending; else it is built from this pass's.
                    bool current = grid_current;
                    for (std::size_t k = 0; current && k < grid_pending.size(); ++k) {
                        current = grid.add(grid_pending[k], grid_pending_groups[k]);
                    }
                    if (!current) {
                        grid.build(centres, centre_groups, profile.repeat_min_interval, group_count);
                    }
                    grid_current = reuse;
                    grid_pending.clear();
                    grid_pending_groups.clear();
                    grid_ready = true;
                }
                return grid.any_within(group[c], centre[c], repeat2);
            };

            if (!only_grew) {
                heap.clear();
                for (std::size_t c = 0; c < n; ++c) {
                    tick(c);
                    if (!in_remaining[c] || !measured[c]) continue;
                    bound[c] = tree.nearest(centre[c]);
                    bound_pass[c] = pass;
                    heap.push_back({bound[c], static_cast<std::uint32_t>(c)});
                }
                std::make_heap(heap.begin(), heap.end(), heap_below);
                heap_ready = true;
            }

            for (std::size_t popped = 1; !heap.empty(); ++popped) {
                tick(popped);
                std::pop_heap(heap.begin(), heap.end(), heap_below);
                const std::size_t c = heap.back().index;
                if (bound_pass[c] != pass) {
                    bound[c] = tree.nearest(centre[c]);
                    bound_pass[c] = pass;
                    heap.back().bound = bound[c];
                    std::push_heap(heap.begin(), heap.end(), heap_below);
                    continue;
                }
                // The largest exact distance: if it is below the global
                // separation, every other candidate's is too.
                if (bound[c] < global_sep2) {
                    std::push_heap(heap.begin(), heap.end(), heap_below);
                    break;
                }
                heap.pop_back();
                if (capped(c) || repeat_blocked(c)) continue;
                best = c;
                break;
            }
        }
        if (best == kNone) break;

        in_remaining[best] = 0;
        in_selection[best] = 1;
        selected.insert(std::lower_bound(selected.begin(), selected.end(), best), best);
    }

    for (std::size_t i = 0; i < n; ++i) {
        records[i].hidden = !in_selection[i];
        mark_written(records[i], Field::hidden);
    }
    return selected;
}

}  // namespace glyphway::placement
