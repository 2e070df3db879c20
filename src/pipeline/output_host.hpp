#pragma once
// What the writers need from whoever started the run, beyond what the
// stages need (pipeline/host.hpp): where the file goes and how the host
// names it, the mesh engines the labels are drawn with, and what only the
// host's coordinate library knows about the working system and the one the
// billboard rows are written in. The pipeline decides what to ask and in
// what order (pipeline/label_outputs.hpp); an implementation only answers.
//
// Every call comes on the thread that started the run.
#include <string>
#include <vector>

#include "export/billboard_csv.hpp"
#include "export/drawn_label.hpp"
#include "export/glb_export.hpp"
#include "pipeline/host.hpp"
#include "text/text_mesh_engine.hpp"

namespace glyphway::pipeline {

// A coordinate system of an output: the one the labels were placed in, or
// the one the caller asked the billboard rows to be written in.
enum class CrsRole { working, target };

struct OutputHost : StageHost {
    // One line for the host's error stream, without its line break.
    virtual void warning(const std::string& line) = 0;

    // The output path as the file system spells it; asked once, when the
    // file is about to be written (a path the host cannot encode fails
    // there, after the progress lines before it).
    virtual std::string output_path() = 0;
    // The output path as the host writes it, for the last progress line.
    virtual std::string output_shown() = 0;

    // The text mesh engine for a fitted font size and letter spacing; an
    // absent value stands for the engine's own.
    virtual export_::MeshEngineSource& mesh_engines() = 0;
    // Every engine the labels were drawn with, in the order they were
    // first asked for, so that what they have to say about glyphs they drew
    // empty can be said once the file is written.
    virtual std::vector<text::TextMeshEngine*> engines_drawn() = 0;

    // Whether the target system is another one than the working system;
    // asked only when a target is given.
    virtual bool target_differs_from_working() = 0;
    // Sets up moving points from the working into the target system; may
    // refuse a target the coordinate library does not know. Asked before
    // any label is drawn.
    virtual void start_reprojection() = 0;
    // Moves every point into the target system at once.
    virtual void reproject_to_target(std::vector<export_::BillboardPoint>& points) = 0;
    // Whether the system measures in degrees (latitude and longitude).
    virtual bool is_geographic(CrsRole crs) = 0;

    // The working system as the GLB records it (all empty when there is
    // none).
    virtual export_::GlbCrs describe_working_crs() = 0;
};

}  // namespace glyphway::pipeline
