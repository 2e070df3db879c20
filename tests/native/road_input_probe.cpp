// Runs pipeline::load_roads against a scripted host and prints every call
// the pipeline makes of it, in order, so the Python tests can check the
// run's first steps with no interpreter behind the host.
//
//   road_input_probe HAS_NAMES USE_UTM LONGITUDE LATITUDE
//
// Output: one line per host call ("progress TEXT", "open_roads", ...), then
// "crs NAME", "none" when no table was read, or "no_utm_zone LON LAT".
#include <cstdio>
#include <iostream>
#include <string>

#include "pipeline/road_input.hpp"

namespace pl = glyphway::pipeline;

namespace {

struct ScriptedHost : pl::Host {
    bool has_names = true;
    bool utm = false;
    pl::GeoPoint centre;
    pl::RoadTable table;

    void progress(const std::string& line) override { std::cout << "progress " << line << '\n'; }
    void check_interrupt() override { std::cout << "check_interrupt\n"; }
    bool open_roads() override {
        std::cout << "open_roads\n";
        return has_names;
    }
    std::string name_field() override {
        std::cout << "name_field\n";
        return "名字";
    }
    bool use_utm() override {
        std::cout << "use_utm\n";
        return utm;
    }
    pl::GeoPoint geographic_centre() override {
        std::cout << "geographic_centre\n";
        return centre;
    }
    void reproject(const std::string& crs) override { std::cout << "reproject " << crs << '\n'; }
    const pl::RoadTable& read_rows() override {
        std::cout << "read_rows\n";
        return table;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: road_input_probe HAS_NAMES USE_UTM LONGITUDE LATITUDE\n";
        return 2;
    }
    ScriptedHost host;
    host.has_names = std::string(argv[1]) == "1";
    host.utm = std::string(argv[2]) == "1";
    host.centre = {std::stod(argv[3]), std::stod(argv[4])};
    try {
        const std::optional<std::string> crs = pl::load_roads(host);
        std::cout << (crs ? "crs " + *crs : std::string("none")) << '\n';
    } catch (const pl::NoUtmZone& e) {
        std::printf("no_utm_zone %g %g\n", e.centre.longitude, e.centre.latitude);
    }
    return 0;
}
