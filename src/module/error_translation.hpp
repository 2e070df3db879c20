#pragma once
// The core's failures as host exceptions, in one place: each core
// exception type becomes the host error a caller of the Python API sees
// (its type and message are part of that API), whichever stage raised it.
//
//   solver::MissingLabelField    KeyError(key)
//   solver::LabelFieldOverflow   OverflowError("value too large to convert to int")
//   solver::LabelFieldType       TypeError
//   placement::PlacementError    KeyError("distance" / "line"), IndexError
//                                for an empty line, ValueError otherwise
//   engine::SamplingError        ValueError
//   pipeline::FrameError         ValueError
//   pipeline::OptionError        ValueError
//   export_::FileError           the OSError subclass open() raises for its
//                                errno, with the reason and the path
//   export_::OutputPathError     ValueError "<message>: <repr(path)>"
//   export_::NoFramePoint        as raise_no_point
//   export_::RecordWithoutLine   KeyError("line")
//
// Anything else (a pending host error, pybind11's own exception types, a
// standard library exception) passes through unchanged. So does a
// text::FontError: a font that fails while a mesh is drawn surfaces as the
// RuntimeError of its message; only the cartographic run, which opens its
// font before anything is placed, refuses it as a ValueError
// (cartographic_run.cpp).
#include <pybind11/pybind11.h>

#include <utility>

namespace glyphway::module {

namespace py = pybind11;

// Rethrows the exception being handled (call it only inside a catch
// block) as the host error of the table above.
[[noreturn]] void rethrow_as_host_error();

// Runs `run` and returns its result, its core failures turned into host
// errors.
template <typename Run>
decltype(auto) with_host_errors(Run&& run) {
    try {
        return std::forward<Run>(run)();
    } catch (...) {
        rethrow_as_host_error();
    }
}

// Sets the pending host error from the exception being handled, for a
// function the interpreter calls through the C API, which no C++
// exception may leave: a host error is restored as it is, a pybind11
// exception type becomes the error it stands for, a core failure the error
// of the table above, and any other standard exception a RuntimeError with
// its message.
void set_host_error_from_current();

// The host's error for a distance with no point on its line: an empty line
// has no coordinate to index (IndexError), a NaN distance is no position
// (ValueError).
[[noreturn]] void raise_no_point(bool empty_line);

}  // namespace glyphway::module
