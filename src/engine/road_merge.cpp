#include "engine/road_merge.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <numeric>
#include <utility>

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

// The node of every piece end, numbered in the order of their lowest end.
// Ends at exactly the same plan point share a node. An end alone at its
// point (a digitising gap), taken in end order, then joins the nearest node
// within `eps` of it, measured to that node's own point, unless someone has
// joined it first; never the node of its own piece's other end nor an
// emptied one. Distances are always to a node's own point, so a join never
// chains on through a node: joining all ends within eps of each other
// transitively collapsed a road drawn as 500 touching pieces of 6 m (shorter
// than the default eps) into one node of 1,000 ends, which got no label.
std::vector<std::size_t> end_nodes(const std::vector<std::shared_ptr<const LineGeometry>>& lines,
                                   const std::vector<Piece>& pieces, double eps) {
    const std::size_t n = 2 * pieces.size();
    std::vector<std::size_t> by_point(n);
    std::iota(by_point.begin(), by_point.end(), std::size_t{0});
    std::sort(by_point.begin(), by_point.end(), [&](std::size_t a, std::size_t b) {
        const Vec3& p = end_point(lines, pieces, a);
        const Vec3& q = end_point(lines, pieces, b);
        if (p.x != q.x) return p.x < q.x;
        if (p.y != q.y) return p.y < q.y;
        return a < b;
    });
    // Runs of equal points; a run is named after its lowest end.
    std::vector<std::size_t> first_of(n);
    for (std::size_t i = 0; i < n;) {
        const Vec3& p = end_point(lines, pieces, by_point[i]);
        std::size_t j = i + 1;
        while (j < n) {
            const Vec3& q = end_point(lines, pieces, by_point[j]);
            if (q.x != p.x || q.y != p.y) break;
            ++j;
        }
        for (std::size_t k = i; k < j; ++k) first_of[by_point[k]] = by_point[i];
        i = j;
    }
    constexpr std::size_t kUnset = static_cast<std::size_t>(-1);
    std::vector<std::size_t> node(n, kUnset);
    std::vector<std::size_t> node_point;  // an end at the node's own point
    for (std::size_t e = 0; e < n; ++e) {
        if (node[first_of[e]] == kUnset) {
            node[first_of[e]] = node_point.size();
            node_point.push_back(first_of[e]);
        }
        node[e] = node[first_of[e]];
    }
    std::vector<std::size_t> size(node_point.size(), 0);
    for (std::size_t e = 0; e < n; ++e) ++size[node[e]];
    if (!(eps > 0.0)) return node;

    // The nodes by grid cell, sorted so that a cell's nodes are found by
    // binary search. Cells are eps wide, or wider where eps is below the
    // coordinates' own precision (a font size of 1e-13 on UTM northings), so
    // that the cells never run past the clamp and fold every node into one.
    double extent = 0.0;
    for (std::size_t first : node_point) {
        const Vec3& p = end_point(lines, pieces, first);
        extent = std::max({extent, std::fabs(p.x), std::fabs(p.y)});
    }
    const double side = std::max(eps, std::ldexp(extent, -50));
    struct Entry {
        Cell cell;
        std::size_t node;
    };
    std::vector<Entry> grid;
    grid.reserve(node_point.size());
    for (std::size_t v = 0; v < node_point.size(); ++v) {
        const Vec3& p = end_point(lines, pieces, node_point[v]);
        grid.push_back({{cell_of(p.x, side), cell_of(p.y, side)}, v});
    }
    std::sort(grid.begin(), grid.end(), [](const Entry& a, const Entry& b) {
        return a.cell != b.cell ? a.cell < b.cell : a.node < b.node;
    });
    for (std::size_t e = 0; e < n; ++e) {
        const std::size_t own = node[e];
        if (size[own] != 1) continue;
        const Vec3& p = end_point(lines, pieces, e);
        const std::int64_t cx = cell_of(p.x, side), cy = cell_of(p.y, side);
        std::size_t best = kUnset;
        double best_d2 = eps * eps;
        for (std::int64_t dx = -1; dx <= 1; ++dx) {
            for (std::int64_t dy = -1; dy <= 1; ++dy) {
                const Cell cell{cx + dx, cy + dy};
                auto it = std::lower_bound(
                    grid.begin(), grid.end(), cell,
                    [](const Entry& a, const Cell& c) { return a.cell < c; });
                for (; it != grid.end() && it->cell == cell; ++it) {
                    const std::size_t v = it->node;
                    // An emptied node (its lone end moved on) is no place to meet.
                    if (v == own || v == node[e ^ 1u] || size[v] == 0) continue;
                    const Vec3& q = end_point(lines, pieces, node_point[v]);
                    const double ox = p.x - q.x, oy = p.y - q.y;
                    const double d2 = ox * ox + oy * oy;
                    if (d2 < best_d2 || (d2 == best_d2 && v < best)) {
                        best = v;
                        best_d2 = d2;
                    }
                }
            }
        }
        if (best == kUnset) continue;
        --size[own];
        ++size[best];
        node[e] = best;
    }
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

// The most ends a junction may have and still be run through: ten copies of
// a road of several pieces meet twenty at a time, and a node of n ends
// weighs n * (n - 1) / 2 pairs.
constexpr std::size_t kMaxJunctionEnds = 32;

// The end each piece end continues into, or kNone where the line stops.
// Two ends alone at a node continue into each other. At a node of three to
// kMaxJunctionEnds, pairs that run on straightest (turning at most
// `junction_turn`) are joined, the straightest first; the other ends stop
// there. Every pair is weighed, so a larger node is a break for all its ends.
std::vector<std::size_t> partners(const std::vector<std::shared_ptr<const LineGeometry>>& lines,
                                  const std::vector<Piece>& pieces,
                                  const std::vector<std::size_t>& node, double junction_turn) {
    // The ends of each node, lowest first (node numbers are dense).
    std::size_t nodes = 0;
    for (std::size_t v : node) nodes = std::max(nodes, v + 1);
    std::vector<std::size_t> offset(nodes + 1, 0);
    for (std::size_t v : node) ++offset[v + 1];
    for (std::size_t v = 0; v < nodes; ++v) offset[v + 1] += offset[v];
    std::vector<std::size_t> ends_at(node.size());
    {
        std::vector<std::size_t> fill(offset.begin(), offset.end() - 1);
        for (std::size_t e = 0; e < node.size(); ++e) ends_at[fill[node[e]]++] = e;
    }
    std::vector<std::size_t> partner(node.size(), kNone);
    for (std::size_t v = 0; v < nodes; ++v) {
        const std::size_t* ends = ends_at.data() + offset[v];
        const std::size_t count = offset[v + 1] - offset[v];
        if (count == 2) {
            partner[ends[0]] = ends[1];
            partner[ends[1]] = ends[0];
            continue;
        }
        if (count < 2 || count > kMaxJunctionEnds || !(junction_turn > 0.0)) continue;
        struct Pair {
            double turn;
            std::size_t a, b;
        };
        std::vector<Pair> pairs;
        for (std::size_t i = 0; i < count; ++i) {
            double ax = 0, ay = 0;
            if (!leaving_direction(*lines[pieces[ends[i] / 2].line], ends[i] % 2 == 1, ax, ay))
                continue;
            for (std::size_t j = i + 1; j < count; ++j) {
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
    // Each road's lowest piece is found once: a comparison that walked both
    // roads' pieces made the sort quadratic on a road of 100,000 pieces.
    std::vector<std::pair<std::size_t, std::size_t>> first_piece;  // (lowest piece, road)
    first_piece.reserve(roads.size());
    for (std::size_t r = 0; r < roads.size(); ++r) {
        first_piece.push_back(
            {*std::min_element(roads[r].pieces.begin(), roads[r].pieces.end()), r});
    }
    std::sort(first_piece.begin(), first_piece.end());
    std::vector<MergedRoad> ordered;
    ordered.reserve(roads.size());
    for (const auto& [piece, r] : first_piece) ordered.push_back(std::move(roads[r]));
    return ordered;
}

}  // namespace glyphway::engine
