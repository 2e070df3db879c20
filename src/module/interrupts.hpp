#pragma once
// Ctrl-C during a long native stage.
//
// The interpreter's signal handler only sets a flag; nothing runs the
// Python-level handler until control returns to the interpreter, so a stage
// that loops for seconds in C++ would ignore the key press until it ends.
// The stages therefore call this now and then (on the thread that holds the
// GIL, never inside a parallel region): it runs the pending handlers and,
// when one raised (KeyboardInterrupt), throws so the stage unwinds, its
// temporary output removed on the way, and the exception reaches the host.
//
// The same calls give a front end's progress hook its chance to redraw.
#include <pybind11/pybind11.h>

#include "module/progress_hook.hpp"

namespace glyphway::module {

inline void check_host_signals() {
    if (PyErr_CheckSignals() != 0) throw pybind11::error_already_set();
    tick_progress_hook();
}

}  // namespace glyphway::module
