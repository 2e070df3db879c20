#include "module/cartographic_run.hpp"

#include "module/engine_convert.hpp"
#include "module/engine_fonts.hpp"
#include "module/host_bridge.hpp"
#include "module/prepared_run.hpp"
#include "pipeline/cartographic_pipeline.hpp"
#include "text/glyph_outline.hpp"

namespace glyphway::module {

CartographicRun run_cartographic_style(py::object self, pipeline::Options& options) {
    PreparedRun table = read_native_table(self, options);
    CartographicRun run;
    run.working_crs = table.working_crs;
    if (table.working_crs.is_none()) return run;  // no name column: nothing was read
    std::vector<std::string> fonts = engine_font_chain(self);
    options.font_path = fonts.front();
    options.fallback_fonts.assign(fonts.begin() + 1, fonts.end());
    HostBridge host(self);
    try {
        run.placed = pipeline::place_cartographic_labels(table.table, options, host);
    } catch (const text::FontError& e) {
        throw py::value_error(e.what());
    }
    return run;
}

}  // namespace glyphway::module
