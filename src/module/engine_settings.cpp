#include "module/engine_settings.hpp"

#include <limits>

#include "engine/font_size_median.hpp"
#include "module/engine_convert.hpp"

namespace glyphway::module {

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

std::string density_name(py::handle self) {
    try {
        return host_text(self.attr("density"));
    } catch (py::error_already_set& e) {
        // A name that cannot be spelled in UTF-8 matches no profile.
        if (!e.matches(PyExc_UnicodeError)) throw;
    }
    return {};
}

// int(max_global_iterations), or nothing when it is None or unusable. A
// count beyond 64 bits is as good as unlimited.
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

}  // namespace glyphway::module
