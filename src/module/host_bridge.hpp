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
#include "module/mesh_engines.hpp"
#include "pipeline/host.hpp"
#include "pipeline/output_host.hpp"

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

// The engine object as the writers' host (pipeline/output_host.hpp) for one
// export call: the output path as the caller gave it, the engine's mesh
// engines through its get_mesh_engine, and the working and target systems
// through pyproj. The labels' source tells it the working system once the
// labels are prepared.
class OutputBridge : public pipeline::OutputHost {
public:
    // `target_crs`: export_csv's, None for the other outputs.
    OutputBridge(py::handle engine, py::handle output, py::handle target_crs = py::none())
        : engine_(engine), output_(output), target_crs_(target_crs), engines_(engine),
          own_size_(engine, engines_) {}

    void progress(const std::string& line) override;
    void check_interrupt() override;
    void warning(const std::string& line) override;

    std::string output_path() override;
    std::string output_shown() override;

    export_::MeshEngineSource& mesh_engines() override { return own_size_; }
    std::vector<text::TextMeshEngine*> engines_drawn() override { return engines_.drawn(); }

    bool target_differs_from_working() override;
    void start_reprojection() override;
    void reproject_to_target(std::vector<export_::BillboardPoint>& points) override;
    bool is_geographic(pipeline::CrsRole crs) override;
    export_::GlbCrs describe_working_crs() override;

    // The engines by fitted size and spacing, for the sources that ask with
    // the host's own values.
    MeshEngines& engines() { return engines_; }
    void set_working_crs(py::object working_crs) { working_crs_ = std::move(working_crs); }

private:
    py::handle engine_;
    py::handle output_;
    py::handle target_crs_;
    py::object working_crs_ = py::none();
    py::object transformer_ = py::none();
    MeshEngines engines_;
    OwnSizeMeshEngines own_size_;
};

// The working system as a GLB records it: EPSG code (when it has one),
// name, WKT and the unit of its first axis; all empty for None.
export_::GlbCrs describe_crs(py::handle working_crs);

}  // namespace glyphway::module
