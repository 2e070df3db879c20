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

// Chains the pieces of one name into merged roads.
void chain_name(const std::string& text, const std::vector<Piece>& pieces,
                const std::vector<SampledFeature>& features,
                const std::vector<std::shared_ptr<const LineGeometry>>& lines, double eps,
                std::vector<MergedRoad>& out) {
    const std::vector<std::size_t> node = end_nodes(lines, pieces, eps);
    std::map<std::size_t, std::vector<std::size_t>> ends_at;
    for (std::size_t e = 0; e < node.size(); ++e) ends_at[node[e]].push_back(e);
    const auto degree = [&](std::size_t e) { return ends_at[node[e]].size(); };

    std::vector<bool> used(pieces.size(), false);
    // Walks from end `e` of its piece through every two-way node.
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
            const std::size_t far = e ^ 1u;
            if (degree(far) != 2) break;
            const std::vector<std::size_t>& there = ends_at[node[far]];
            const std::size_t next = there[0] == far ? there[1] : there[0];
            if (used[next / 2]) break;
            e = next;
        }
        road.line = std::make_shared<const LineGeometry>(make_line_geometry(std::move(points), has_z));
        out.push_back(std::move(road));
    };
    // Open chains first, from whichever end is not a two-way node; what is
    // left after that are rings.
    for (std::size_t p = 0; p < pieces.size(); ++p) {
        if (used[p]) continue;
        if (degree(2 * p) != 2) walk(2 * p);
        else if (degree(2 * p + 1) != 2) walk(2 * p + 1);
    }
    for (std::size_t p = 0; p < pieces.size(); ++p) {
        if (!used[p]) walk(2 * p);
    }
}

}  // namespace detail

std::vector<MergedRoad> merge_named_roads(
    const std::vector<SampledFeature>& features,
    const std::vector<std::shared_ptr<const LineGeometry>>& lines, double connect_eps,
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
        detail::chain_name(text, pieces, features, lines, connect_eps, roads);
    }
    std::stable_sort(roads.begin(), roads.end(), [](const MergedRoad& a, const MergedRoad& b) {
        return *std::min_element(a.pieces.begin(), a.pieces.end()) <
               *std::min_element(b.pieces.begin(), b.pieces.end());
    });
    return roads;
}

}  // namespace glyphway::engine
