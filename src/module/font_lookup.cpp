// Finding a CJK-capable font: the families Matplotlib's font manager may
// know, then a fallback font kept in the temporary directory, downloaded
// once when it is not there yet.
#include "module/font_lookup.hpp"

#include <array>

namespace py = pybind11;
using namespace pybind11::literals;

namespace glyphway::module {

namespace {

// Desktop CJK families first, then the free ones Linux machines carry, so
// that a machine with a CJK font installed never needs the network.
constexpr std::array<const char*, 10> kCjkFamilies = {
    "Microsoft YaHei",    "SimHei",          "PingFang SC",       "STHeiti",
    "Noto Sans CJK SC",   "Noto Sans SC",    "Source Han Sans SC", "WenQuanYi Micro Hei",
    "WenQuanYi Zen Hei",  "Droid Sans Fallback",
};

constexpr const char* kFallbackFileName = "NotoSansSC-Regular.otf";
constexpr const char* kFontDownloadHost = "https://github.com";
constexpr const char* kFontDownloadPath =
    "/notofonts/noto-cjk/raw/main/Sans/OTF/SimplifiedChinese/NotoSansCJKsc-Regular.otf";

bool is_ordinary_exception(const py::error_already_set& e) {
    return e.matches(PyExc_Exception);
}

py::object find_installed_family(const py::module_& font_manager, const py::module_& os_path) {
    for (const char* family : kCjkFamilies) {
        try {
            py::object props = font_manager.attr("FontProperties")("family"_a = family);
            py::object path = font_manager.attr("findfont")(props, "fallback_to_default"_a = false);
            if (py::bool_(path) && py::bool_(os_path.attr("exists")(path))) return path;
        } catch (py::error_already_set& e) {
            // A family that is not installed raises; try the next one. An
            // interrupt is not a lookup failure and goes to the caller.
            if (!is_ordinary_exception(e)) throw;
        }
    }
    return py::none();
}

// Downloads into a temporary file beside `target` and renames it into
// place only when complete, so an interrupted download never leaves a
// truncated font that every later run would pick up.
void download_font(const py::object& target) {
    py::module_ os = py::module_::import("os");
    py::module_ urllib_request = py::module_::import("urllib.request");
    py::object partial = py::str("{}.part{}").format(target, os.attr("getpid")());
    const std::string url = std::string(kFontDownloadHost) + kFontDownloadPath;
    try {
        urllib_request.attr("urlretrieve")(url, partial);
        os.attr("replace")(partial, target);
    } catch (py::error_already_set&) {
        py::object exists = os.attr("path").attr("exists")(partial);
        if (py::bool_(exists)) {
            try {
                os.attr("remove")(partial);
            } catch (py::error_already_set&) {
            }
        }
        throw;
    }
}

py::object get_chinese_font_path() {
    py::module_ font_manager = py::module_::import("matplotlib.font_manager");
    py::module_ os_path = py::module_::import("os.path");

    py::object found = find_installed_family(font_manager, os_path);
    if (!found.is_none()) return found;

    py::object fallback = os_path.attr("join")(py::module_::import("tempfile").attr("gettempdir")(),
                                               kFallbackFileName);
    if (py::bool_(os_path.attr("exists")(fallback))) return fallback;

    py::print("[glyphway_maker] Downloading fallback font (Noto Sans SC)...");
    try {
        download_font(fallback);
        return fallback;
    } catch (py::error_already_set& e) {
        if (!is_ordinary_exception(e)) throw;
        py::print(py::str("[glyphway_maker] Font download failed: ") + py::str(e.value()));
    }
    // The family goes in as a list: a bare string would be parsed as a
    // fontconfig pattern, and "sans-serif" is not a valid one.
    py::list families;
    families.append("sans-serif");
    return font_manager.attr("findfont")(font_manager.attr("FontProperties")("family"_a = families));
}

struct FontManager {};

}  // namespace


void register_font_lookup(py::module_& m) {
    py::class_<FontManager>(m, "_FontManager")
        .def_static("get_chinese_font_path", &get_chinese_font_path,
                    "Path of a CJK-capable font: an installed family, else the fallback font "
                    "in the temporary directory (downloaded once).");
}

}  // namespace glyphway::module
