#pragma once
// NumPy arrays over native buffers without copies: the array keeps the
// owner alive through a capsule.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <memory>
#include <vector>

#include "text/mesh.hpp"

namespace glyphway::module {

namespace py = pybind11;

// Moves `values` into a heap vector owned by the returned n×cols array.
template <typename T>
py::array_t<T> take_as_array(std::vector<T>&& values, py::ssize_t cols) {
    auto* owner = new std::vector<T>(std::move(values));
    py::capsule base(owner, [](void* p) { delete static_cast<std::vector<T>*>(p); });
    const py::ssize_t rows = static_cast<py::ssize_t>(owner->size()) / cols;
    return py::array_t<T>({rows, cols}, {static_cast<py::ssize_t>(sizeof(T)) * cols, static_cast<py::ssize_t>(sizeof(T))},
                          owner->data(), base);
}

// A read-only view of data owned by `owner` (a shared native object).
template <typename T, typename Owner>
py::array_t<T> shared_view(const std::vector<T>& values, py::ssize_t cols, std::shared_ptr<const Owner> owner) {
    auto* keep = new std::shared_ptr<const Owner>(std::move(owner));
    py::capsule base(keep, [](void* p) { delete static_cast<std::shared_ptr<const Owner>*>(p); });
    const py::ssize_t rows = static_cast<py::ssize_t>(values.size()) / cols;
    py::array_t<T> array({rows, cols}, {static_cast<py::ssize_t>(sizeof(T)) * cols, static_cast<py::ssize_t>(sizeof(T))},
                         values.data(), base);
    py::detail::array_proxy(array.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
    return array;
}

inline py::tuple mesh_to_arrays(text::Mesh&& mesh) {
    return py::make_tuple(take_as_array(std::move(mesh.vertices), 3), take_as_array(std::move(mesh.faces), 3));
}

}  // namespace glyphway::module
