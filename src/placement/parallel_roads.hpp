#pragma once
// Same-name lines that run side by side: the two carriageways of a dual
// street, a road digitised twice, the copies of one layer pasted into
// another. A reader sees one street there, so placement treats such lines
// as one road and spaces its labels over all of them.
//
// Line B runs along line A when at least half of B's length lies within
// `distance` of A (judged at points spaced along B). The relation is read
// both ways and closed transitively, so each group holds the lines of one
// name that lie along one another. Lines that only meet at a point (spokes
// of a star, a street crossing itself) stay apart.
#include <cstddef>
#include <vector>

#include "engine/periodic_check.hpp"
#include "engine/road_merge.hpp"

namespace glyphway::placement {

// The group of every road, as the index of the group's first road in
// `roads` order; a road alone is its own group. `distance` must be
// positive. Memory and time stay bounded by the number of roads and their
// vertices however small `distance` is: each line is judged at no more than
// a few thousand points.
std::vector<std::size_t> parallel_road_groups(const std::vector<engine::MergedRoad>& roads,
                                              double distance,
                                              const engine::InterruptCallback& check_interrupt = {});

}  // namespace glyphway::placement
