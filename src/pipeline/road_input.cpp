#include "pipeline/road_input.hpp"

#include "engine/utm_zone.hpp"

namespace glyphway::pipeline {

NoUtmZone::NoUtmZone(GeoPoint c)
    : std::domain_error("the centre of the roads has no UTM zone"), centre(c) {}

std::optional<std::string> load_roads(Host& host) {
    host.progress("[glyphway_maker] Loading Data & CRS Setup...");
    if (!host.open_roads()) {
        host.progress("[glyphway_maker] WARNING: Field '" + host.name_field() +
                      "' NOT FOUND in shapefile.");
        return std::nullopt;
    }
    std::string working_crs = kWebMercator;
    if (host.use_utm()) {
        const GeoPoint centre = host.geographic_centre();
        const std::optional<std::string> zone = engine::utm_crs(centre.longitude, centre.latitude);
        if (!zone) throw NoUtmZone(centre);
        working_crs = *zone;
    }
    host.reproject(working_crs);
    host.progress("[glyphway_maker] Sampling along 3D polylines...");
    host.read_rows();
    return working_crs;
}

}  // namespace glyphway::pipeline
