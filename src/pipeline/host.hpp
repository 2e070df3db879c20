#pragma once
// What a run needs from whoever started it, in one interface: a place for
// its progress lines, a chance to abandon it now and then, and the road
// table read and moved into the working system the way the host's own
// geodata library reads and reprojects it. The stages after the reading
// need only the first two (StageHost), so that a run on roads at hand
// (a probe, a benchmark) has just those to give. The pipeline decides what to
// ask and in what order; an implementation only answers.
//
// Every call comes on the thread that started the run, never from inside a
// parallel region, so an implementation may touch an interpreter.
#include <string>

#include "pipeline/road_table.hpp"

namespace glyphway::pipeline {

// A point in geographic coordinates, in degrees.
struct GeoPoint {
    double longitude = 0.0;
    double latitude = 0.0;
};

// What the stages themselves ask for.
struct StageHost {
    virtual ~StageHost() = default;

    // One line of progress, without its line break.
    virtual void progress(const std::string& line) = 0;
    // Called now and then while a stage runs; throws to abandon the run.
    virtual void check_interrupt() = 0;
};

// A run from the road table on: the stages' needs and the table's reading.
struct Host : StageHost {
    // Reads the road table in its own system; false when it has no column
    // of the name field (then nothing else is asked for).
    virtual bool open_roads() = 0;
    // The name field as text, for the warning about its missing column.
    virtual std::string name_field() = 0;
    // Whether the working system is the UTM zone around the roads (else
    // Web Mercator); asked once the table is open.
    virtual bool use_utm() = 0;
    // The centroid of all the rows' geometries together, taken in
    // geographic coordinates; asked only when a UTM zone is to be chosen.
    virtual GeoPoint geographic_centre() = 0;
    // Moves the open table into `working_crs` (nothing when it is there).
    virtual void reproject(const std::string& working_crs) = 0;
    // Reads the rows of the reprojected table into the roads the stages
    // run on; the host keeps them (with whatever it holds beside them).
    virtual const RoadTable& read_rows() = 0;
};

}  // namespace glyphway::pipeline
