// The module functions `generate` (shapefile to OBJ), `generate_csv`
// (shapefile to billboard CSV) and `generate_glb` (shapefile to GLB). Their
// parameter lists, defaults and signature lines are the option table's
// (pipeline/options.def). They settle the argument types, build one
// _RoadTessaraEngine with keyword arguments and call one export method on
// it; everything else happens in the engine. Nothing is printed or caught
// here: engine errors reach the caller unchanged.
#include <pybind11/pybind11.h>

#include <array>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "module/argument_kinds.hpp"
#include "module/bindings.hpp"
#include "module/call_arguments.hpp"
#include "module/call_guard.hpp"
#include "module/cartographic_run.hpp"
#include "module/font_path_override.hpp"
#include "module/host_calls.hpp"
#include "module/option_table.hpp"
#include "pipeline/fixed_engine_values.hpp"

namespace py = pybind11;

namespace glyphway::module {

namespace {

using pipeline::OptionInfo;
using pipeline::OptionKind;

// Each function's rows of the option table (pipeline/options.def), in call
// order: positional-or-keyword parameters, then the keyword-only ones.
constexpr auto kGenerateParameters = options_of<pipeline::kObj>();
constexpr auto kGenerateCsvParameters = options_of<pipeline::kCsv>();
constexpr auto kGenerateGlbParameters = options_of<pipeline::kGlb>();
// The engine's keyword arguments, in the order they are passed.
constexpr auto kEngineKeywords = options_of<pipeline::kEngine>();
// How the road table is read; every entry point takes them.
constexpr auto kReadingOptions = options_of<pipeline::kReading>();

template <std::size_t N>
constexpr std::size_t keyword_only_count(const std::array<const OptionInfo*, N>& rows) {
    std::size_t n = 0;
    for (const OptionInfo* o : rows) n += o->keyword_only() ? 1 : 0;
    return n;
}

template <std::size_t N>
constexpr std::size_t required_count(const std::array<const OptionInfo*, N>& rows) {
    std::size_t n = 0;
    for (const OptionInfo* o : rows) {
        n += o->default_value.type == pipeline::OptionDefault::Type::required ? 1 : 0;
    }
    return n;
}

static_assert(kGenerateGlbParameters.size() == kGenerateParameters.size() + 1,
              "generate_glb adds instancing to generate's");
static_assert(kGenerateParameters.size() == 31, "generate takes 22 parameters and 9 keyword-only");
static_assert(keyword_only_count(kGenerateParameters) == 9,
              "font_path, style, max_char_angle, cjk_orientation and the five reading options");
static_assert(kGenerateCsvParameters.size() == 32,
              "generate_csv takes 23 parameters and 9 keyword-only");
static_assert(keyword_only_count(kGenerateGlbParameters) == 10, "and instancing, last");
static_assert(kEngineKeywords.size() == 21, "the engine takes 21 keyword arguments");

constexpr const char* kEngineClassName = "_RoadTessaraEngine";

// The converted arguments of one call, by parameter.
class Arguments {
public:
    Arguments(const OptionInfo* const* parameters, std::size_t count)
        : parameters_(parameters), values_(count) {}

    py::object& at(std::size_t i) { return values_[i]; }

    const py::object& operator[](const char* name) const {
        for (std::size_t i = 0; i < values_.size(); ++i) {
            if (std::strcmp(parameters_[i]->name, name) == 0) return values_[i];
        }
        throw std::logic_error(std::string("no entry-point parameter ") + name);
    }

private:
    const OptionInfo* const* parameters_;
    std::vector<py::object> values_;
};

bool converted_in_pass(OptionKind kind, int pass) {
    switch (kind) {
        case OptionKind::flag:
        case OptionKind::real:
        case OptionKind::integer: return pass == 0;
        case OptionKind::optional_real:
        case OptionKind::optional_integer: return pass == 1;
        default: return pass == 2;
    }
}

py::object convert(const OptionInfo& p, PyObject* given) {
    switch (p.kind) {
        case OptionKind::text: return steal_or_throw(text_argument(p.name, given));
        case OptionKind::flag: return steal_or_throw(flag_argument(given));
        case OptionKind::real: return steal_or_throw(real_argument(given));
        case OptionKind::integer: return steal_or_throw(integer_argument(p.name, given));
        case OptionKind::optional_real:
            return steal_or_throw(optional_real_argument(p.name, given));
        case OptionKind::optional_integer:
            return steal_or_throw(optional_integer_argument(p.name, given));
        case OptionKind::paths: return steal_or_throw(optional_paths_argument(p.name, given));
        case OptionKind::optional_text:
            return steal_or_throw(optional_text_argument(p.name, given));
    }
    return py::none();
}

// Binds the call to the parameter list, then converts in three passes so
// that errors come in a fixed order: flags and numbers first, then the
// optional numbers, then the text parameters (and font_path). A parameter
// not given takes its default, which needs no conversion.
template <std::size_t N>
Arguments bind_and_convert(const char* function, const std::array<const OptionInfo*, N>& parameters,
                           PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    constexpr std::size_t count = N;
    std::array<const char*, N> names{};
    for (std::size_t i = 0; i < count; ++i) names[i] = parameters[i]->name;
    const std::size_t keyword_only = keyword_only_count(parameters);
    const CallSignature signature{function, names.data(),
                                  static_cast<Py_ssize_t>(count - keyword_only),
                                  static_cast<Py_ssize_t>(required_count(parameters)),
                                  static_cast<Py_ssize_t>(keyword_only)};
    std::array<PyObject*, N> given{};
    if (!bind_call_arguments(signature, args, nargs, kwnames, given.data())) {
        throw py::error_already_set();
    }
    Arguments out(parameters.data(), count);
    for (int pass = 0; pass < 3; ++pass) {
        for (std::size_t i = 0; i < count; ++i) {
            if (!converted_in_pass(parameters[i]->kind, pass)) continue;
            out.at(i) = given[i] ? convert(*parameters[i], given[i]) : option_default(*parameters[i]);
        }
    }
    return out;
}

// The placement style of a call, checked before anything is read. The
// interval style calls the export method without the style keywords, so an
// engine class whose export methods predate them keeps working.
// A fixed engine value as the host object the engine is given.
py::object fixed_value_object(const pipeline::FixedEngineValue& fixed) {
    const pipeline::OptionDefault& v = fixed.value;
    switch (v.type) {
        case pipeline::OptionDefault::Type::text: return py::str(v.text);
        case pipeline::OptionDefault::Type::flag: return py::bool_(v.number != 0.0);
        case pipeline::OptionDefault::Type::integer: return py::int_(static_cast<long>(v.number));
        case pipeline::OptionDefault::Type::real: return py::float_(v.number);
        default: return py::none();
    }
}

// `_fixed_engine_values`: per fixed value its option's name, the takers
// that fix it ("generate_csv", "labels"), the option it copies (or None)
// and its value (None where it copies one).
void register_fixed_engine_values(py::module_& m) {
    py::list rows;
    for (const pipeline::FixedEngineValue& fixed : pipeline::kFixedEngineValues) {
        py::dict row;
        row["name"] = fixed.name;
        py::list takers;
        if (fixed.takers & pipeline::kCsv) takers.append("generate_csv");
        if (fixed.takers & pipeline::kLabels) takers.append("labels");
        row["takers"] = py::tuple(takers);
        row["same_as"] = fixed.same_as ? py::object(py::str(fixed.same_as)) : py::object(py::none());
        row["value"] = fixed.same_as ? py::object(py::none()) : fixed_value_object(fixed);
        rows.append(std::move(row));
    }
    m.attr("_fixed_engine_values") = py::tuple(rows);
}

struct StyleChoice {
    explicit StyleChoice(const Arguments& a)
        : cartographic(is_cartographic_style(a["style"])),
          max_char_angle(checked_max_char_angle(a["max_char_angle"])),
          cjk_orientation(a["cjk_orientation"]) {
        checked_cjk_orientation(cjk_orientation);
    }

    py::dict keywords() const {
        py::dict out;
        out["style"] = py::str(kCartographicStyle);
        out["max_char_angle"] = py::float_(max_char_angle);
        out["cjk_orientation"] = cjk_orientation;
        return out;
    }

    bool cartographic;
    double max_char_angle;
    py::object cjk_orientation;  // a str, checked
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

// The engine for a call: built from its keywords, then given the call's
// reading options as attributes (the constructor's parameters are fixed).
py::object construct_engine(PyObject* module, const py::dict& keywords, const Arguments& a) {
    py::object cls = engine_class(module);
    ScopedFontPath font(a["font_path"]);
    py::object engine =
        steal_or_throw(PyObject_Call(cls.ptr(), py::tuple().ptr(), keywords.ptr()));
    for (const OptionInfo* o : kReadingOptions) py::setattr(engine, o->name, a[o->name]);
    return engine;
}

PyObject* generate(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return run_guarded([&] {
        const Arguments a = bind_and_convert("generate", kGenerateParameters, args, nargs, kwnames);
        const StyleChoice style(a);
        py::dict keywords;
        for (const OptionInfo* o : kEngineKeywords) keywords[o->name] = a[o->name];
        py::object engine = construct_engine(module, keywords, a);
        py::object method = engine.attr("export_obj");
        style.cartographic ? method(a["output_obj"], **style.keywords()) : method(a["output_obj"]);
    });
}

PyObject* generate_csv(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) {
    return run_guarded([&] {
        const Arguments a =
            bind_and_convert("generate_csv", kGenerateCsvParameters, args, nargs, kwnames);
        const StyleChoice style(a);
        // The engine options the billboard does not take get the values it
        // fixes for them (pipeline/fixed_engine_values.hpp).
        py::dict keywords;
        for (const OptionInfo* o : kEngineKeywords) {
            const char* name = o->name;
            if (o->taken_by(pipeline::kCsv)) {
                keywords[name] = a[name];
                continue;
            }
            const pipeline::FixedEngineValue* fixed = pipeline::fixed_engine_value(pipeline::kCsv, name);
            if (!fixed) throw std::logic_error(std::string("no billboard value for ") + name);
            keywords[name] = fixed->same_as ? a[fixed->same_as] : fixed_value_object(*fixed);
        }
        py::object engine = construct_engine(module, keywords, a);
        py::object method = engine.attr("export_csv");
        // The output path and the CSV options, in order.
        py::list output_arguments;
        for (const OptionInfo* o : kGenerateCsvParameters) {
            if (!o->taken_by(pipeline::kEngine) && !o->keyword_only()) {
                output_arguments.append(a[o->name]);
            }
        }
        const py::tuple positional(output_arguments);
        style.cartographic ? method(*positional, **style.keywords()) : method(*positional);
    });
}

PyObject* generate_glb(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) {
    return run_guarded([&] {
        const Arguments a =
            bind_and_convert("generate_glb", kGenerateGlbParameters, args, nargs, kwnames);
        const StyleChoice style(a);
        py::dict keywords;
        for (const OptionInfo* o : kEngineKeywords) keywords[o->name] = a[o->name];
        py::object engine = construct_engine(module, keywords, a);
        py::object method = engine.attr("export_glb");
        style.cartographic ? method(a["output_glb"], a["instancing"], **style.keywords())
                           : method(a["output_glb"], a["instancing"]);
    });
}

template <typename F>
PyCFunction as_cfunction(F* f) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(f));
}

// The docstrings after their signature line, which is made from the table.
constexpr const char* kGenerateDoc =
    "Places road-name labels along the roads of the shapefile `shp_path` and writes them to "
    "`output_obj` as a Wavefront OBJ file of extruded 3D text. Returns None.\n\n"
    "Text parameters must be str; flags take any object's truth value; connect_eps is None "
    "or a number (made a float), max_global_iterations and text_count are None or a number "
    "(made an int by truncation). font_path (keyword only): a font file to use instead of "
    "searching the machine for a CJK-capable font, or a list of them tried per character "
    "in order."
    "\n\nstyle (keyword only): 'interval' (the default) or 'cartographic', which merges "
    "the connected pieces of each named road, shapes names with the font (advances and "
    "kerning), repeats them along long roads at the density profile's interval, keeps "
    "every label upright and off sharp bends (no turn between adjacent glyphs above "
    "max_char_angle degrees, default 30) and keeps glyphs of different labels apart. It "
    "always lays text glyph by glyph; auto_fit_text and min_font_scale bound how far a name "
    "shrinks to fit a short road, and curved_text, min_letter_spacing, overflow_strategy, "
    "repeat_mode, max_global_iterations, text_count, distance_interval and add_at_endpoints "
    "belong to the interval style only. cjk_orientation (keyword only, cartographic style): "
    "'along' (the default) turns the characters with the road; 'upright' stands every "
    "character upright, top to the north, one under another from the northern end on a "
    "road steeper than 45 degrees and west to east on a flatter one; 'auto' does so for "
    "names that are mostly CJK only.";

constexpr const char* kGenerateCsvDoc =
    "Places road-name labels along the roads of the shapefile `shp_path` and writes one "
    "billboard row per visible label to `output_csv` (UTF-8 with BOM): position in "
    "`target_crs`, orientation as a quaternion and/or Euler angles, and the text. Returns None.\n\n"
    "angle_precision is an int (a number is truncated); the other kinds are as in generate(). "
    "The text is flat (no extrusion) and auto-fit never tightens letters below "
    "letter_spacing. font_path (keyword only): as in generate(). style, max_char_angle and cjk_orientation are as in generate(); a "
    "cartographic row is anchored at the label's middle glyph and turned as it is.";

constexpr const char* kGenerateGlbDoc =
    "Places road-name labels as generate() does and writes the same 3D text to `output_glb` "
    "as a binary glTF 2.0 file (Y up, metres, positions relative to a local origin kept in "
    "the root node). Returns None.\n\n"
    "With instancing (keyword only, the default) each distinct glyph mesh is stored once and "
    "drawn per label through EXT_mesh_gpu_instancing; instancing=False writes plain meshes "
    "(one per label, or one in all without separate_objects). The label table is an "
    "EXT_structural_metadata property table. The other parameters are as in generate().";

// "f($module, /, a, b='x', *, c=None)" and the docstring separator: the
// form the host reads a native function's signature from.
template <std::size_t N>
std::string documented(const char* function, const std::array<const OptionInfo*, N>& rows,
                       const char* body) {
    std::string text = std::string(function) + "($module, /";
    bool keyword_only = false;
    for (const OptionInfo* o : rows) {
        if (o->keyword_only() && !keyword_only) {
            text += ", *";
            keyword_only = true;
        }
        text += ", " + signature_parameter(*o, option_default(*o));
    }
    return text + ")\n--\n\n" + body;
}

// Filled in when the module is initialised; they live as long as the process.
std::string g_generate_doc, g_generate_csv_doc, g_generate_glb_doc;

PyMethodDef g_generate_def = {"generate", as_cfunction(&generate), METH_FASTCALL | METH_KEYWORDS,
                              nullptr};
PyMethodDef g_generate_csv_def = {"generate_csv", as_cfunction(&generate_csv),
                                  METH_FASTCALL | METH_KEYWORDS, nullptr};
PyMethodDef g_generate_glb_def = {"generate_glb", as_cfunction(&generate_glb),
                                  METH_FASTCALL | METH_KEYWORDS, nullptr};

void add_function(py::module_& m, PyMethodDef* def) {
    py::object function = steal_or_throw(PyCFunction_NewEx(def, m.ptr(), m.attr("__name__").ptr()));
    py::setattr(m, def->ml_name, function);
}

}  // namespace

void register_entry_points(py::module_& m) {
    g_generate_doc = documented("generate", kGenerateParameters, kGenerateDoc);
    g_generate_csv_doc = documented("generate_csv", kGenerateCsvParameters, kGenerateCsvDoc);
    g_generate_glb_doc = documented("generate_glb", kGenerateGlbParameters, kGenerateGlbDoc);
    g_generate_def.ml_doc = g_generate_doc.c_str();
    g_generate_csv_def.ml_doc = g_generate_csv_doc.c_str();
    g_generate_glb_def.ml_doc = g_generate_glb_doc.c_str();
    register_option_table(m);
    register_fixed_engine_values(m);
    add_function(m, &g_generate_def);
    add_function(m, &g_generate_csv_def);
    add_function(m, &g_generate_glb_def);
}

}  // namespace glyphway::module
