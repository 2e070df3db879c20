#include "module/cartographic_run.hpp"

#include <string>

#include "module/argument_kinds.hpp"
#include "module/engine_convert.hpp"
#include "module/interrupts.hpp"
#include "module/prepared_run.hpp"
#include "pipeline/cartographic_pipeline.hpp"
#include "text/glyph_outline.hpp"

namespace glyphway::module {

bool is_cartographic_style(py::handle style) {
    if (!PyUnicode_CheckExact(style.ptr())) {
        raise_incorrect_type("style", "str", style.ptr());
        throw py::error_already_set();
    }
    const std::string name = host_text(style);
    if (name == kCartographicStyle) return true;
    if (name == kIntervalStyle) return false;
    throw py::value_error("style must be 'interval' or 'cartographic', not " +
                          host_text(py::repr(style)));
}

double checked_max_char_angle(py::handle max_char_angle) {
    PyObject* converted = real_argument(max_char_angle.ptr());
    if (!converted) throw py::error_already_set();
    const double degrees = PyFloat_AS_DOUBLE(converted);
    Py_DECREF(converted);
    // A turn of 0 would refuse every road that is not a ruler line, and
    // one past half a turn means nothing.
    if (!(degrees > 0.0 && degrees <= 180.0)) {
        throw py::value_error("max_char_angle must be above 0 and at most 180 degrees, not " +
                              host_text(py::repr(max_char_angle)));
    }
    return degrees;
}

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
