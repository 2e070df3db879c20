#pragma once
// The engine object as the pipeline's host (pipeline/host.hpp): progress
// through the interpreter's own print, Ctrl-C and the progress hook
// through check_host_signals, and the road table read from the engine's
// shapefile, the short way when direct_read can vouch for it, else through
// GeoPandas, and reprojected as GeoPandas' to_crs would.
#include <pybind11/pybind11.h>

#include <optional>
#include <string>

#include "module/direct_read.hpp"
#include "module/feature_table.hpp"
#include "pipeline/host.hpp"

namespace glyphway::module {

namespace py = pybind11;

class HostBridge : public pipeline::Host {
public:
    explicit HostBridge(py::handle engine) : engine_(engine) {}

    void progress(const std::string& line) override;
    void check_interrupt() override;

    bool open_roads() override;
    std::string name_field() override;
    bool use_utm() override;
    pipeline::GeoPoint geographic_centre() override;
    void reproject(const std::string& working_crs) override;
    const pipeline::RoadTable& read_rows() override;

    // The table read_rows() read, host objects and all.
    FeatureTable take_table() { return std::move(table_); }

private:
    py::handle engine_;
    py::object name_field_, weight_field_;
    // The open table: read directly, or a GeoDataFrame and its geometry
    // column (moved into the working system by reproject()).
    std::optional<DirectTable> direct_;
    py::object frame_, geometry_;
    FeatureTable table_;
};

// The message for a centre without a UTM zone, the coordinates written as
// the host writes them.
std::string no_utm_zone_message(py::handle longitude, py::handle latitude);

}  // namespace glyphway::module
