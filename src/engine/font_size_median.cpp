#include "engine/font_size_median.hpp"

#include <algorithm>
#include <cmath>

namespace glyphway::engine {

double median(std::vector<double> values) {
    if (std::any_of(values.begin(), values.end(), [](double v) { return std::isnan(v); })) {
        return std::nan("");
    }
    const std::size_t mid = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + mid, values.end());
    const double upper = values[mid];
    if (values.size() % 2 == 1) return upper;
    const double lower = *std::max_element(values.begin(), values.begin() + mid);
    return (lower + upper) / 2.0;
}

bool needs_engine_font_size(const std::vector<LabelRecord>& records) {
    bool any_visible = false;
    for (const LabelRecord& r : records) {
        if (record_hidden(r)) continue;
        any_visible = true;
        if (!r.present.has(Field::effective_font_size)) return true;
    }
    return !any_visible;
}

double median_visible_font_size(const std::vector<LabelRecord>& records,
                                double engine_font_size) {
    std::vector<double> sizes;
    sizes.reserve(records.size());
    const EngineSizes engine{engine_font_size, 0.0, 0.0};
    for (const LabelRecord& r : records) {
        if (!record_hidden(r)) sizes.push_back(effective_font_size(r, engine));
    }
    return sizes.empty() ? engine_font_size : median(std::move(sizes));
}

}  // namespace glyphway::engine
