#pragma once
// The run from the labels' source to a written OBJ, GLB or billboard CSV:
// each writer prepares the labels (running the stages, or asking whatever
// replaced them), says what it is doing in the "[glyphway_maker] ..."
// progress lines, draws the labels as the one view the writers read
// (export/drawn_label.hpp), applies its output's rules and writes the file.
// A source with nothing to draw writes nothing and says nothing more.
//
// The host is reached only through OutputHost (pipeline/output_host.hpp);
// what a writer throws is the core's own (export_::FileError,
// export_::OutputPathError, export_::NoFramePoint, UnusableAnglePrecision)
// or whatever the source and the host throw.
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/orientation_frame.hpp"
#include "export/drawn_label.hpp"
#include "pipeline/options.hpp"
#include "pipeline/output_host.hpp"

namespace glyphway::pipeline {

// The mesh outputs, which draw the same meshes; the GLB also gives each
// label its row of the label table.
enum class MeshOutput { obj, glb };

// Where the labels of one output call come from: the native run from the
// road table, the cartographic run, or the record dicts of a replaced
// preparation. Each reads what it draws from its host when first asked, so
// a value no output needs is never read.
class LabelSource {
public:
    // Makes the labels; false when there is nothing to draw.
    virtual bool prepare() = 0;

    // The posture the labels are drawn in. start_meshes() reads everything
    // the meshes are drawn with (and the posture); posture() only that.
    virtual engine::Posture start_meshes() = 0;
    virtual engine::Posture posture() = 0;

    // The visible labels with their meshes (`names`: each with its object
    // name), after start_meshes().
    virtual std::vector<export_::DrawnLabel> draw_meshes(MeshOutput output, bool names) = 0;
    // The visible labels as points, each with the text the billboard names
    // it by, handed to `visit` one at a time.
    virtual void draw_points(engine::Posture posture, const export_::DrawnLabelVisitor& visit) = 0;
    // At most how many labels draw_points() hands out (hidden ones may be
    // counted), so a writer can make room for them at once; 0 when the
    // source cannot tell without reading its labels. Asks the host nothing.
    virtual std::size_t points_at_most() = 0;

protected:
    ~LabelSource() = default;
};

// angle_precision is not a whole number and there are rows to format.
struct UnusableAnglePrecision : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

// The OBJ: one object per label with options.separate_objects, else one in
// all.
void write_obj(LabelSource& source, const Options& options, OutputHost& host);

// The GLB: the OBJ's meshes, instanced with options.instancing (then the
// nodes carry no label names), the working system recorded.
void write_glb(LabelSource& source, const Options& options, OutputHost& host);

// The billboard CSV: one row per visible label at its anchor, in
// options.target_crs (empty: the working system), x and y with 7 decimals
// in a geographic system and 3 otherwise, turned as its frame is, with
// the rotation columns options.output_quaternion, options.output_both_angles
// and options.angle_unit ask for (Euler angles in degrees when it names
// "degree" in any case, else in radians) and options.angle_precision decimals (a
// count outside 0..kMaxAngleDecimals is refused once there is a row to
// format).
void write_csv(LabelSource& source, const Options& options, OutputHost& host);

}  // namespace glyphway::pipeline
