// `_RoadTessaraEngine`: the placement engine's class, its constructor and
// its method table. The methods are native adapters (engine_stages.cpp);
// the class itself is a plain host class so the engine's configuration is
// a set of ordinary instance attributes, readable and listable by name.
#include <pybind11/pybind11.h>

#include <array>
#include <string>

#include "engine/text_autofit.hpp"
#include "module/bindings.hpp"
#include "module/call_guard.hpp"
#include "module/font_path_override.hpp"
#include "module/engine_class.hpp"
#include "module/engine_convert.hpp"
#include "module/engine_fonts.hpp"
#include "module/engine_label_records.hpp"
#include "module/engine_stages.hpp"
#include "module/export_methods.hpp"
#include "module/host_calls.hpp"
#include "module/option_table.hpp"
#include "module/options_reader.hpp"
#include "module/prepared_run.hpp"

namespace glyphway::module {

namespace {

PyObject* g_module = nullptr;  // borrowed; see engine_host_module()

// The constructor's parameters after `self`, in its own order (the table's
// engine positions); the attributes of the same names are set in this order
// too. Their defaults are stored unconverted, as any given value is.
constexpr auto kParameters = engine_parameters();
constexpr std::size_t kParameterCount = kParameters.size();
static_assert(kParameterCount == 21, "the engine takes 21 parameters");

void construct_engine(py::handle self, PyObject* const (&given)[kParameterCount]) {
    for (std::size_t i = 0; i < kParameterCount; ++i) {
        py::object value = given[i] ? py::reinterpret_borrow<py::object>(given[i])
                                    : engine_default(*kParameters[i]);
        py::setattr(self, kParameters[i]->name, value);
    }
    check_engine_numbers(self);
    py::handle module = engine_host_module();
    // A font chosen by the caller (see font_path_override.hpp) replaces the
    // search; otherwise _FontManager is looked up now, so replacing it in
    // the module takes effect.
    // A chain of fonts is its first font and the fallbacks behind it.
    py::tuple fallbacks;
    if (PyObject* chosen = font_path_override()) {
        py::handle given(chosen);
        if (py::isinstance<py::tuple>(given)) {
            const py::tuple chain = py::reinterpret_borrow<py::tuple>(given);
            py::setattr(self, "font_path", chain[0]);
            fallbacks = py::tuple(chain[py::slice(1, static_cast<py::ssize_t>(chain.size()), 1)]);
        } else {
            py::setattr(self, "font_path", given);
        }
    } else {
        py::setattr(self, "font_path", module.attr("_FontManager").attr("get_chinese_font_path")());
    }
    py::setattr(self, "fallback_fonts", fallbacks);
    py::setattr(self, "_mesh_engine_cache", py::dict());
    py::setattr(self, "mesh_engine",
                module.attr("_TextMeshEngine")(engine_fonts(self), self.attr("font_size"),
                                               self.attr("extrusion_depth"),
                                               self.attr("letter_spacing")));
    // The core's width per unit of font size, multiplied by the host: a
    // float for a float font size, an error for text.
    py::object font_size = self.attr("font_size");
    py::setattr(self, "char_width_est", font_size * py::float_(engine::kCharWidthPerFontSize));
}

// __init__ parses its arguments with the host's own rules (positional or
// keyword, the usual errors for missing, duplicate or unknown arguments).
// It is a plain C function rather than a pybind11 one because pybind11
// treats any function named __init__ as the constructor of a pybind11
// class, which this class is not.
PyObject* engine_init(PyObject*, PyObject* args, PyObject* kwargs) {
    static const std::array<const char*, kParameterCount + 2> keywords = [] {
        std::array<const char*, kParameterCount + 2> names{};
        names[0] = "";  // self, positional only
        for (std::size_t i = 0; i < kParameterCount; ++i) names[i + 1] = kParameters[i]->name;
        names.back() = nullptr;
        return names;
    }();
    // self and shp_path are required, the rest optional.
    static const std::string format =
        "OO|" + std::string(kParameterCount - 1, 'O') + ":__init__";
    PyObject* self = nullptr;
    PyObject* g[kParameterCount] = {};
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, format.c_str(),
                                     const_cast<char**>(keywords.data()), &self, &g[0], &g[1],
                                     &g[2], &g[3], &g[4], &g[5], &g[6], &g[7], &g[8], &g[9], &g[10],
                                     &g[11], &g[12], &g[13], &g[14], &g[15], &g[16], &g[17],
                                     &g[18], &g[19], &g[20])) {
        return nullptr;
    }
    return run_guarded([&] { construct_engine(self, g); });
}

// The docstring, its first line the signature made from the table.
std::string g_init_doc;

PyMethodDef g_init_def = {
    "__init__", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(&engine_init)),
    METH_VARARGS | METH_KEYWORDS, nullptr};

std::string init_doc() {
    std::string text = "__init__(self";
    for (const pipeline::OptionInfo* o : kParameters) {
        text += ", " + signature_parameter(*o, engine_default(*o));
    }
    return text + ")\n\n"
                  "Stores the configuration, finds a CJK-capable font and builds the default text "
                  "mesh engine.";
}

py::object make_plain_class(py::module_& m, const char* name, const char* doc) {
    py::dict namespace_;
    namespace_["__module__"] = m.attr("__name__");
    namespace_["__qualname__"] = name;
    namespace_["__doc__"] = doc;
    py::handle type_type(reinterpret_cast<PyObject*>(&PyType_Type));
    py::handle object_type(reinterpret_cast<PyObject*>(&PyBaseObject_Type));
    return type_type(name, py::make_tuple(object_type), namespace_);
}

void add_init(py::handle cls, py::module_& m) {
    g_init_doc = init_doc();
    g_init_def.ml_doc = g_init_doc.c_str();
    py::object function =
        steal_or_throw(PyCFunction_NewEx(&g_init_def, nullptr, m.attr("__name__").ptr()));
    py::object method = steal_or_throw(PyInstanceMethod_New(function.ptr()));
    py::setattr(cls, "__init__", method);
}

}  // namespace

py::handle engine_host_module() { return g_module; }

void register_engine_bindings(py::module_& m) {
    g_module = m.ptr();
    register_label_records(m);

    py::object cls = make_plain_class(
        m, "_RoadTessaraEngine",
        "Road-name label placement engine: the configuration of one run and its stages.");

    // In the order of definition of the engine's method table. Methods of
    // later stages (export_obj, export_csv and export_glb, last) are added
    // by their binding files.
    add_init(cls, m);
    add_engine_method(cls, "_density_profile", &density_profile_method, py::arg("fs"));
    add_engine_method(cls, "_line_endpoints_3d", &line_endpoints_method, py::arg("line"));
    add_engine_method(cls, "_build_groups", &build_groups_method, py::arg("labels"));
    add_engine_method(cls, "_label_center_xy", &label_center_method, py::arg("l"));
    add_engine_method(cls, "auto_place_labels", &auto_place_labels_method, py::arg("labels"));
    add_engine_method(cls, "get_mesh_engine", &get_mesh_engine_method, py::arg("font_size"),
                      py::arg("letter_spacing"));
    add_engine_method(cls, "calculate_utm_crs", &calculate_utm_crs_method, py::arg("lon"),
                      py::arg("lat"));
    add_engine_method(cls, "build_tbn_matrix", &build_tbn_matrix_method, py::arg("line"),
                      py::arg("distance"), py::arg("auto_flip") = true);
    add_engine_method(cls, "apply_autofit", &apply_autofit_method, py::arg("labels"));
    add_engine_method(cls, "_prepare_data", &prepare_data_method);
    remember_own_prepare_data(cls);
    register_export_methods(cls);  // export_obj, export_csv, export_glb: always last

    m.attr("_RoadTessaraEngine") = cls;
}

}  // namespace glyphway::module
