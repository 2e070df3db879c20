// The module functions `generate` (shapefile to OBJ) and `generate_csv`
// (shapefile to billboard CSV). They settle the argument types, build one
// _RoadTessaraEngine with keyword arguments and call one export method on
// it; everything else happens in the engine. Nothing is printed or caught
// here: engine errors reach the caller unchanged.
#include <pybind11/pybind11.h>

#include <array>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "module/argument_kinds.hpp"
#include "module/bindings.hpp"
#include "module/call_arguments.hpp"
#include "module/call_guard.hpp"
#include "module/cartographic_run.hpp"
#include "module/font_path_override.hpp"

namespace py = pybind11;

namespace glyphway::module {

namespace {

enum class Kind { Text, Flag, Real, Integer, OptionalReal, OptionalInteger, Path };

struct Parameter {
    const char* name;
    Kind kind;
    const char* text_default;  // text parameters; nullptr for a required one
    double number_default;     // flags (0 or 1), reals and integers
};

// Positional-or-keyword parameters in call order, then the keyword-only
// ones, which are not part of the positional signature: `font_path`, and
// the placement style with its largest turn between glyphs.
constexpr std::size_t kStyleKeywordOnly = 3;  // font_path, style, max_char_angle
constexpr Parameter kGenerateParameters[] = {
    {"shp_path", Kind::Text, nullptr, 0},
    {"output_obj", Kind::Text, nullptr, 0},
    {"name_field", Kind::Text, "name", 0},
    {"weight_field", Kind::Text, "weight", 0},
    {"use_utm", Kind::Flag, nullptr, 0},
    {"posture", Kind::Text, "flat", 0},
    {"curved_text", Kind::Flag, nullptr, 1},
    {"auto_fit_text", Kind::Flag, nullptr, 1},
    {"min_font_scale", Kind::Real, nullptr, 0.35},
    {"min_letter_spacing", Kind::Real, nullptr, 0.0},
    {"overflow_strategy", Kind::Text, "truncate", 0},
    {"density", Kind::Text, "moderate", 0},
    {"repeat_mode", Kind::Text, "name_connected", 0},
    {"connect_eps", Kind::OptionalReal, nullptr, 0},
    {"max_global_iterations", Kind::OptionalInteger, nullptr, 0},
    {"text_count", Kind::OptionalInteger, nullptr, 0},
    {"distance_interval", Kind::Real, nullptr, 500.0},
    {"add_at_endpoints", Kind::Flag, nullptr, 0},
    {"font_size", Kind::Real, nullptr, 15.0},
    {"extrusion_depth", Kind::Real, nullptr, 2.0},
    {"letter_spacing", Kind::Real, nullptr, 0.0},
    {"separate_objects", Kind::Flag, nullptr, 1},
    {"font_path", Kind::Path, nullptr, 0},
    {"style", Kind::Text, kIntervalStyle, 0},
    {"max_char_angle", Kind::Real, nullptr, kDefaultMaxCharAngle},
};

// generate's parameters, writing to `output_glb`, then the keyword-only
// `instancing`: taken from generate's table, so the two cannot drift apart.
constexpr auto kGenerateGlbParameters = [] {
    std::array<Parameter, std::size(kGenerateParameters) + 1> table{};
    for (std::size_t i = 0; i < std::size(kGenerateParameters); ++i) table[i] = kGenerateParameters[i];
    table[1].name = "output_glb";
    table.back() = {"instancing", Kind::Flag, nullptr, 1};
    return table;
}();

constexpr Parameter kGenerateCsvParameters[] = {
    {"shp_path", Kind::Text, nullptr, 0},
    {"output_csv", Kind::Text, nullptr, 0},
    {"target_crs", Kind::Text, "EPSG:3857", 0},
    {"output_quaternion", Kind::Flag, nullptr, 1},
    {"output_both_angles", Kind::Flag, nullptr, 0},
    {"angle_unit", Kind::Text, "degree", 0},
    {"angle_precision", Kind::Integer, nullptr, 10},
    {"name_field", Kind::Text, "name", 0},
    {"weight_field", Kind::Text, "weight", 0},
    {"use_utm", Kind::Flag, nullptr, 0},
    {"posture", Kind::Text, "flat", 0},
    {"curved_text", Kind::Flag, nullptr, 1},
    {"auto_fit_text", Kind::Flag, nullptr, 1},
    {"min_font_scale", Kind::Real, nullptr, 0.35},
    {"density", Kind::Text, "moderate", 0},
    {"repeat_mode", Kind::Text, "name_connected", 0},
    {"connect_eps", Kind::OptionalReal, nullptr, 0},
    {"max_global_iterations", Kind::OptionalInteger, nullptr, 0},
    {"text_count", Kind::OptionalInteger, nullptr, 0},
    {"distance_interval", Kind::Real, nullptr, 500.0},
    {"add_at_endpoints", Kind::Flag, nullptr, 0},
    {"font_size", Kind::Real, nullptr, 15.0},
    {"letter_spacing", Kind::Real, nullptr, 0.0},
    {"font_path", Kind::Path, nullptr, 0},
    {"style", Kind::Text, kIntervalStyle, 0},
    {"max_char_angle", Kind::Real, nullptr, kDefaultMaxCharAngle},
};

constexpr std::size_t kGenerateCount = std::size(kGenerateParameters);
constexpr std::size_t kGenerateCsvCount = std::size(kGenerateCsvParameters);
constexpr std::size_t kGenerateGlbCount = std::size(kGenerateGlbParameters);
static_assert(kGenerateGlbCount == kGenerateCount + 1, "generate_glb adds instancing to generate's");
static_assert(kGenerateCount == 22 + kStyleKeywordOnly, "generate takes 22 parameters");
static_assert(kGenerateCsvCount == 23 + kStyleKeywordOnly, "generate_csv takes 23 parameters");

// The engine's keyword arguments, in the order they are passed.
constexpr const char* kEngineKeywords[] = {
    "shp_path",        "name_field",         "weight_field",      "use_utm",
    "posture",         "curved_text",        "auto_fit_text",     "min_font_scale",
    "min_letter_spacing", "overflow_strategy", "density",         "repeat_mode",
    "connect_eps",     "max_global_iterations", "text_count",     "distance_interval",
    "add_at_endpoints", "font_size",         "extrusion_depth",   "letter_spacing",
    "separate_objects",
};
static_assert(std::size(kEngineKeywords) == 21, "the engine takes 21 keyword arguments");

constexpr const char* kEngineClassName = "_RoadTessaraEngine";

// The converted arguments of one call, by parameter.
class Arguments {
public:
    Arguments(const Parameter* parameters, std::size_t count)
        : parameters_(parameters), values_(count) {}

    py::object& at(std::size_t i) { return values_[i]; }

    const py::object& operator[](const char* name) const {
        for (std::size_t i = 0; i < values_.size(); ++i) {
            if (std::strcmp(parameters_[i].name, name) == 0) return values_[i];
        }
        throw std::logic_error(std::string("no entry-point parameter ") + name);
    }

private:
    const Parameter* parameters_;
    std::vector<py::object> values_;
};

py::object checked(PyObject* result) {
    if (!result) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(result);
}

py::object default_value(const Parameter& p) {
    switch (p.kind) {
        case Kind::Text: return py::str(p.text_default);
        case Kind::Flag: return py::bool_(p.number_default != 0);
        case Kind::Real: return py::float_(p.number_default);
        case Kind::Integer: return py::int_(static_cast<long>(p.number_default));
        default: return py::none();
    }
}

bool converted_in_pass(Kind kind, int pass) {
    switch (kind) {
        case Kind::Flag:
        case Kind::Real:
        case Kind::Integer: return pass == 0;
        case Kind::OptionalReal:
        case Kind::OptionalInteger: return pass == 1;
        default: return pass == 2;
    }
}

py::object convert(const Parameter& p, PyObject* given) {
    switch (p.kind) {
        case Kind::Text: return checked(text_argument(p.name, given));
        case Kind::Flag: return checked(flag_argument(given));
        case Kind::Real: return checked(real_argument(given));
        case Kind::Integer: return checked(integer_argument(p.name, given));
        case Kind::OptionalReal: return checked(optional_real_argument(p.name, given));
        case Kind::OptionalInteger: return checked(optional_integer_argument(p.name, given));
        case Kind::Path: return checked(optional_path_argument(p.name, given));
    }
    return py::none();
}

// Binds the call to the parameter list, then converts in three passes so
// that errors come in a fixed order: flags and numbers first, then the
// optional numbers, then the text parameters (and font_path). A parameter
// not given takes its default, which needs no conversion.
Arguments bind_and_convert(const char* function, const Parameter* parameters, std::size_t count,
                           PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                           std::size_t keyword_only = kStyleKeywordOnly) {
    std::vector<const char*> names(count);
    for (std::size_t i = 0; i < count; ++i) names[i] = parameters[i].name;
    const CallSignature signature{function, names.data(),
                                  static_cast<Py_ssize_t>(count - keyword_only), 2,
                                  static_cast<Py_ssize_t>(keyword_only)};
    std::vector<PyObject*> given(count, nullptr);
    if (!bind_call_arguments(signature, args, nargs, kwnames, given.data())) {
        throw py::error_already_set();
    }
    Arguments out(parameters, count);
    for (int pass = 0; pass < 3; ++pass) {
        for (std::size_t i = 0; i < count; ++i) {
            if (!converted_in_pass(parameters[i].kind, pass)) continue;
            out.at(i) = given[i] ? convert(parameters[i], given[i]) : default_value(parameters[i]);
        }
    }
    return out;
}

// The placement style of a call, checked before anything is read. The
// interval style calls the export method without the style keywords, so an
// engine class whose export methods predate them keeps working.
struct StyleChoice {
    explicit StyleChoice(const Arguments& a)
        : cartographic(is_cartographic_style(a["style"])),
          max_char_angle(checked_max_char_angle(a["max_char_angle"])) {}

    py::dict keywords() const {
        py::dict out;
        out["style"] = py::str(kCartographicStyle);
        out["max_char_angle"] = py::float_(max_char_angle);
        return out;
    }

    bool cartographic;
    double max_char_angle;
};

// The engine class is looked up when the function runs, so a replacement
// put into the module afterwards is the one used.
py::object engine_class(PyObject* module) {
    py::str name(kEngineClassName);
    PyObject* globals = PyModule_GetDict(module);
    if (!globals) throw py::error_already_set();
    PyObject* cls = PyDict_GetItemWithError(globals, name.ptr());
    if (!cls) {
        if (!PyErr_Occurred()) PyErr_Format(PyExc_NameError, "name '%U' is not defined", name.ptr());
        throw py::error_already_set();
    }
    return py::reinterpret_borrow<py::object>(cls);
}

py::object construct_engine(PyObject* module, const py::dict& keywords, const py::object& font_path) {
    py::object cls = engine_class(module);
    ScopedFontPath font(font_path);
    return checked(PyObject_Call(cls.ptr(), py::tuple().ptr(), keywords.ptr()));
}

PyObject* generate(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run_guarded([&] {
        const Arguments a = bind_and_convert("generate", kGenerateParameters, kGenerateCount, args,
                                             nargs, kwnames);
        const StyleChoice style(a);
        py::dict keywords;
        for (const char* name : kEngineKeywords) keywords[name] = a[name];
        py::object engine = construct_engine(module, keywords, a["font_path"]);
        py::object method = engine.attr("export_obj");
        style.cartographic ? method(a["output_obj"], **style.keywords()) : method(a["output_obj"]);
    });
}

PyObject* generate_csv(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) {
    return run_guarded([&] {
        const Arguments a = bind_and_convert("generate_csv", kGenerateCsvParameters,
                                             kGenerateCsvCount, args, nargs, kwnames);
        const StyleChoice style(a);
        // A billboard carries flat text: no extrusion, no per-label objects,
        // and auto-fit may tighten letters down to the spacing asked for
        // but never below it.
        py::dict keywords;
        for (const char* name : kEngineKeywords) {
            if (std::strcmp(name, "min_letter_spacing") == 0) {
                keywords[name] = a["letter_spacing"];
            } else if (std::strcmp(name, "overflow_strategy") == 0) {
                keywords[name] = py::str("truncate");
            } else if (std::strcmp(name, "extrusion_depth") == 0) {
                keywords[name] = py::float_(0.0);
            } else if (std::strcmp(name, "separate_objects") == 0) {
                keywords[name] = py::bool_(true);
            } else {
                keywords[name] = a[name];
            }
        }
        py::object engine = construct_engine(module, keywords, a["font_path"]);
        py::object method = engine.attr("export_csv");
        const py::tuple positional =
            py::make_tuple(a["output_csv"], a["target_crs"], a["output_quaternion"],
                           a["output_both_angles"], a["angle_unit"], a["angle_precision"]);
        style.cartographic ? method(*positional, **style.keywords()) : method(*positional);
    });
}

PyObject* generate_glb(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) {
    return run_guarded([&] {
        const Arguments a = bind_and_convert("generate_glb", kGenerateGlbParameters.data(),
                                             kGenerateGlbCount, args, nargs, kwnames,
                                             kStyleKeywordOnly + 1);
        const StyleChoice style(a);
        py::dict keywords;
        for (const char* name : kEngineKeywords) keywords[name] = a[name];
        py::object engine = construct_engine(module, keywords, a["font_path"]);
        py::object method = engine.attr("export_glb");
        style.cartographic ? method(a["output_glb"], a["instancing"], **style.keywords())
                           : method(a["output_glb"], a["instancing"]);
    });
}

template <typename F>
PyCFunction as_cfunction(F* f) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(f));
}

PyMethodDef g_generate_def = {
    "generate", as_cfunction(&generate), METH_FASTCALL | METH_KEYWORDS,
    "generate($module, /, shp_path, output_obj, name_field='name', weight_field='weight', "
    "use_utm=False, posture='flat', curved_text=True, auto_fit_text=True, min_font_scale=0.35, "
    "min_letter_spacing=0.0, overflow_strategy='truncate', density='moderate', "
    "repeat_mode='name_connected', connect_eps=None, max_global_iterations=None, "
    "text_count=None, distance_interval=500.0, add_at_endpoints=False, font_size=15.0, "
    "extrusion_depth=2.0, letter_spacing=0.0, separate_objects=True, *, font_path=None, "
    "style='interval', max_char_angle=30.0)\n"
    "--\n\n"
    "Places road-name labels along the roads of the shapefile `shp_path` and writes them to "
    "`output_obj` as a Wavefront OBJ file of extruded 3D text. Returns None.\n\n"
    "Text parameters must be str; flags take any object's truth value; connect_eps is None "
    "or a number (made a float), max_global_iterations and text_count are None or a number "
    "(made an int by truncation). font_path (keyword only): a font file to use instead of "
    "searching the machine for a CJK-capable font."
    "\n\nstyle (keyword only): 'interval' (the default) or 'cartographic', which merges "
    "the connected pieces of each named road, shapes names with the font (advances and "
    "kerning), repeats them along long roads at the density profile's interval, keeps "
    "every label upright and off sharp bends (no turn between adjacent glyphs above "
    "max_char_angle degrees, default 30) and keeps glyphs of different labels apart. It "
    "always lays text glyph by glyph; auto_fit_text and min_font_scale bound how far a name "
    "shrinks to fit a short road, and curved_text, min_letter_spacing, overflow_strategy, "
    "repeat_mode, max_global_iterations, text_count, distance_interval and add_at_endpoints "
    "belong to the interval style only."};

PyMethodDef g_generate_csv_def = {
    "generate_csv", as_cfunction(&generate_csv), METH_FASTCALL | METH_KEYWORDS,
    "generate_csv($module, /, shp_path, output_csv, target_crs='EPSG:3857', "
    "output_quaternion=True, output_both_angles=False, angle_unit='degree', angle_precision=10, "
    "name_field='name', weight_field='weight', use_utm=False, posture='flat', curved_text=True, "
    "auto_fit_text=True, min_font_scale=0.35, density='moderate', "
    "repeat_mode='name_connected', connect_eps=None, max_global_iterations=None, "
    "text_count=None, distance_interval=500.0, add_at_endpoints=False, font_size=15.0, "
    "letter_spacing=0.0, *, font_path=None, style='interval', max_char_angle=30.0)\n"
    "--\n\n"
    "Places road-name labels along the roads of the shapefile `shp_path` and writes one "
    "billboard row per visible label to `output_csv` (UTF-8 with BOM): position in "
    "`target_crs`, orientation as a quaternion and/or Euler angles, and the text. Returns None.\n\n"
    "angle_precision is an int (a number is truncated); the other kinds are as in generate(). "
    "The text is flat (no extrusion) and auto-fit never tightens letters below "
    "letter_spacing. font_path (keyword only): a font file to use instead of searching the "
    "machine for a CJK-capable font. style and max_char_angle are as in generate(); a "
    "cartographic row is anchored at the label's middle glyph and turned as it is."};

PyMethodDef g_generate_glb_def = {
    "generate_glb", as_cfunction(&generate_glb), METH_FASTCALL | METH_KEYWORDS,
    "generate_glb($module, /, shp_path, output_glb, name_field='name', weight_field='weight', "
    "use_utm=False, posture='flat', curved_text=True, auto_fit_text=True, min_font_scale=0.35, "
    "min_letter_spacing=0.0, overflow_strategy='truncate', density='moderate', "
    "repeat_mode='name_connected', connect_eps=None, max_global_iterations=None, "
    "text_count=None, distance_interval=500.0, add_at_endpoints=False, font_size=15.0, "
    "extrusion_depth=2.0, letter_spacing=0.0, separate_objects=True, *, font_path=None, "
    "style='interval', max_char_angle=30.0, instancing=True)\n"
    "--\n\n"
    "Places road-name labels as generate() does and writes the same 3D text to `output_glb` "
    "as a binary glTF 2.0 file (Y up, metres, positions relative to a local origin kept in "
    "the root node). Returns None.\n\n"
    "With instancing (keyword only, the default) each distinct glyph mesh is stored once and "
    "drawn per label through EXT_mesh_gpu_instancing; instancing=False writes plain meshes "
    "(one per label, or one in all without separate_objects). The label table is an "
    "EXT_structural_metadata property table. The other parameters are as in generate()."};

void add_function(py::module_& m, PyMethodDef* def) {
    py::object function = checked(PyCFunction_NewEx(def, m.ptr(), m.attr("__name__").ptr()));
    py::setattr(m, def->ml_name, function);
}

}  // namespace

void register_entry_points(py::module_& m) {
    add_function(m, &g_generate_def);
    add_function(m, &g_generate_csv_def);
    add_function(m, &g_generate_glb_def);
}

}  // namespace glyphway::module
