#pragma once
// The option table (pipeline/options.def) as the bindings use it: the rows
// an entry point takes, in its order, their defaults as host objects, the
// signature text of docstrings, and the table itself for Python
// (`_option_table`, which the command line and the label table read).
#include <pybind11/pybind11.h>

#include <array>
#include <cstddef>
#include <string>

#include "pipeline/options.hpp"

namespace glyphway::module {

namespace py = pybind11;

// The rows `taker` takes, in table order.
template <unsigned Taker>
constexpr auto options_of() {
    std::array<const pipeline::OptionInfo*, pipeline::options_taken_by(Taker)> out{};
    std::size_t n = 0;
    for (const pipeline::OptionInfo& o : pipeline::kOptionTable) {
        if (o.taken_by(Taker)) out[n++] = &o;
    }
    return out;
}

// The engine constructor's rows, in its own parameter order.
constexpr auto engine_parameters() {
    std::array<const pipeline::OptionInfo*, pipeline::options_taken_by(pipeline::kEngine)> out{};
    for (const pipeline::OptionInfo& o : pipeline::kOptionTable) {
        if (o.taken_by(pipeline::kEngine)) out[static_cast<std::size_t>(o.engine_position)] = &o;
    }
    return out;
}

// The default of an entry point (None for a required row).
py::object option_default(const pipeline::OptionInfo& option);

// The engine constructor's default, which it stores unconverted.
py::object engine_default(const pipeline::OptionInfo& option);

// "name" for a required row, else "name=" and the default's repr.
std::string signature_parameter(const pipeline::OptionInfo& option, const py::object& default_);

// Sets `_option_table`: one dict per row, in table order.
void register_option_table(py::module_& m);

}  // namespace glyphway::module
