#include "module/options_reader.hpp"

#include <limits>

#include "engine/font_size_median.hpp"
#include "module/argument_kinds.hpp"
#include "module/cartographic_run.hpp"
#include "module/engine_convert.hpp"
#include "module/host_calls.hpp"

namespace glyphway::module {

namespace {

using engine::Field;

// The value of a numeric attribute as a double, or nothing when it is not a
// real number. An int too large for a double counts as infinite.
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

bool checked_when_built(const pipeline::OptionInfo& o) {
    return o.taken_by(pipeline::kEngine) &&
           (o.range == pipeline::OptionRange::finite ||
            o.range == pipeline::OptionRange::non_negative ||
            o.range == pipeline::OptionRange::positive);
}

}  // namespace

void check_engine_numbers(py::handle self) {
    // A size of NaN or infinity never finishes drawing (curve flattening at
    // an unbounded scale) or writes NaN vertices as if they were geometry,
    // and a non-positive font size writes empty text: all are refused before
    // the font search and before anything is read.
    for (int position = 0; position < static_cast<int>(pipeline::kOptionCount); ++position) {
        for (const pipeline::OptionInfo& o : pipeline::kOptionTable) {
            if (o.engine_position != position || !checked_when_built(o)) continue;
            py::object value = self.attr(o.name);
            const std::optional<double> x = real_value(value);
            if (!x) continue;
            refusing_options([&] { pipeline::check_number(o, *x, host_text(py::repr(value))); });
        }
    }
}

void read_sampling_options(py::handle self, pipeline::Options& o) {
    engine::SamplingSettings s;
    py::object count = self.attr("text_count");
    if (!count.is_none()) {
        const int positive = PyObject_RichCompareBool(count.ptr(), py::int_(0).ptr(), Py_GT);
        if (positive < 0) throw py::error_already_set();
        if (positive) {
            py::object n = steal_or_throw(PyNumber_Index(count.ptr()));
            int overflow = 0;
            const long long v = PyLong_AsLongLongAndOverflow(n.ptr(), &overflow);
            if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
            o.text_count = overflow ? std::numeric_limits<std::int64_t>::max() : v;
        }
    }
    if (!o.text_count) o.distance_interval = real_number(self.attr("distance_interval"));
    o.add_at_endpoints = host_truth(self.attr("add_at_endpoints"));
    refusing_options([&] { pipeline::check_sampling(o); });
}

void read_stage_options(py::handle self, pipeline::Options& o) {
    o.curved_text = host_truth(self.attr("curved_text"));
    const engine::AutofitSettings autofit = read_autofit_settings(self);
    o.auto_fit_text = autofit.enabled;
    if (autofit.enabled) {
        o.min_font_scale = autofit.min_font_scale;
        o.min_letter_spacing = autofit.min_letter_spacing;
        o.overflow_strategy =
            autofit.truncate ? pipeline::Overflow::truncate : pipeline::Overflow::keep;
    }
    o.font_size = host_float(self.attr("font_size"));
    o.letter_spacing = host_float(self.attr("letter_spacing"));
    o.char_width_est = host_float(self.attr("char_width_est"));
    o.posture = read_posture(self);
    if (o.curved_text) {
        o.repeat_mode = read_repeat_mode(self);
        if (o.repeat_mode == engine::RepeatMode::name_connected) {
            py::object eps = self.attr("connect_eps");
            if (!eps.is_none()) o.connect_eps = host_float(eps);
        }
        o.density = density_name(self);
        o.max_global_iterations = iterations_override(self);
    }
}

engine::AutofitSettings read_autofit_settings(py::handle self) {
    engine::AutofitSettings s;
    s.enabled = host_truth(self.attr("auto_fit_text")) && host_truth(self.attr("curved_text"));
    if (!s.enabled) return s;
    s.font_size = host_float(self.attr("font_size"));
    s.letter_spacing = host_float(self.attr("letter_spacing"));
    s.min_font_scale = host_float(self.attr("min_font_scale"));
    s.min_letter_spacing = host_float(self.attr("min_letter_spacing"));
    s.truncate = host_equals(self.attr("overflow_strategy"), "truncate");
    return s;
}

engine::RepeatMode read_repeat_mode(py::handle self) {
    py::object mode = self.attr("repeat_mode");
    if (host_equals(mode, "feature")) return engine::RepeatMode::feature;
    if (host_equals(mode, "name")) return engine::RepeatMode::name;
    return engine::RepeatMode::name_connected;
}

engine::GroupingSettings read_grouping_settings(py::handle self,
                                                const std::vector<engine::LabelRecord>& records) {
    engine::GroupingSettings s;
    s.mode = read_repeat_mode(self);
    if (s.mode != engine::RepeatMode::name_connected) return s;
    // A font size that is never used is never converted (it may not be a
    // number when every visible label carries its own).
    s.font_size = engine::needs_engine_font_size(records)
                      ? host_float(self.attr("font_size"))
                      : std::numeric_limits<double>::quiet_NaN();
    py::object eps = self.attr("connect_eps");
    if (!eps.is_none()) s.connect_eps = host_float(eps);
    return s;
}

// The font size where a median falls back to it, the width and spacing
// where a record lacks its own, and everything the frames and the solver
// take only when at least one pass runs.
placement::PlacementSettings read_placement_settings(
    py::handle self, const std::vector<engine::LabelRecord>& records) {
    placement::PlacementSettings s;
    s.grouping = read_grouping_settings(self, records);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double font_size =
        engine::needs_engine_font_size(records) ? host_float(self.attr("font_size")) : nan;
    s.profile = placement::placement_profile(records, density_name(self), iterations_override(self),
                                             font_size);
    bool width_missing = false;
    bool spacing_missing = false;
    for (const engine::LabelRecord& r : records) {
        width_missing = width_missing || !r.present.has(Field::effective_char_width_est);
        spacing_missing = spacing_missing || !r.present.has(Field::effective_letter_spacing);
    }
    s.sizes.font_size = font_size;
    s.sizes.char_width_est = width_missing ? host_float(self.attr("char_width_est")) : nan;
    s.sizes.letter_spacing = spacing_missing ? host_float(self.attr("letter_spacing")) : nan;
    if (s.profile.iterations > 0) {
        s.posture = read_posture(self);
        s.solver_sizes.char_width_est = static_cast<float>(host_float(self.attr("char_width_est")));
        s.solver_sizes.font_size = static_cast<float>(host_float(self.attr("font_size")));
        s.solver_sizes.letter_spacing = static_cast<float>(host_float(self.attr("letter_spacing")));
    }
    return s;
}

std::string density_name(py::handle self) {
    try {
        return host_text(self.attr("density"));
    } catch (py::error_already_set& e) {
        // A name that cannot be spelled in UTF-8 matches no profile.
        if (!e.matches(PyExc_UnicodeError)) throw;
    }
    return {};
}

std::optional<std::int64_t> iterations_override(py::handle self) {
    py::object value = self.attr("max_global_iterations");
    if (value.is_none()) return std::nullopt;
    PyObject* raw = PyNumber_Long(value.ptr());
    if (!raw) {
        if (!PyErr_ExceptionMatches(PyExc_Exception)) throw py::error_already_set();
        PyErr_Clear();
        return std::nullopt;
    }
    py::object count = py::reinterpret_steal<py::object>(raw);
    int overflow = 0;
    const long long n = PyLong_AsLongLongAndOverflow(count.ptr(), &overflow);
    if (overflow > 0) return std::numeric_limits<std::int64_t>::max();
    if (overflow < 0) return std::numeric_limits<std::int64_t>::min();
    if (n == -1 && PyErr_Occurred()) throw py::error_already_set();
    return n;
}

engine::Posture read_posture(py::handle self) {
    return host_equals(self.attr("posture"), "flat") ? engine::Posture::flat
                                                     : engine::Posture::upright;
}

// --- The run keywords (declared in cartographic_run.hpp) --------------------

bool is_cartographic_style(py::handle style) {
    if (!PyUnicode_CheckExact(style.ptr())) {
        raise_incorrect_type("style", "str", style.ptr());
        throw py::error_already_set();
    }
    return refusing_options([&] {
        return pipeline::style_named(host_text(style), host_text(py::repr(style))) ==
               pipeline::Style::cartographic;
    });
}

double checked_max_char_angle(py::handle max_char_angle) {
    PyObject* converted = real_argument(max_char_angle.ptr());
    if (!converted) throw py::error_already_set();
    const double degrees = PyFloat_AS_DOUBLE(converted);
    Py_DECREF(converted);
    refusing_options([&] {
        pipeline::check_number(pipeline::option_info("max_char_angle"), degrees,
                               host_text(py::repr(max_char_angle)));
    });
    return degrees;
}

placement::CjkOrientation checked_cjk_orientation(py::handle cjk_orientation) {
    if (!PyUnicode_CheckExact(cjk_orientation.ptr())) {
        raise_incorrect_type("cjk_orientation", "str", cjk_orientation.ptr());
        throw py::error_already_set();
    }
    return refusing_options([&] {
        return pipeline::cjk_orientation_named(host_text(cjk_orientation),
                                               host_text(py::repr(cjk_orientation)));
    });
}

// --- The options of one export call -------------------------------------------

void read_run_keywords(py::handle style, py::handle max_char_angle, py::handle cjk_orientation,
                       pipeline::Options& o) {
    o.style = is_cartographic_style(style) ? pipeline::Style::cartographic
                                           : pipeline::Style::interval;
    o.max_char_angle = checked_max_char_angle(max_char_angle);
    o.cjk_orientation = checked_cjk_orientation(cjk_orientation);
}

void read_billboard_options(py::handle target_crs, py::handle output_quaternion,
                            py::handle output_both_angles, py::handle angle_unit,
                            py::handle angle_precision, pipeline::Options& o) {
    // The decimals come from the host's "." + str(n) + "f".
    const std::optional<int> decimals =
        refusing_options([&] { return pipeline::angle_decimals(host_text(angle_precision)); });
    o.angle_precision = decimals ? *decimals : -1;
    o.target_crs = host_truth(target_crs) ? host_text(target_crs) : std::string();
    o.output_quaternion = host_truth(output_quaternion);
    o.output_both_angles = host_truth(output_both_angles);
    o.angle_unit = host_equals(angle_unit.attr("lower")(), "degree") ? "degree" : "radian";
}

[[noreturn]] void refuse_angle_precision(py::handle angle_precision) {
    const std::string digits = host_text(angle_precision);
    py::module_::import("builtins").attr("format")(0.0, "." + digits + "f");
    throw py::value_error("unsupported angle precision: " + digits);
}

void read_mesh_output_options(py::handle self, pipeline::Options& o) {
    o.separate_objects = host_truth(self.attr("separate_objects"));
}

}  // namespace glyphway::module
