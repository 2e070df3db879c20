#include "module/progress_hook.hpp"

#include <chrono>

#include <pybind11/pybind11.h>

#include "module/bindings.hpp"

namespace py = pybind11;

namespace glyphway::module {

namespace {

// Often enough for a ticking clock on a terminal, rarely enough that the
// call into the host costs nothing next to the stage.
constexpr auto kProgressHookInterval = std::chrono::milliseconds(100);

// Guarded by the GIL; a strong reference, dropped when the hook is replaced.
PyObject* g_hook = nullptr;
std::chrono::steady_clock::time_point g_last_call{};

void set_progress_hook(py::object hook) {
    if (!hook.is_none() && !PyCallable_Check(hook.ptr())) {
        throw py::type_error("the progress hook must be callable or None");
    }
    PyObject* old = g_hook;
    g_hook = hook.is_none() ? nullptr : hook.release().ptr();
    g_last_call = {};
    Py_XDECREF(old);
}

}  // namespace

void tick_progress_hook() {
    if (g_hook == nullptr) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - g_last_call < kProgressHookInterval) return;
    g_last_call = now;
    // Held for the call: the hook may replace itself.
    py::object hook = py::reinterpret_borrow<py::object>(g_hook);
    hook();
}

void register_progress_hook(py::module_& m) {
    m.def("_set_progress_hook", &set_progress_hook, py::arg("hook").none(true),
          "Sets the callable (no arguments) that long native stages call about every "
          "0.1 s while they run, or None for none.");
}

}  // namespace glyphway::module
