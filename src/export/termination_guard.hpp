#pragma once
// SIGTERM while an output file is being written.
//
// A plain `kill` ends the process at once by default, which would leave the
// writer's temporary (possibly hundreds of megabytes) beside the target.
// While a guard lives, a SIGTERM that nothing else handles only sets a
// flag; the writers look at it between chunks of work, unwind (removing the
// temporary on the way) and, as the last guard goes, the default action is
// restored and the signal raised again, so the process still ends as killed
// by SIGTERM. A handler someone else installed (the host's own, or an
// ignored SIGTERM) is left as it is.
#include <stdexcept>

namespace glyphway::export_ {

class TerminationGuard {
public:
    TerminationGuard();
    ~TerminationGuard();  // may end the process, see above
    TerminationGuard(const TerminationGuard&) = delete;
    TerminationGuard& operator=(const TerminationGuard&) = delete;

    // Whether a SIGTERM arrived while a guard was installed.
    static bool requested();
};

// Thrown by a writer that saw requested(): it exists to unwind the stack;
// the last guard ends the process before a host would see it.
class Terminated : public std::runtime_error {
public:
    Terminated() : std::runtime_error("terminated by SIGTERM while writing") {}
};

}  // namespace glyphway::export_
