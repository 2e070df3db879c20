#pragma once
// Binding the arguments of a vectorcall (positional array plus keyword
// names) to a fixed parameter list: positional-or-keyword parameters, of
// which a leading run is required, followed by keyword-only ones. Errors
// use the wording scripts already see from compiled extension functions,
// so a misuse reads the same as with any other native call.
#include <Python.h>

namespace glyphway::module {

struct CallSignature {
    const char* function;       // name used in error messages
    const char* const* names;   // positional-or-keyword parameters, then keyword-only
    Py_ssize_t positional;      // number of positional-or-keyword parameters
    Py_ssize_t required;        // leading parameters that must be given
    Py_ssize_t keyword_only;    // number of keyword-only parameters after them
};

// Fills `out[0 .. positional + keyword_only)` with borrowed references, or
// nullptr for a parameter that was not given. Returns false with a
// TypeError set when the call does not fit the signature:
//   "f() takes at most 22 positional arguments (23 given)"
//   "f() takes at least 2 positional arguments (1 given)"
//   "f() got an unexpected keyword argument 'x'"
//   "f() got multiple values for keyword argument 'x'"
//   "f() keywords must be strings"
bool bind_call_arguments(const CallSignature& signature, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames, PyObject** out);

}  // namespace glyphway::module
