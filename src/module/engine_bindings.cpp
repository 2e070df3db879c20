// `_RoadTessaraEngine`: the placement engine's class, its constructor and
// its method table. The methods are native adapters (engine_stages.cpp);
// the class itself is a plain host class so the engine's configuration is
// a set of ordinary instance attributes, readable and listable by name.
#include <pybind11/pybind11.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "module/bindings.hpp"
#include "module/call_guard.hpp"
#include "module/font_path_override.hpp"
#include "module/engine_class.hpp"
#include "module/engine_convert.hpp"
#include "module/engine_label_records.hpp"
#include "module/engine_stages.hpp"
#include "module/export_methods.hpp"
#include "module/prepared_run.hpp"

namespace glyphway::module {

namespace {

PyObject* g_module = nullptr;  // borrowed; see engine_host_module()

// The constructor's parameters after `self`, in order; the attributes of the
// same names are set in this order too.
constexpr const char* kParameters[] = {
    "shp_path",        "name_field",         "weight_field",  "use_utm",
    "posture",         "text_count",         "distance_interval", "add_at_endpoints",
    "font_size",       "extrusion_depth",    "letter_spacing", "separate_objects",
    "curved_text",     "auto_fit_text",      "min_font_scale", "min_letter_spacing",
    "overflow_strategy", "density",          "repeat_mode",   "connect_eps",
    "max_global_iterations",
};
constexpr std::size_t kParameterCount = sizeof(kParameters) / sizeof(kParameters[0]);
static_assert(kParameterCount == 21, "the engine takes 21 parameters");

// Defaults of the optional parameters (all but shp_path), in order. The
// default distance interval is the integer 500; the constructor stores
// what it is given without conversion.
py::object parameter_default(std::size_t i) {
    switch (i) {
        case 1: return py::str("name");
        case 2: return py::str("weight");
        case 3: return py::bool_(false);
        case 4: return py::str("flat");
        case 5: return py::none();
        case 6: return py::int_(500);
        case 7: return py::bool_(false);
        case 8: return py::float_(15.0);
        case 9: return py::float_(2.0);
        case 10: return py::float_(0.0);
        case 11: return py::bool_(true);
        case 12: return py::bool_(true);
        case 13: return py::bool_(true);
        case 14: return py::float_(0.35);
        case 15: return py::float_(0.0);
        case 16: return py::str("truncate");
        case 17: return py::str("moderate");
        case 18: return py::str("name_connected");
        default: return py::none();  // connect_eps, max_global_iterations
    }
}

// The value of a numeric parameter as a double, or nothing when it is not a
// real number (text and other objects are stored as given and fail, as
// before, in the stage that uses them). An int too large for a double
// counts as infinite.
std::optional<double> real_value(py::handle value) {
    PyObject* v = value.ptr();
    PyNumberMethods* number = Py_TYPE(v)->tp_as_number;
    if (!PyFloat_Check(v) && !PyLong_Check(v) && !(number && number->nb_float)) return std::nullopt;
    const double x = PyFloat_AsDouble(v);
    if (x == -1.0 && PyErr_Occurred()) {
        if (!PyErr_ExceptionMatches(PyExc_OverflowError)) throw py::error_already_set();
        PyErr_Clear();
        const int positive = PyObject_RichCompareBool(v, py::int_(0).ptr(), Py_GT);
        if (positive < 0) throw py::error_already_set();
        return positive ? std::numeric_limits<double>::infinity()
                        : -std::numeric_limits<double>::infinity();
    }
    return x;
}

enum class Bound { positive, non_negative, any };

// A size of NaN or infinity never finishes drawing (curve flattening at an
// unbounded scale) or writes NaN vertices as if they were geometry, and a
// non-positive font size writes empty text: all are refused here, before
// the font search and before anything is read.
void check_number(py::handle self, const char* name, Bound bound) {
    const std::optional<double> x = real_value(self.attr(name));
    if (!x) return;
    const char* wanted = nullptr;
    if (!std::isfinite(*x)) {
        wanted = bound == Bound::positive       ? "a positive finite number"
                 : bound == Bound::non_negative ? "a finite number >= 0"
                                                : "a finite number";
    } else if (bound == Bound::positive && !(*x > 0.0)) {
        wanted = "a positive finite number";
    } else if (bound == Bound::non_negative && *x < 0.0) {
        wanted = "a finite number >= 0";
    }
    if (wanted == nullptr) return;
    throw py::value_error(std::string(name) + " must be " + wanted + ", not " +
                          host_text(py::repr(self.attr(name))));
}

void check_engine_numbers(py::handle self) {
    check_number(self, "font_size", Bound::positive);
    check_number(self, "extrusion_depth", Bound::non_negative);
    check_number(self, "letter_spacing", Bound::any);
    check_number(self, "min_font_scale", Bound::any);
    check_number(self, "min_letter_spacing", Bound::any);
}

void construct_engine(py::handle self, PyObject* const (&given)[kParameterCount]) {
    for (std::size_t i = 0; i < kParameterCount; ++i) {
        py::object value = given[i] ? py::reinterpret_borrow<py::object>(given[i])
                                    : parameter_default(i);
        py::setattr(self, kParameters[i], value);
    }
    check_engine_numbers(self);
    py::handle module = engine_host_module();
    // A font chosen by the caller (see font_path_override.hpp) replaces the
    // search; otherwise _FontManager is looked up now, so replacing it in
    // the module takes effect.
    if (PyObject* chosen = font_path_override()) {
        py::setattr(self, "font_path", py::handle(chosen));
    } else {
        py::setattr(self, "font_path", module.attr("_FontManager").attr("get_chinese_font_path")());
    }
    py::setattr(self, "_mesh_engine_cache", py::dict());
    py::setattr(self, "mesh_engine",
                module.attr("_TextMeshEngine")(self.attr("font_path"), self.attr("font_size"),
                                               self.attr("extrusion_depth"),
                                               self.attr("letter_spacing")));
    // Host multiplication: a float for a float font size, an error for text.
    py::object font_size = self.attr("font_size");
    py::setattr(self, "char_width_est", font_size * py::float_(1.1));
}

// __init__ parses its arguments with the host's own rules (positional or
// keyword, the usual errors for missing, duplicate or unknown arguments).
// It is a plain C function rather than a pybind11 one because pybind11
// treats any function named __init__ as the constructor of a pybind11
// class, which this class is not.
PyObject* engine_init(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {
        "",  // self, positional only
        kParameters[0],  kParameters[1],  kParameters[2],  kParameters[3],  kParameters[4],
        kParameters[5],  kParameters[6],  kParameters[7],  kParameters[8],  kParameters[9],
        kParameters[10], kParameters[11], kParameters[12], kParameters[13], kParameters[14],
        kParameters[15], kParameters[16], kParameters[17], kParameters[18], kParameters[19],
        kParameters[20], nullptr};
    PyObject* self = nullptr;
    PyObject* g[kParameterCount] = {};
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO|OOOOOOOOOOOOOOOOOOOO:__init__",
                                     const_cast<char**>(keywords), &self, &g[0], &g[1], &g[2],
                                     &g[3], &g[4], &g[5], &g[6], &g[7], &g[8], &g[9], &g[10],
                                     &g[11], &g[12], &g[13], &g[14], &g[15], &g[16], &g[17],
                                     &g[18], &g[19], &g[20])) {
        return nullptr;
    }
    return run_guarded([&] { construct_engine(self, g); });
}

PyMethodDef g_init_def = {
    "__init__", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(&engine_init)),
    METH_VARARGS | METH_KEYWORDS,
    "__init__(self, shp_path, name_field='name', weight_field='weight', use_utm=False, "
    "posture='flat', text_count=None, distance_interval=500, add_at_endpoints=False, "
    "font_size=15.0, extrusion_depth=2.0, letter_spacing=0.0, separate_objects=True, "
    "curved_text=True, auto_fit_text=True, min_font_scale=0.35, min_letter_spacing=0.0, "
    "overflow_strategy='truncate', density='moderate', repeat_mode='name_connected', "
    "connect_eps=None, max_global_iterations=None)\n\n"
    "Stores the configuration, finds a CJK-capable font and builds the default text mesh "
    "engine."};

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
    py::object function = py::reinterpret_steal<py::object>(
        PyCFunction_NewEx(&g_init_def, nullptr, m.attr("__name__").ptr()));
    if (!function) throw py::error_already_set();
    py::object method = py::reinterpret_steal<py::object>(PyInstanceMethod_New(function.ptr()));
    if (!method) throw py::error_already_set();
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
