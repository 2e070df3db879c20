#pragma once
// Disjoint sets over 0..n-1 with path halving and union by rank. The exact
// rules matter: which node ends up root decides nothing visible, but ties
// are broken deterministically (the first argument's root stays root).
#include <cstddef>
#include <vector>

namespace glyphway::engine {

struct UnionFind {
    std::vector<std::size_t> parent;
    std::vector<int> rank;
};

UnionFind make_union_find(std::size_t n);

// Root of x; every visited node is re-pointed at its grandparent.
std::size_t find_root(UnionFind& sets, std::size_t x);

// Joins the sets of x and y: the lower-ranked root goes under the other; on
// equal ranks y's root goes under x's, whose rank grows by one.
void unite(UnionFind& sets, std::size_t x, std::size_t y);

}  // namespace glyphway::engine
