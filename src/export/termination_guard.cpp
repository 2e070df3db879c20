#include "export/termination_guard.hpp"

#include <signal.h>

#include <csignal>
#include <mutex>

namespace glyphway::export_ {

namespace {

std::mutex guard_mutex;
int guard_depth = 0;
bool handler_installed = false;
struct sigaction previous_action {};
volatile std::sig_atomic_t termination_requested = 0;

extern "C" void note_termination(int) { termination_requested = 1; }

}  // namespace

TerminationGuard::TerminationGuard() {
    std::lock_guard<std::mutex> lock(guard_mutex);
    if (guard_depth++ > 0) return;
    struct sigaction current {};
    if (::sigaction(SIGTERM, nullptr, &current) != 0) return;
    if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) return;
    struct sigaction action {};
    action.sa_handler = note_termination;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a write blocked on a slow FIFO reader returns EINTR,
    // so the writer notices the flag instead of waiting for the reader.
    action.sa_flags = 0;
    if (::sigaction(SIGTERM, &action, &previous_action) != 0) return;
    handler_installed = true;
}

TerminationGuard::~TerminationGuard() {
    std::lock_guard<std::mutex> lock(guard_mutex);
    if (--guard_depth > 0 || !handler_installed) return;
    ::sigaction(SIGTERM, &previous_action, nullptr);
    handler_installed = false;
    if (termination_requested) {
        termination_requested = 0;
        ::raise(SIGTERM);
    }
}

bool TerminationGuard::requested() { return termination_requested != 0; }

}  // namespace glyphway::export_
