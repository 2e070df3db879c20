#pragma once
// Road merging: the pieces of one named road, chained end to end into the
// long lines a label may run along.
//
// Pieces with the same name meet at nodes: the places where their ends
// meet. Ends at exactly the same point share a node; an end left alone at
// its point (a digitising gap) joins the nearest node of other pieces within
// `connect_eps` of it (never the node of its own piece's other end). Nodes
// are never chained: a road drawn as 500 touching pieces of 6 m, shorter
// than the tolerance, once became a single node of 1,000 ends and got no
// label; now it is 499 nodes of two ends and one line. Where exactly two
// piece ends of that name meet, the pieces are joined into one line
// (reversing pieces as needed); where one meets (a dead end), the line ends.
// Where three or more meet (a fork, a junction of a dual carriageway), the
// line ends too, unless junction_turn is set: then the pairs of ends that run
// on straightest, turning at most that much, are joined (the straightest
// first), so a main road keeps going past a side branch of its own name. That
// weighs every pair of ends, so a node of more than 32 ends (only copies of
// one road meet so many) is a break for all of them and the merge stays
// O(n log n) in time and O(n) in memory. Roads of other names never break or
// join a line: a street crossed by a hundred side streets is still one line.
//
// Chaining is done here rather than with GEOS's line merger because end
// points must meet within the same tolerance that name_connected grouping
// uses (GEOS joins exactly equal coordinates only), z must ride along, and
// the order of the pieces and of the output has to be defined by the input
// order alone.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "engine/candidate_sampling.hpp"
#include "engine/line_geometry.hpp"
#include "engine/periodic_check.hpp"

namespace glyphway::engine {

struct MergedRoad {
    std::string text;
    std::size_t feature = 0;   // the feature of the road's first piece in input order
    double weight = 1.0;       // the largest weight among its pieces' features
    // Indices into `lines` of the pieces, in the order the merged line runs
    // through them, and whether each runs against its own vertex order.
    std::vector<std::size_t> pieces;
    std::vector<bool> piece_reversed;
    std::shared_ptr<const LineGeometry> line;
};

struct MergeSettings {
    // End points this close (in plan) meet.
    double connect_eps = 0.0;
    // The largest turn, in radians, of a line running on through a junction
    // of three or more ends; 0 keeps every such junction a break.
    double junction_turn = 0.0;
};

// The merged roads of all features, ordered by their first piece in input
// order. A piece that cannot be sampled or has no plan length is left out.
// Consecutive pieces share their joint vertex once when their end points are
// equal; ends that only lie within the tolerance are joined by the short
// segment between them. A ring of pieces becomes one line that starts and
// ends at the start of its lowest-numbered piece.
std::vector<MergedRoad> merge_named_roads(
    const std::vector<SampledFeature>& features,
    const std::vector<std::shared_ptr<const LineGeometry>>& lines, const MergeSettings& settings,
    const InterruptCallback& check_interrupt = {});

}  // namespace glyphway::engine
