#include "engine/road_merge.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <utility>

#include "engine/union_find.hpp"

namespace glyphway::engine {

namespace detail {

struct Piece {
    std::size_t line = 0;
    std::size_t feature = 0;
};

// End e of piece e / 2: its start when e is even, its end when odd.
const Vec3& end_point(const std::vector<std::shared_ptr<const LineGeometry>>& lines,
                      const std::vector<Piece>& pieces, std::size_t e) {
    const LineGeometry& line = *lines[pieces[e / 2].line];
    return e % 2 == 0 ? line.points.front() : line.points.back();
}

using Cell = std::pair<std::int64_t, std::int64_t>;

std::int64_t cell_of(double v, double side) {
    const double c = std::floor(v / side);
    // Coordinates far beyond any map fold onto the clamp; they only cost
    // extra distance tests there.
    return static_cast<std::int64_t>(std::clamp(c, -4.0e18, 4.0e18));
}

// The node of every piece end: ends within `eps` of each other (in plan),
// transitively, share one.
std::vector<std::size_t> end_nodes(const std::vector<std::shared_ptr<const LineGeometry>>& lines,
                                   const std::vector<Piece>& pieces, double eps) {
    const std::size_t n = 2 * pieces.size();
    UnionFind sets = make_union_find(n);
    const double side = eps > 0.0 ? eps : 1.0;
    std::map<Cell, std::vector<std::size_t>> grid;
    for (std::size_t e = 0; e < n; ++e) {
        const Vec3& p = end_point(lines, pieces, e);
        const std::int64_t cx = cell_of(p.x, side), cy = cell_of(p.y, side);
        for (std::int64_t dx = -1; dx <= 1; ++dx) {
            for (std::int64_t dy = -1; dy <= 1; ++dy) {
                const auto it = grid.find({cx + dx, cy + dy});
                if (it == grid.end()) continue;
                for (std::size_t other : it->second) {
                    const Vec3& q = end_point(lines, pieces, other);
                    const double ox = p.x - q.x, oy = p.y - q.y;
                    const bool meets = eps > 0.0 ? ox * ox + oy * oy <= eps * eps
                                                 : (p.x == q.x && p.y == q.y);
                    if (meets) unite(sets, other, e);
                }
            }
        }
        grid[{cx, cy}].push_back(e);
    }
    std::vector<std::size_t> node(n);
    for (std::size_t e = 0; e < n; ++e) node[e] = find_root(sets, e);
    return node;
}

void append_piece(std::vector<Vec3>& points, const LineGeometry& line, bool reversed) {
    const std::size_t before = points.size();
    if (reversed) points.insert(points.end(), line.points.rbegin(), line.points.rend());
    else points.insert(points.end(), line.points.begin(), line.points.end());
    if (before > 0) {
        const Vec3& a = points[before - 1];
        const Vec3& b = points[before];
        if (a.x == b.x && a.y == b.y && a.z == b.z) points.erase(points.begin() + before);
    }
}

// The plan direction in which the piece of end e leaves its node: along its
// first segment of some length from that end. False for a piece with none.
bool leaving_direction(const LineGeometry& line, bool at_end, double& dx, double& dy) {
    const std::size_t n = line.points.size();
    for (std::size_t k = 0; k + 1 < n; ++k) {
        const Vec3& a = line.points[at_end ? n - 1 - k : k];
        const Vec3& b = line.points[at_end ? n - 2 - k : k + 1];
        if (a.x != b.x || a.y != b.y) {
            dx = b.x - a.x;
            dy = b.y - a.y;
            return true;
        }
    }
    return false;
}

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// The end each piece end continues into, or kNone where the line stops.
// Two ends alone at a node continue into each other. At a node of three or
// more, pairs that run on straightest (turning at most `junction_turn`) are
// joined, the straightest first; the other ends stop there.
std::vector<std::size_t> partners(const std::vector<std::shared_ptr<const LineGeometry>>& lines,
                                  const std::vector<Piece>& pieces,
                                  const std::vector<std::size_t>& node, double junction_turn) {
    std::map<std::size_t, std::vector<std::size_t>> ends_at;
    for (std::size_t e = 0; e < node.size(); ++e) ends_at[node[e]].push_back(e);
    std::vector<std::size_t> partner(node.size(), kNone);
    for (const auto& [root, ends] : ends_at) {
        (void)root;
        if (ends.size() == 2) {
            partner[ends[0]] = ends[1];
            partner[ends[1]] = ends[0];
            continue;
        }
        if (ends.size() < 2 || !(junction_turn > 0.0)) continue;
        struct Pair {
            double turn;
            std::size_t a, b;
        };
        std::vector<Pair> pairs;
        for (std::size_t i = 0; i < ends.size(); ++i) {
            double ax = 0, ay = 0;
            if (!leaving_direction(*lines[pieces[ends[i] / 2].line], ends[i] % 2 == 1, ax, ay))
                continue;
            for (std::size_t j = i + 1; j < ends.size(); ++j) {
                if (ends[i] / 2 == ends[j] / 2) continue;  // a piece never runs on into itself
                double bx = 0, by = 0;
                if (!leaving_direction(*lines[pieces[ends[j] / 2].line], ends[j] % 2 == 1, bx,
                                       by))
                    continue;
                // Arriving along -a, leaving along b.
                const double turn = std::fabs(std::atan2(-ax * by + ay * bx, -ax * bx - ay * by));
                if (turn <= junction_turn) pairs.push_back({turn, ends[i], ends[j]});
            }
        }
        std::stable_sort(pairs.begin(), pairs.end(),
                         [](const Pair& x, const Pair& y) { return x.turn < y.turn; });
        for (const Pair& pair : pairs) {
            if (partner[pair.a] != kNone || partner[pair.b] != kNone) continue;
            partner[pair.a] = pair.b;
            partner[pair.b] = pair.a;
        }
    }
    return partner;
}

// Chains the pieces of one name into merged roads.
void chain_name(const std::string& text, const std::vector<Piece>& pieces,
                const std::vector<SampledFeature>& features,
                const std::vector<std::shared_ptr<const LineGeometry>>& lines,
                const MergeSettings& settings, std::vector<MergedRoad>& out) {
    const std::vector<std::size_t> node = end_nodes(lines, pieces, settings.connect_eps);
    const std::vector<std::size_t> partner =
        partners(lines, pieces, node, settings.junction_turn);

    std::vector<bool> used(pieces.size(), false);
    // Walks from end `e` of its piece as far as the ends continue.
    const auto walk = [&](std::size_t e) {
        MergedRoad road;
        road.text = text;
        road.feature = pieces[e / 2].feature;
        road.weight = features[road.feature].weight;
        std::vector<Vec3> points;
        bool has_z = false;
        for (;;) {
            const std::size_t p = e / 2;
            used[p] = true;
            const bool reversed = e % 2 == 1;
            const LineGeometry& line = *lines[pieces[p].line];
            append_piece(points, line, reversed);
            has_z = has_z || line.has_z;
            road.pieces.push_back(pieces[p].line);
            road.piece_reversed.push_back(reversed);
            road.feature = std::min(road.feature, pieces[p].feature);
            road.weight = std::max(road.weight, features[pieces[p].feature].weight);
            const std::size_t next = partner[e ^ 1u];
            if (next == kNone || used[next / 2]) break;
            e = next;
        }
        road.line = std::make_shared<const LineGeometry>(make_line_geometry(std::move(points), has_z));
        out.push_back(std::move(road));
    };
    // Open chains first, from whichever end does not continue; what is left
    // after that are rings.
    for (std::size_t p = 0; p < pieces.size(); ++p) {
        if (used[p]) continue;
        if (partner[2 * p] == kNone) walk(2 * p);
        else if (partner[2 * p + 1] == kNone) walk(2 * p + 1);
    }
    for (std::size_t p = 0; p < pieces.size(); ++p) {
        if (!used[p]) walk(2 * p);
    }
}

}  // namespace detail

std::vector<MergedRoad> merge_named_roads(
    const std::vector<SampledFeature>& features,
    const std::vector<std::shared_ptr<const LineGeometry>>& lines, const MergeSettings& settings,
    const InterruptCallback& check_interrupt) {
    PeriodicCheck check(check_interrupt, 4096);
    std::map<std::string, std::vector<detail::Piece>> by_name;
    for (std::size_t f = 0; f < features.size(); ++f) {
        const SampledFeature& feature = features[f];
        for (std::size_t l = feature.first_line; l < feature.first_line + feature.line_count; ++l) {
            check.tick();
            const LineGeometry& line = *lines[l];
            if (!line_can_be_sampled(line) || !(line_length(line) > 0.0)) continue;
            by_name[feature.text].push_back({l, f});
        }
    }
    std::vector<MergedRoad> roads;
    for (const auto& [text, pieces] : by_name) {
        check.tick(pieces.size());
        detail::chain_name(text, pieces, features, lines, settings, roads);
    }
    std::stable_sort(roads.begin(), roads.end(), [](const MergedRoad& a, const MergedRoad& b) {
        return *std::min_element(a.pieces.begin(), a.pieces.end()) <
               *std::min_element(b.pieces.begin(), b.pieces.end());
    });
    return roads;
}

}  // namespace glyphway::engine
