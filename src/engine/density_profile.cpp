#include "engine/density_profile.hpp"

namespace glyphway::engine {

namespace {

struct ProfileRow {
    std::string_view name;
    double min_sep_per_fs;
    double repeat_interval_per_fs;
    std::int64_t max_labels_per_group;
    std::int64_t iterations;
};

// Denser profiles allow more labels per road, closer together, and spend
// more selection passes to place them.
constexpr ProfileRow kProfiles[] = {
    {"very_dense", 6.0, 10.0, 5, 10},
    {"dense", 8.0, 14.0, 4, 9},
    {"moderate", 10.0, 18.0, 3, 8},
    {"sparse", 14.0, 26.0, 2, 7},
    {"very_sparse", 18.0, 34.0, 1, 6},
};
constexpr std::size_t kModerate = 2;

}  // namespace

DensityProfile density_profile(std::string_view name, double fs) {
    const ProfileRow* row = &kProfiles[kModerate];
    for (const ProfileRow& candidate : kProfiles) {
        if (candidate.name == name) row = &candidate;
    }
    return {row->min_sep_per_fs * fs, row->repeat_interval_per_fs * fs,
            row->max_labels_per_group, row->iterations};
}

}  // namespace glyphway::engine
