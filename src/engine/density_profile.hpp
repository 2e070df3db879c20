#pragma once
// Density profiles: one density name turns into the spacing and iteration
// settings of candidate selection, scaled on a font size.
#include <cstdint>
#include <string_view>

namespace glyphway::engine {

struct DensityProfile {
    double global_min_sep = 0.0;       // distance, working-system units
    double repeat_min_interval = 0.0;  // distance, working-system units
    std::int64_t max_labels_per_group = 0;
    std::int64_t iterations = 0;
};

// The profile of `name` ("very_dense", "dense", "moderate", "sparse",
// "very_sparse"; exact, case-sensitive) for font size `fs`. Any other name
// selects "moderate".
DensityProfile density_profile(std::string_view name, double fs);

}  // namespace glyphway::engine
