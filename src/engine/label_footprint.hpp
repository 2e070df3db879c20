#pragma once
// A label's footprint in plan view: the straight rectangle its text covers,
// centred at the frame's anchor and turned to the frame's reading direction.
// Used to draw previews; the collision solver measures the same length along
// the road (text cells plus the gaps between them) and the same height.
#include <array>

#include "engine/label_record.hpp"
#include "engine/orientation_frame.hpp"

namespace glyphway::engine {

struct LabelFootprint {
    double x = 0.0;             // anchor (the frame's translation)
    double y = 0.0;
    double rotation_deg = 0.0;  // reading direction, counter-clockwise from +x
    double length = 0.0;        // along the reading direction
    double height = 0.0;        // across it
    // Corners counter-clockwise from the start of the text's baseline side:
    // (-L/2, -H/2), (+L/2, -H/2), (+L/2, +H/2), (-L/2, +H/2) in the label's axes.
    std::array<std::array<double, 2>, 4> corners{};
};

// Length of a label's text: n character cells and n - 1 letter gaps, with
// the effective_ sizes (or the engine's when a record has none).
double label_text_length(const LabelRecord& r, const EngineSizes& engine);

// The footprint of a label whose frame is `frame` (row-major, columns are the
// text's axes and the anchor). The direction is the frame's first column
// projected onto the ground; a frame with no horizontal direction reads
// along +x.
LabelFootprint label_footprint(const Mat4& frame, double length, double height);

}  // namespace glyphway::engine
