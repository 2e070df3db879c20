#include "module/argument_kinds.hpp"

namespace glyphway::module {

void raise_incorrect_type(const char* name, const char* expected, PyObject* given) {
    PyErr_Format(PyExc_TypeError, "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)",
                 name, expected, Py_TYPE(given)->tp_name);
}

PyObject* text_argument(const char* name, PyObject* value) {
    if (!PyUnicode_CheckExact(value)) {
        raise_incorrect_type(name, "str", value);
        return nullptr;
    }
    Py_INCREF(value);
    return value;
}

PyObject* flag_argument(PyObject* value) {
    const int truth = PyObject_IsTrue(value);
    if (truth < 0) return nullptr;
    return PyBool_FromLong(truth);
}

PyObject* real_argument(PyObject* value) {
    const double d = PyFloat_AsDouble(value);
    if (d == -1.0 && PyErr_Occurred()) return nullptr;
    return PyFloat_FromDouble(d);
}

PyObject* optional_real_argument(const char* name, PyObject* value) {
    if (value == Py_None) Py_RETURN_NONE;
    if (PyFloat_CheckExact(value)) {
        Py_INCREF(value);
        return value;
    }
    if (PyLong_Check(value)) {
        const double d = PyLong_AsDouble(value);
        if (d == -1.0 && PyErr_Occurred()) return nullptr;
        return PyFloat_FromDouble(d);
    }
    if (!PyNumber_Check(value)) {
        raise_incorrect_type(name, "float", value);
        return nullptr;
    }
    return PyNumber_Float(value);
}

PyObject* integer_argument(const char* name, PyObject* value) {
    if (PyLong_CheckExact(value)) {
        Py_INCREF(value);
        return value;
    }
    // bool and other int subclasses become a plain int as well: later
    // stages compare and count with it and expect nothing fancier.
    if (!PyLong_Check(value) && !PyNumber_Check(value)) {
        raise_incorrect_type(name, "int", value);
        return nullptr;
    }
    return PyNumber_Long(value);
}

PyObject* optional_integer_argument(const char* name, PyObject* value) {
    if (value == Py_None) Py_RETURN_NONE;
    return integer_argument(name, value);
}

PyObject* optional_text_argument(const char* name, PyObject* value) {
    if (value == Py_None) Py_RETURN_NONE;
    return text_argument(name, value);
}

PyObject* optional_path_argument(const char* name, PyObject* value) {
    if (value == Py_None) Py_RETURN_NONE;
    if (!PyUnicode_Check(value) && !PyObject_HasAttrString(value, "__fspath__")) {
        raise_incorrect_type(name, "str or os.PathLike", value);
        return nullptr;
    }
    PyObject* path = PyOS_FSPath(value);
    if (!path) return nullptr;
    if (!PyUnicode_Check(path)) {
        // A bytes path cannot be handed to the font loader, which takes text.
        raise_incorrect_type(name, "str or os.PathLike", path);
        Py_DECREF(path);
        return nullptr;
    }
    return path;
}

PyObject* optional_paths_argument(const char* name, PyObject* value) {
    if (!PyList_Check(value) && !PyTuple_Check(value)) return optional_path_argument(name, value);
    PyObject* items = PySequence_Tuple(value);
    if (!items) return nullptr;
    const Py_ssize_t count = PyTuple_GET_SIZE(items);
    if (count == 0) {
        Py_DECREF(items);
        PyErr_Format(PyExc_ValueError, "%.200s must name at least one font file, not an empty %.200s",
                     name, Py_TYPE(value)->tp_name);
        return nullptr;
    }
    PyObject* paths = PyTuple_New(count);
    if (!paths) {
        Py_DECREF(items);
        return nullptr;
    }
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject* item = PyTuple_GET_ITEM(items, i);
        PyObject* path = item == Py_None ? nullptr : optional_path_argument(name, item);
        if (item == Py_None) raise_incorrect_type(name, "str or os.PathLike", item);
        if (!path) {
            Py_DECREF(items);
            Py_DECREF(paths);
            return nullptr;
        }
        PyTuple_SET_ITEM(paths, i, path);
    }
    Py_DECREF(items);
    if (count == 1) {
        PyObject* only = PyTuple_GET_ITEM(paths, 0);
        Py_INCREF(only);
        Py_DECREF(paths);
        return only;
    }
    return paths;
}

}  // namespace glyphway::module
