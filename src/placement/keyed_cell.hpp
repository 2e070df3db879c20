#pragma once
// A grid cell of one key's own grid (a name, a group of lines), for hash
// tables of things placed per key: the same cell of two names is two cells.
#include <cstddef>
#include <cstdint>

namespace glyphway::placement {

// splitmix64's finaliser: an open-addressing table takes the low bits of a
// hash, and neighbouring cells must land far apart there.
inline std::uint64_t finish_hash(std::uint64_t h) {
    h ^= h >> 30;
    h *= 0xbf58476d1ce4e5b9ull;
    h ^= h >> 27;
    h *= 0x94d049bb133111ebull;
    h ^= h >> 31;
    return h;
}

struct KeyedCell {
    std::uint64_t key = 0;
    std::int64_t cx = 0, cy = 0;
    bool operator==(const KeyedCell& o) const { return key == o.key && cx == o.cx && cy == o.cy; }
};

struct KeyedCellHash {
    std::size_t operator()(const KeyedCell& k) const {
        std::uint64_t h = k.key * 0x9e3779b97f4a7c15ull;
        h ^= static_cast<std::uint64_t>(k.cx) + 0xbf58476d1ce4e5b9ull + (h << 6) + (h >> 2);
        h ^= static_cast<std::uint64_t>(k.cy) + 0x94d049bb133111ebull + (h << 6) + (h >> 2);
        return static_cast<std::size_t>(finish_hash(h));
    }
};

}  // namespace glyphway::placement
