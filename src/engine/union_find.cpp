#include "engine/union_find.hpp"

#include <numeric>

namespace glyphway::engine {

UnionFind make_union_find(std::size_t n) {
    UnionFind sets;
    sets.parent.resize(n);
    std::iota(sets.parent.begin(), sets.parent.end(), std::size_t{0});
    sets.rank.assign(n, 0);
    return sets;
}

std::size_t find_root(UnionFind& sets, std::size_t x) {
    while (sets.parent[x] != x) {
        sets.parent[x] = sets.parent[sets.parent[x]];
        x = sets.parent[x];
    }
    return x;
}

void unite(UnionFind& sets, std::size_t x, std::size_t y) {
    const std::size_t rx = find_root(sets, x);
    const std::size_t ry = find_root(sets, y);
    if (rx == ry) return;
    if (sets.rank[rx] < sets.rank[ry]) {
        sets.parent[rx] = ry;
    } else if (sets.rank[rx] > sets.rank[ry]) {
        sets.parent[ry] = rx;
    } else {
        sets.parent[ry] = rx;
        sets.rank[rx] += 1;
    }
}

}  // namespace glyphway::engine
