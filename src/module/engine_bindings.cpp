// Placeholder until the placement engine is bound.
#include "module/bindings.hpp"

namespace glyphway::module {
void register_engine_bindings(pybind11::module_&) {}
}  // namespace glyphway::module
