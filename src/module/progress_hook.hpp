#pragma once
// A host callable that long native stages poke now and then, so that a
// front end can redraw a progress indicator while the stage holds the GIL
// (a host thread could not run then).
namespace glyphway::module {

// Calls the hook set by _set_progress_hook, if any, at most every
// kProgressHookInterval. Runs on the thread that holds the GIL; an exception
// the hook raises unwinds the stage like an interrupt does.
void tick_progress_hook();

}  // namespace glyphway::module
