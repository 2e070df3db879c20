#include "module/call_arguments.hpp"

namespace glyphway::module {

namespace {

void raise_positional_count(const CallSignature& s, Py_ssize_t found) {
    // Too few reports the minimum, too many the maximum; "exactly" when
    // both are the same.
    const bool too_few = found < s.required;
    const Py_ssize_t expected = too_few ? s.required : s.positional;
    const char* bound = s.required == s.positional ? "exactly" : (too_few ? "at least" : "at most");
    PyErr_Format(PyExc_TypeError, "%.200s() takes %.8s %zd positional argument%.1s (%zd given)",
                 s.function, bound, expected, expected == 1 ? "" : "s", found);
}

Py_ssize_t parameter_index(const CallSignature& s, PyObject* key) {
    const Py_ssize_t total = s.positional + s.keyword_only;
    for (Py_ssize_t i = 0; i < total; ++i) {
        if (PyUnicode_CompareWithASCIIString(key, s.names[i]) == 0) return i;
    }
    return -1;
}

}  // namespace

bool bind_call_arguments(const CallSignature& s, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames, PyObject** out) {
    const Py_ssize_t total = s.positional + s.keyword_only;
    for (Py_ssize_t i = 0; i < total; ++i) out[i] = nullptr;

    if (nargs > s.positional) {
        raise_positional_count(s, nargs);
        return false;
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];

    const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject* key = PyTuple_GET_ITEM(kwnames, k);
        if (!PyUnicode_Check(key)) {
            PyErr_Format(PyExc_TypeError, "%.200s() keywords must be strings", s.function);
            return false;
        }
        const Py_ssize_t index = parameter_index(s, key);
        if (index < 0) {
            PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'",
                         s.function, key);
            return false;
        }
        if (out[index]) {
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for keyword argument '%U'",
                         s.function, key);
            return false;
        }
        out[index] = args[nargs + k];
    }

    // A missing required parameter counts the arguments that were supplied
    // ahead of it, as if they had all come by position.
    for (Py_ssize_t i = 0; i < s.required; ++i) {
        if (!out[i]) {
            raise_positional_count(s, i);
            return false;
        }
    }
    return true;
}

}  // namespace glyphway::module
