// Placeholder until the collision solver is bound.
#include "module/bindings.hpp"

namespace glyphway::module {
void register_solver_bindings(pybind11::module_&) {}
}  // namespace glyphway::module
