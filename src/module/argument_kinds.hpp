#pragma once
// Conversions of entry-point arguments at the boundary, one per kind of
// parameter. The engine stores its configuration unchecked, so these are
// the only place where types are settled. Each returns a new reference, or
// nullptr with an exception set.
#include <Python.h>

namespace glyphway::module {

// TypeError "Argument 'name' has incorrect type (expected str, got int)".
void raise_incorrect_type(const char* name, const char* expected, PyObject* given);

// Exactly a str (None and subclasses rejected); returns `value` itself.
PyObject* text_argument(const char* name, PyObject* value);

// Any object; its truth value as a bool. A failing __bool__ propagates.
PyObject* flag_argument(PyObject* value);

// Anything float conversion accepts, as a plain float. Its error propagates.
PyObject* real_argument(PyObject* value);

// None, or a number as a float (an int becomes the equal float).
PyObject* optional_real_argument(const char* name, PyObject* value);

// An int, or another number truncated by int conversion, as a plain int.
PyObject* integer_argument(const char* name, PyObject* value);

// None, or what integer_argument accepts.
PyObject* optional_integer_argument(const char* name, PyObject* value);

// None, or exactly a str (as text_argument).
PyObject* optional_text_argument(const char* name, PyObject* value);

// None, or a str or os.PathLike naming a file, as a str.
PyObject* optional_path_argument(const char* name, PyObject* value);

// None, a str or os.PathLike, or a list or tuple of them naming files in
// order: one file as a str (a list of one too, so that one font is one
// font however it is given), several as a tuple of str. ValueError for an
// empty list.
PyObject* optional_paths_argument(const char* name, PyObject* value);

}  // namespace glyphway::module
