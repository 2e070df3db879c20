#pragma once
// The median effective font size of the visible labels: the size on which
// join tolerances and density spacings are scaled.
#include <vector>

#include "engine/label_record.hpp"

namespace glyphway::engine {

// NumPy's median: NaN if any value is NaN, the middle value of an odd count,
// the mean (a + b) / 2 of the two middle values of an even one. `values`
// must not be empty.
double median(std::vector<double> values);

// Whether median_visible_font_size() reads the engine's font size: when no
// record is visible, or a visible one has no effective_font_size.
bool needs_engine_font_size(const std::vector<LabelRecord>& records);

// Median of effective_font_size (-> engine font size) over the records that
// are not hidden; the engine's font size when none is visible.
double median_visible_font_size(const std::vector<LabelRecord>& records,
                                double engine_font_size);

}  // namespace glyphway::engine
