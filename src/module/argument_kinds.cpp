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

}  // namespace glyphway::module
