#pragma once
// The solver adaptor's failures as the host errors a record dict gives when
// read: a missing key is a KeyError, an integer beyond 32 bits an
// OverflowError, a value of the wrong kind a TypeError (see
// error_translation.hpp, which maps them).
#include <pybind11/pybind11.h>

#include <utility>

#include "module/engine_convert.hpp"
#include "module/error_translation.hpp"
#include "solver/label_solver_adaptor.hpp"

namespace glyphway::module {

template <typename Run>
decltype(auto) with_host_label_errors(Run&& run) {
    return with_host_errors(std::forward<Run>(run));
}

}  // namespace glyphway::module
