#include "module/cartographic_run.hpp"

#include <string>

#include "module/engine_convert.hpp"
#include "module/interrupts.hpp"
#include "module/prepared_run.hpp"
#include "pipeline/cartographic_pipeline.hpp"
#include "text/glyph_outline.hpp"

namespace glyphway::module {

CartographicRun run_cartographic_style(py::object self, double max_char_angle) {
    pipeline::Settings settings;
    PreparedRun table = read_native_table(self, settings);
    CartographicRun run;
    run.working_crs = table.working_crs;
    if (table.working_crs.is_none()) return run;  // no name column: nothing was read
    py::module_::import("builtins")
        .attr("print")(py::str("[glyphway_maker] Placing labels along merged roads..."));
    pipeline::Hooks hooks;
    hooks.interrupt = check_host_signals;
    try {
        run.labels = pipeline::run_cartographic(table.table.features, table.table.lines, settings,
                                                host_text(self.attr("font_path")),
                                                max_char_angle, hooks);
    } catch (const text::FontError& e) {
        throw py::value_error(e.what());
    }
    run.weights.reserve(run.labels.size());
    for (const placement::CartographicLabel& label : run.labels) {
        run.weights.push_back(table.table.features[label.feature].weight);
    }
    return run;
}

}  // namespace glyphway::module
