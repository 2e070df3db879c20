#pragma once
// Calls a check (typically: has the user pressed Ctrl-C?) once per so many
// units of work, so that a long loop stays responsive without paying for
// the check on every iteration. The check may throw to abandon the loop.
//
// Used on the calling thread only: the check may touch the host
// interpreter, which must never happen inside a parallel region.
#include <cstddef>
#include <functional>

namespace glyphway::engine {

using InterruptCallback = std::function<void()>;

class PeriodicCheck {
public:
    PeriodicCheck(const InterruptCallback& check, std::size_t every)
        : check_(check), every_(every) {}

    // Accounts `units` of work; runs the check once the total since the last
    // run reaches the period.
    void tick(std::size_t units = 1) {
        pending_ += units;
        if (pending_ < every_) return;
        pending_ = 0;
        if (check_) check_();
    }

private:
    const InterruptCallback& check_;
    std::size_t every_;
    std::size_t pending_ = 0;
};

}  // namespace glyphway::engine
