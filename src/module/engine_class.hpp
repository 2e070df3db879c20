#pragma once
// `_RoadTessaraEngine` is a plain host class (its only base is the root
// object type, its attributes live in the instance dictionary in the order
// the constructor sets them); its methods are native functions. These
// helpers let each binding file add its methods to it.
#include <pybind11/pybind11.h>

#include <utility>

namespace glyphway::module {

namespace py = pybind11;

// The extension module, for the classes the engine looks up when it runs
// (`_FontManager`, `_TextMeshEngine`), so that replacing them in the module
// takes effect. Borrowed: the module outlives every call.
py::handle engine_host_module();

// Adds a native method to the class; `self` is the instance, a py::object.
template <typename Func, typename... Extra>
void add_engine_method(py::handle cls, const char* name, Func&& f, const Extra&... extra) {
    py::cpp_function method(std::forward<Func>(f), py::name(name), py::is_method(cls),
                            py::sibling(py::getattr(cls, name, py::none())), extra...);
    py::setattr(cls, name, method);
}

}  // namespace glyphway::module
