#include "module/engine_fonts.hpp"

#include "module/engine_class.hpp"
#include "module/engine_convert.hpp"
#include "module/host_calls.hpp"
#include "pipeline/font_coverage.hpp"

namespace glyphway::module {

namespace {

py::tuple fallback_fonts(py::handle self) {
    py::object fallbacks = py::getattr(self, "fallback_fonts", py::tuple());
    return py::tuple(fallbacks);
}

std::string path_text(py::handle path) {
    return host_text(py::module_::import("os").attr("fspath")(path));
}

bool is_path(py::handle value) {
    return PyUnicode_Check(value.ptr()) || py::hasattr(value, "__fspath__");
}

// The search's installed CJK font, "" for none. Looked up when asked, so
// replacing the static method in the module takes effect.
std::string installed_cjk_font() {
    py::object found =
        engine_host_module().attr("_FontManager").attr("get_installed_cjk_font_path")();
    if (found.is_none()) return {};
    return path_text(found);
}

}  // namespace

py::object engine_fonts(py::handle self) {
    py::tuple fallbacks = fallback_fonts(self);
    py::object first = self.attr("font_path");
    if (fallbacks.empty()) return first;
    py::list chain;
    chain.append(first);
    for (py::handle font : fallbacks) chain.append(font);
    return std::move(chain);
}

std::vector<std::string> engine_font_chain(py::handle self) {
    std::vector<std::string> chain{path_text(self.attr("font_path"))};
    for (py::handle font : fallback_fonts(self)) chain.push_back(path_text(font));
    return chain;
}

void check_engine_fonts(py::handle self, const pipeline::RoadTable& table) {
    // An engine whose font is no path fails where it draws, as it always has.
    if (!is_path(self.attr("font_path"))) return;
    for (py::handle font : fallback_fonts(self)) {
        if (!is_path(font)) return;
    }
    std::vector<std::string> chain = engine_font_chain(self);
    const pipeline::FontCoverage coverage =
        pipeline::check_font_coverage(table, chain, installed_cjk_font);
    if (!coverage.added_font.empty()) {
        py::list fallbacks(fallback_fonts(self));
        fallbacks.append(py::str(coverage.added_font));
        py::setattr(self, "fallback_fonts", py::tuple(fallbacks));
        chain.push_back(coverage.added_font);
        // The engines built with the chain before it grew draw without the
        // added font: the default one is built anew, the cached ones again
        // when next asked for.
        py::setattr(self, "mesh_engine",
                    engine_host_module().attr("_TextMeshEngine")(
                        engine_fonts(self), self.attr("font_size"), self.attr("extrusion_depth"),
                        self.attr("letter_spacing")));
        py::setattr(self, "_mesh_engine_cache", py::dict());
        print_progress(pipeline::font_fallback_line(coverage));
    }
    if (!coverage.missing.empty()) {
        print_warning(pipeline::missing_glyphs_warning(coverage.missing, chain));
    }
}

}  // namespace glyphway::module
