#include "placement/parallel_roads.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>

#include "engine/union_find.hpp"
#include "placement/keyed_cell.hpp"

namespace glyphway::placement {

namespace detail {

// A line is judged at points at most `distance` apart, and no more than this
// many: with a font size of a millimetre a six-kilometre road would
// otherwise be judged at millions of points.
constexpr double kMaxSamplesPerLine = 4096.0;
// Roads are judged this many at a time between checks for an interrupt.
constexpr std::size_t kRoadsPerChunk = 4096;

struct Sample {
    std::uint32_t name = 0;
    std::int64_t cx = 0, cy = 0;
    std::uint32_t road = 0;
    double x = 0.0, y = 0.0;
};

bool key_less(const Sample& a, const Sample& b) {
    return std::tie(a.name, a.cx, a.cy, a.road) < std::tie(b.name, b.cx, b.cy, b.road);
}

// Where each cell's points lie in the sorted points: [first, second).
using CellRanges =
    std::unordered_map<KeyedCell, std::pair<std::size_t, std::size_t>, KeyedCellHash>;

std::int64_t cell_of(double v, double side) {
    return static_cast<std::int64_t>(std::clamp(std::floor(v / side), -4.0e18, 4.0e18));
}

// The name of every road as a number: equal texts, equal numbers.
std::vector<std::uint32_t> name_ids(const std::vector<engine::MergedRoad>& roads) {
    std::vector<std::size_t> order(roads.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return roads[a].text < roads[b].text;
    });
    std::vector<std::uint32_t> id(roads.size(), 0);
    std::uint32_t next = 0;
    for (std::size_t k = 0; k < order.size(); ++k) {
        if (k > 0 && roads[order[k]].text != roads[order[k - 1]].text) ++next;
        id[order[k]] = next;
    }
    return id;
}

// How far a point may lie from a line's own points and still be along it:
// `distance`, and further where the line's points had to be spread further
// apart than that.
double reach_of(double half_step, double distance) {
    return distance + std::max(0.0, half_step - 0.5 * distance);
}

// Boxes a line is compared with before its whole name is judged instead: a
// name drawn a thousand times in one place must not cost a million box
// tests, and judging a line that meets nothing costs only its points.
constexpr std::size_t kMaxBoxTests = 64;

// Whether each line's box, grown by its reach, meets the grown box of
// another line of its name (or its name has too many lines in one place to
// tell cheaply).
std::vector<bool> lines_near_their_name(const std::vector<engine::MergedRoad>& roads,
                                        const std::vector<std::uint32_t>& name,
                                        const std::vector<double>& half_step, double distance) {
    const std::size_t n = roads.size();
    struct Box {
        double x0, y0, x1, y1;
    };
    std::vector<Box> box(n);
    for (std::size_t r = 0; r < n; ++r) {
        Box b{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
        for (const engine::Vec3& p : roads[r].line->points) {
            b.x0 = std::min(b.x0, p.x);
            b.y0 = std::min(b.y0, p.y);
            b.x1 = std::max(b.x1, p.x);
            b.y1 = std::max(b.y1, p.y);
        }
        const double grow = reach_of(half_step[r], distance);
        box[r] = {b.x0 - grow, b.y0 - grow, b.x1 + grow, b.y1 + grow};
    }
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return std::tie(name[a], box[a].x0, a) < std::tie(name[b], box[b].x0, b);
    });
    std::vector<bool> near(n, false);
    std::vector<bool> whole_name(n, false);  // by name: every line judged
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t a = order[i];
        std::size_t tests = 0;
        for (std::size_t j = i + 1; j < n; ++j) {
            const std::size_t b = order[j];
            if (name[b] != name[a] || box[b].x0 > box[a].x1) break;
            if (++tests > kMaxBoxTests) {
                whole_name[name[a]] = true;
                break;
            }
            if (box[b].y0 <= box[a].y1 && box[a].y0 <= box[b].y1) near[a] = near[b] = true;
        }
    }
    for (std::size_t r = 0; r < n; ++r) {
        if (whole_name[name[r]]) near[r] = true;
    }
    return near;
}

}  // namespace detail

std::vector<std::size_t> parallel_road_groups(const std::vector<engine::MergedRoad>& roads,
                                              double distance,
                                              const engine::InterruptCallback& check_interrupt) {
    const std::size_t n = roads.size();
    std::vector<std::size_t> group(n);
    std::iota(group.begin(), group.end(), std::size_t{0});
    if (n < 2 || !(distance > 0.0) || !std::isfinite(distance)) return group;
    const std::vector<std::uint32_t> name = detail::name_ids(roads);

    // Each line is judged at points spread evenly along it, each standing
    // for one part.
    std::vector<std::size_t> count(n, 0), first(n + 1, 0);
    std::vector<double> half_step(n, 0.0);
    for (std::size_t r = 0; r < n; ++r) {
        const double len = engine::line_length(*roads[r].line);
        const double parts =
            std::clamp(std::ceil(len / distance), 1.0, detail::kMaxSamplesPerLine);
        count[r] = static_cast<std::size_t>(parts);
        half_step[r] = 0.5 * len / parts;
    }
    // Only lines whose box, grown by the reach, meets the box of another
    // line of their name are judged at all: most names have one line, and
    // the same name on two streets across a city (or on copies of a network
    // a degree apart) never comes near.
    const std::vector<bool> judged = detail::lines_near_their_name(roads, name, half_step, distance);
    for (std::size_t r = 0; r < n; ++r) {
        if (!judged[r]) count[r] = 0;
        first[r + 1] = first[r] + count[r];
    }
    // A point lies along another line when one of that line's points is
    // within `distance` of it: with points at most `distance` apart that
    // holds for every point within 0.87 of `distance` of the line, and for
    // none beyond `distance`. A line whose points had to be spread further
    // apart is reached that much further.
    double reach = distance;
    for (std::size_t r = 0; r < n; ++r) {
        if (count[r] > 0) reach = std::max(reach, detail::reach_of(half_step[r], distance));
    }
    std::vector<detail::Sample> samples(first[n]);
#pragma omp parallel for schedule(dynamic, 64)
    for (std::size_t r = 0; r < n; ++r) {
        const engine::LineGeometry& line = *roads[r].line;
        for (std::size_t i = 0; i < count[r]; ++i) {
            const engine::Vec3 p = *engine::interpolate(line, (2.0 * i + 1.0) * half_step[r]);
            samples[first[r] + i] = {name[r], detail::cell_of(p.x, reach),
                                     detail::cell_of(p.y, reach), static_cast<std::uint32_t>(r),
                                     p.x, p.y};
        }
    }
    if (check_interrupt) check_interrupt();
    std::vector<detail::Sample> sorted = samples;
    std::sort(sorted.begin(), sorted.end(), detail::key_less);
    detail::CellRanges cells;
    cells.reserve(sorted.size());
    for (std::size_t i = 0; i < sorted.size();) {
        std::size_t j = i + 1;
        while (j < sorted.size() && sorted[j].name == sorted[i].name &&
               sorted[j].cx == sorted[i].cx && sorted[j].cy == sorted[i].cy) {
            ++j;
        }
        cells.emplace(KeyedCell{sorted[i].name, sorted[i].cx, sorted[i].cy},
                      std::make_pair(i, j));
        i = j;
    }
    if (check_interrupt) check_interrupt();

    // For every road, the roads it runs along (half its points or more).
    std::vector<std::vector<std::uint32_t>> along(n);
    for (std::size_t chunk = 0; chunk < n; chunk += detail::kRoadsPerChunk) {
        const std::size_t end = std::min(n, chunk + detail::kRoadsPerChunk);
#pragma omp parallel for schedule(dynamic, 16)
        for (std::size_t r = chunk; r < end; ++r) {
            std::vector<std::uint32_t> near;  // one entry per point and road near it
            std::vector<std::uint32_t> here;
            for (std::size_t i = first[r]; i < first[r + 1]; ++i) {
                const detail::Sample& s = samples[i];
                here.clear();
                for (std::int64_t dx = -1; dx <= 1; ++dx) {
                    for (std::int64_t dy = -1; dy <= 1; ++dy) {
                        const auto cell = cells.find({s.name, s.cx + dx, s.cy + dy});
                        if (cell == cells.end()) continue;
                        for (std::size_t k = cell->second.first; k < cell->second.second; ++k) {
                            const detail::Sample* it = &sorted[k];
                            if (it->road == s.road) continue;
                            const double limit = detail::reach_of(half_step[it->road], distance);
                            const double ox = it->x - s.x, oy = it->y - s.y;
                            if (ox * ox + oy * oy <= limit * limit) here.push_back(it->road);
                        }
                    }
                }
                std::sort(here.begin(), here.end());
                here.erase(std::unique(here.begin(), here.end()), here.end());
                near.insert(near.end(), here.begin(), here.end());
            }
            std::sort(near.begin(), near.end());
            for (std::size_t a = 0; a < near.size();) {
                std::size_t b = a;
                while (b < near.size() && near[b] == near[a]) ++b;
                if (count[r] > 0 && 2 * (b - a) >= count[r]) along[r].push_back(near[a]);
                a = b;
            }
        }
        if (check_interrupt) check_interrupt();
    }

    engine::UnionFind sets = engine::make_union_find(n);
    for (std::size_t r = 0; r < n; ++r) {
        for (std::uint32_t other : along[r]) engine::unite(sets, r, other);
    }
    // Each group is named by its first road, whatever root the sets chose.
    std::vector<std::size_t> lowest(n, n);
    for (std::size_t r = 0; r < n; ++r) {
        std::size_t& low = lowest[engine::find_root(sets, r)];
        low = std::min(low, r);
    }
    for (std::size_t r = 0; r < n; ++r) group[r] = lowest[engine::find_root(sets, r)];
    return group;
}

}  // namespace glyphway::placement
